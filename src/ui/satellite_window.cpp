#include "ui/satellite_window.h"

#include <QMoveEvent>
#include <QTimer>
#include <QWindow>
#include <memory>

namespace quorvane {

QMargins windowDecoration(const QWidget& window) {
    // The platform window's answer is fresh; QWidget keeps the one it had at
    // its last move or resize.
    if (const QWindow* handle = window.windowHandle()) return handle->frameMargins();
    return {};
}

QRect frameOf(const QWidget& window) { return window.geometry().marginsAdded(windowDecoration(window)); }

bool isSettledDecoration(const QMargins& d) {
    return d.left() >= 0 && d.top() >= 0 && d.right() >= 0 && d.bottom() >= 0;
}

void watchForFrame(QWidget& window, std::function<bool()> check) {
    constexpr int kChecks = 60;
    auto* timer = new QTimer(&window);
    auto left = std::make_shared<int>(kChecks);
    QObject::connect(timer, &QTimer::timeout, &window, [timer, left, check = std::move(check)] {
        if (check() || --*left == 0) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start(50);
}

SatelliteWindow::SatelliteWindow(QWidget* parent) : QWidget(parent, Qt::Tool) {}

namespace {

// For this long after a placement the window manager may still be answering
// an earlier request of ours, or putting a newly mapped window where it
// likes before our request reaches it.
constexpr qint64 kPlacementSettleMs = 1000;

}  // namespace

void SatelliteWindow::placeFrame(const QRect& frame) {
    wanted_ = frame;
    placedAt_.start();
    placedWith_ = windowDecoration(*this);
    placing_ = true;
    // The client area inside the frame: a frame-inclusive move() would put
    // the client there while the frame is still unknown.
    setGeometry(frame.marginsRemoved(placedWith_));
    placing_ = false;
}

bool SatelliteWindow::followDecoration() {
    const QMargins now = windowDecoration(*this);
    if (!isSettledDecoration(now)) return true;
    if (!wanted_ || now == placedWith_) return false;
    placeFrame(*wanted_);
    return true;
}

bool SatelliteWindow::event(QEvent* event) {
    // The window manager's frame comes without an event of its own (the
    // client area need not move); by the first paint after it, it is known.
    if (event->type() == QEvent::UpdateRequest && !placing_ && isVisible()) followDecoration();
    return QWidget::event(event);
}

void SatelliteWindow::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    if (placing_ || !isVisible() || followDecoration()) return;
    // The window manager confirming the place asked for is no move of the person's.
    if (wanted_ && frameOf(*this).topLeft() == wanted_->topLeft()) return;
    // Nor is a stale answer shortly after a placement: the answer to the
    // last request comes after it.
    if (wanted_ && placedAt_.isValid() && placedAt_.elapsed() < kPlacementSettleMs) return;
    wanted_.reset();
    emit movedByUser();
}

void SatelliteWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    watchForFrame(*this, [this] {
        if (!placing_ && isVisible()) followDecoration();
        return windowDecoration(*this) != QMargins() && isSettledDecoration(windowDecoration(*this));
    });
}

void SatelliteWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (!placing_ && isVisible()) followDecoration();
}

}  // namespace quorvane
