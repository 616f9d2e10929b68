// A tool window placed around the main window; it reports when the person
// moves it, so the main window can release the arrangement.
#pragma once

#include <QWidget>

namespace quorvane {

class SatelliteWindow : public QWidget {
    Q_OBJECT
public:
    explicit SatelliteWindow(QWidget* parent = nullptr);
    // Moves the frame to `frame` without it counting as the person's move.
    void placeFrame(const QRect& frame);

signals:
    void movedByUser();

protected:
    void moveEvent(QMoveEvent* event) override;

private:
    bool placing_ = false;
};

}  // namespace quorvane
