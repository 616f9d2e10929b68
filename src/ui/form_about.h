// The about window: the program's name and version.
#pragma once

#include <QDialog>

namespace quorvane {

class TFormAbout : public QDialog {
    Q_OBJECT
public:
    explicit TFormAbout(QWidget* parent = nullptr);
};

}  // namespace quorvane
