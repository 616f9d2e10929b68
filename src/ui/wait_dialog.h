// "Please wait...": a short notice with an optional OK button.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace quorvane {

class WaitDialog final : public QDialog {
    Q_OBJECT
public:
    explicit WaitDialog(QWidget* parent = nullptr);
    void showMessage(const QString& text, bool withOkButton);
    QString messageText() const;
    bool okButtonShown() const;

private:
    QLabel* message_;
    QPushButton* ok_;
};

}  // namespace quorvane
