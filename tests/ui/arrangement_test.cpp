#include <gtest/gtest.h>

#include "ui/arrangement.h"

namespace quorvane {
namespace {

TEST(Arrangement, PlacesSatellitesAroundTheMainWindow) {
    const QRect main(100, 50, 900, 120);  // bottom edge at 170
    const Arrangement a = arrangeAround(main, QRect(0, 0, 220, 360), QRect(0, 0, 640, 300));
    EXPECT_EQ(a.systems, QRect(100, 170, 220, 360));
    EXPECT_EQ(a.games, QRect(320, 170, 680, 360));
    EXPECT_EQ(a.messages, QRect(100, 530, 900, 300));
}

TEST(Arrangement, TwentyPixelsKeepTwentyOneRelease) {
    const QRect main(100, 50, 900, 120);
    EXPECT_FALSE(gamesWindowPulledAway(QRect(320, 190, 680, 360), main));
    EXPECT_TRUE(gamesWindowPulledAway(QRect(320, 191, 680, 360), main));
    EXPECT_FALSE(gamesWindowPulledAway(QRect(900, 150, 10, 10), main));  // only the top edge counts
    EXPECT_FALSE(systemsWindowPulledAway(QRect(120, 170, 220, 360), main));
    EXPECT_TRUE(systemsWindowPulledAway(QRect(121, 170, 220, 360), main));
    EXPECT_TRUE(systemsWindowPulledAway(QRect(100, 149, 220, 360), main));
    const QRect games(320, 170, 680, 360);  // bottom edge at 530
    EXPECT_FALSE(messagesWindowPulledAway(QRect(100, 510, 900, 300), games));
    EXPECT_TRUE(messagesWindowPulledAway(QRect(100, 509, 900, 300), games));
}

}  // namespace
}  // namespace quorvane
