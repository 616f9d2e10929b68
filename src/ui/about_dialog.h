// The about window: the program's name and version.
#pragma once

#include <QDialog>

namespace quorvane {

class AboutDialog final : public QDialog {
    Q_OBJECT
public:
    explicit AboutDialog(QWidget* parent = nullptr);
};

}  // namespace quorvane
