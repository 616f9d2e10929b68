#include "ui/satellite_window.h"

#include <QMoveEvent>

namespace quorvane {

SatelliteWindow::SatelliteWindow(QWidget* parent) : QWidget(parent, Qt::Tool) {}

void SatelliteWindow::placeFrame(const QRect& frame) {
    placing_ = true;
    const QRect current = frameGeometry();
    const QRect inner = geometry();
    // frameGeometry and geometry differ by the decoration; keep it.
    move(frame.topLeft());
    resize(frame.width() - (current.width() - inner.width()), frame.height() - (current.height() - inner.height()));
    placing_ = false;
}

void SatelliteWindow::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    if (!placing_ && isVisible()) emit movedByUser();
}

}  // namespace quorvane
