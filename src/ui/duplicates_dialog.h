// The duplicate dialog: one source file matched several ROMs; the person
// chooses which to build. Not modal: the rebuild waits for the answer.
#pragma once

#include <QWidget>
#include <array>
#include <functional>

#include "core/job_host.h"

class QLabel;
class QListWidget;
class QRadioButton;

namespace quorvane {

class DuplicatesDialog final : public QWidget {
    Q_OBJECT
public:
    explicit DuplicatesDialog(QWidget* parent = nullptr);

    void showDupes(const std::string& fileName, const std::string& archivePath, const std::vector<RomMatch>& matches,
                   std::function<void(DupesAnswer)> answered);
    // The OK button.
    void answer();

    QListWidget* romsList() const { return romsList_; }
    QRadioButton* choice(DupesChoice c) const { return choices_[static_cast<size_t>(c)]; }
    QString fileName() const;
    QString zipName() const;

private:
    QLabel* filename_;
    QLabel* zipname_;
    QListWidget* romsList_;
    std::array<QRadioButton*, 5> choices_{};
    std::function<void(DupesAnswer)> answered_;
};

}  // namespace quorvane
