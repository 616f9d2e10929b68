#include "ui/arrangement.h"

#include <cstdlib>

namespace quorvane {

namespace {
int bottomEdge(const QRect& r) { return r.top() + r.height(); }
bool beyondSlack(int a, int b) { return std::abs(a - b) > kArrangementSlack; }
}  // namespace

Arrangement arrangeAround(const QRect& mainFrame, const QRect& systemsFrame, const QRect& messagesFrame) {
    Arrangement a;
    a.systems = QRect(mainFrame.left(), bottomEdge(mainFrame), systemsFrame.width(), systemsFrame.height());
    a.games = QRect(a.systems.left() + a.systems.width(), a.systems.top(), mainFrame.width() - a.systems.width(),
                    a.systems.height());
    a.messages = QRect(a.systems.left(), bottomEdge(a.systems), mainFrame.width(), messagesFrame.height());
    return a;
}

bool systemsWindowPulledAway(const QRect& systemsFrame, const QRect& mainFrame) {
    return beyondSlack(systemsFrame.top(), bottomEdge(mainFrame)) || beyondSlack(systemsFrame.left(), mainFrame.left());
}

bool gamesWindowPulledAway(const QRect& gamesFrame, const QRect& mainFrame) {
    return beyondSlack(gamesFrame.top(), bottomEdge(mainFrame));
}

bool messagesWindowPulledAway(const QRect& messagesFrame, const QRect& gamesFrame) {
    return beyondSlack(messagesFrame.top(), bottomEdge(gamesFrame));
}

}  // namespace quorvane
