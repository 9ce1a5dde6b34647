#include "app/main_dialog.h"

#include <gtest/gtest.h>

namespace {

constexpr SIZE kScreen{1280, 1024};

bool operator==(POINT a, POINT b) { return a.x == b.x && a.y == b.y; }

TEST(CenteredPosition, CentresOnTheOwnerAndKeepsTheWindowOnTheScreen) {
    const RECT window{0, 0, 400, 200};
    struct Case {
        RECT owner;
        POINT expected;
    };
    const Case cases[] = {
        {{100, 100, 900, 700}, {300, 300}},     // plainly centred
        {{101, 100, 900, 701}, {300, 300}},     // odd differences are truncated
        {{-500, -400, 100, 200}, {0, 0}},       // negative coordinates become 0
        {{1000, 900, 1600, 1300}, {880, 824}},  // the far edges are pulled back onto the screen
        {{0, 0, 0, 0}, {0, 0}},                 // (0 - 400) / 2 = -200, clamped
    };
    for (const Case& c : cases) {
        EXPECT_TRUE(CenteredPosition(window, &c.owner, kScreen) == c.expected) << c.owner.left << "," << c.owner.top;
    }
}

TEST(CenteredPosition, AWindowLargerThanTheScreenEndsAtANegativeCoordinate) {
    const RECT window{0, 0, 1400, 1100};
    const RECT owner{0, 0, 1280, 1024};
    const POINT position = CenteredPosition(window, &owner, kScreen);
    EXPECT_EQ(position.x, -120);
    EXPECT_EQ(position.y, -76);
}

TEST(CenteredPosition, WithoutAnOwnerCentresOnTheScreenUnclamped) {
    EXPECT_TRUE(CenteredPosition({50, 60, 611, 279}, nullptr, kScreen) == (POINT{359, 402}));
    EXPECT_TRUE(CenteredPosition({0, 0, 1401, 1100}, nullptr, kScreen) == (POINT{-60, -38}));
}

}  // namespace
