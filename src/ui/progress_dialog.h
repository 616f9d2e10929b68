// "In Progress...": the job's action, the current item, a bar and Cancel.
#pragma once

#include <QDialog>

class QLabel;
class QProgressBar;

namespace quorvane {

class JobHost;

class ProgressDialog final : public QDialog {
    Q_OBJECT
public:
    explicit ProgressDialog(QWidget* parent = nullptr);

    // The host whose cancel flag the Cancel button sets.
    void setJobHost(JobHost* host) { host_ = host; }

    void startProgress(const QString& action, int maximum);
    void updateProgress(const QString& item, int position);
    void setProgressMax(int maximum);
    void closeProgress();

    QString actionText() const;
    QString fileText() const;
    int position() const;
    int maximum() const;

signals:
    void cancelClicked();

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    JobHost* host_ = nullptr;
    QLabel* action_;
    QLabel* file_;
    QProgressBar* progress_;
};

}  // namespace quorvane
