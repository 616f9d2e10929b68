// Where the satellite windows go around the main window, and when the person
// has pulled one away from there (more than 20 pixels off releases it).
#pragma once

#include <QRect>

namespace quorvane {

struct Arrangement {
    QRect systems;
    QRect games;
    QRect messages;
};

// Frame geometries: systems below the main window (left edges aligned), games
// to its right with its height, messages below the systems window with the
// main window's width.
Arrangement arrangeAround(const QRect& mainFrame, const QRect& systemsFrame, const QRect& messagesFrame);

inline constexpr int kArrangementSlack = 20;

bool systemsWindowPulledAway(const QRect& systemsFrame, const QRect& mainFrame);
bool gamesWindowPulledAway(const QRect& gamesFrame, const QRect& mainFrame);
bool messagesWindowPulledAway(const QRect& messagesFrame, const QRect& gamesFrame);

}  // namespace quorvane
