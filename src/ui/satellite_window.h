// A tool window placed around the main window; it reports when the person
// moves it, so the main window can release the arrangement.
#pragma once

#include <QElapsedTimer>
#include <QMargins>
#include <QWidget>
#include <functional>
#include <optional>

namespace quorvane {

// The window manager's frame around a window's client area, as known now:
// none before the manager has framed it, and for a moment while it does,
// nonsense (negative) that is no frame to place by.
QMargins windowDecoration(const QWidget& window);
bool isSettledDecoration(const QMargins& decoration);
// The window's frame with that decoration.
QRect frameOf(const QWidget& window);
// Calls `check` every 50 ms for a while after `window` is shown, until it
// returns true: the frame comes without an event of its own.
void watchForFrame(QWidget& window, std::function<bool()> check);

class SatelliteWindow : public QWidget {
    Q_OBJECT
public:
    explicit SatelliteWindow(QWidget* parent = nullptr);
    // Puts the whole frame (title bar included) at `frame`, without it
    // counting as the person's move. Placed before the window manager has
    // framed the window, it is placed again once the frame is known.
    void placeFrame(const QRect& frame);

signals:
    void movedByUser();

protected:
    bool event(QEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // Places the window again when its frame has changed since it was
    // placed; true when it did (or the frame is still being made).
    bool followDecoration();

    bool placing_ = false;
    std::optional<QRect> wanted_;  // the frame last asked for, until the person moves the window
    QMargins placedWith_;          // the decoration known then
    QElapsedTimer placedAt_;       // when it was asked for
};

}  // namespace quorvane
