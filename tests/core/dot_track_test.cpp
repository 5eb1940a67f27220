// The dots animation's track and the pixel places of the dots.
#include <gtest/gtest.h>

#include <vector>

#include "widgets/dot_track.h"

namespace {

// Row 0 as documented: entering at the left, creeping through the middle,
// leaving at the right, then hidden for 34 frames.
std::vector<int32_t> FirstDot() {
    std::vector<int32_t> row = {32, 33, 34, 35, 36, 38, 40, 42, 45, 48, 51, 54, 57, 60, 64};
    row.insert(row.end(), 34, -1);
    for (int32_t v : {0, 4, 8, 11, 14, 16, 18, 20, 22, 24, 26, 28, 29, 30, 31}) row.push_back(v);
    return row;
}

TEST(DotTrack, FirstRow) {
    std::vector<int32_t> row = FirstDot();
    ASSERT_EQ(64u, row.size());
    for (int c = 0; c < kDotFrames; ++c) EXPECT_EQ(row[c], DotTrack[0][c]) << "column " << c;
}

TEST(DotTrack, OtherRowsFollowOneFrameLater) {
    std::vector<int32_t> row = FirstDot();
    for (int r = 1; r < kDotCount; ++r)
        for (int c = 0; c < kDotFrames; ++c)
            EXPECT_EQ(row[(c - r + 64) % 64], DotTrack[r][c]) << "row " << r << " column " << c;
    // Row 1 begins 31, 32, 33 and ends 28, 29, 30; row 4 begins 28, 29, 30
    // and ends 22, 24, 26.
    EXPECT_EQ(31, DotTrack[1][0]);
    EXPECT_EQ(32, DotTrack[1][1]);
    EXPECT_EQ(33, DotTrack[1][2]);
    EXPECT_EQ(28, DotTrack[1][61]);
    EXPECT_EQ(29, DotTrack[1][62]);
    EXPECT_EQ(30, DotTrack[1][63]);
    EXPECT_EQ(28, DotTrack[4][0]);
    EXPECT_EQ(29, DotTrack[4][1]);
    EXPECT_EQ(30, DotTrack[4][2]);
    EXPECT_EQ(22, DotTrack[4][61]);
    EXPECT_EQ(24, DotTrack[4][62]);
    EXPECT_EQ(26, DotTrack[4][63]);
}

struct UnitCase {
    int width;
    int unit;
};

TEST(DotUnit, TruncatesTowardZero) {
    const UnitCase cases[] = {
        {418, 6},  {420, 6},   {72, 1},    {71, 0},
        {8, 0},    {0, 0},     {-55, 0},  // (-63) / 64 is 0, not -1
        {-56, -1}, {-120, -2}, {-121, -2}, {1000, 15},
    };
    for (const UnitCase& c : cases) EXPECT_EQ(c.unit, DotUnit(c.width)) << "width " << c.width;
}

TEST(DotPositions, FrameZeroOnTheStandardPanel) {
    int xs[kDotCount];
    ASSERT_EQ(5, FrameDotPositions(0, 418, xs));
    const int expected[kDotCount] = {192, 186, 180, 174, 168};
    for (int i = 0; i < kDotCount; ++i) EXPECT_EQ(expected[i], xs[i]) << "dot " << i;
    // The counter runs on and wraps freely: only its low six bits count.
    ASSERT_EQ(5, FrameDotPositions(64 * 1000, 418, xs));
    EXPECT_EQ(192, xs[0]);
    ASSERT_EQ(5, FrameDotPositions(0xFFFFFFC0u, 418, xs));
    EXPECT_EQ(168, xs[4]);
}

TEST(DotPositions, CoverUsesTheFrameBefore) {
    // At f = 0 the covers go over column 63: 31, 30, 29, 28, 26.
    int xs[kDotCount];
    ASSERT_EQ(5, CoverDotPositions(0, 418, xs));
    const int expected[kDotCount] = {186, 180, 174, 168, 156};
    for (int i = 0; i < kDotCount; ++i) EXPECT_EQ(expected[i], xs[i]) << "dot " << i;
    ASSERT_EQ(5, CoverDotPositions(64, 418, xs));
    EXPECT_EQ(186, xs[0]);
    int frame[kDotCount];
    for (uint32_t f = 1; f < 200; ++f) {
        int n = CoverDotPositions(f, 418, xs);
        ASSERT_EQ(n, FrameDotPositions(f - 1, 418, frame));
        for (int i = 0; i < n; ++i) EXPECT_EQ(frame[i], xs[i]);
    }
}

TEST(DotPositions, HiddenDotsAreSkipped) {
    int xs[kDotCount];
    // Frame 20: every dot is hidden.
    EXPECT_EQ(0, FrameDotPositions(20, 418, xs));
    // Frame 15: dot 0 has just left, dots 1 to 4 stand at 64, 60, 57, 54.
    ASSERT_EQ(4, FrameDotPositions(15, 418, xs));
    EXPECT_EQ(384, xs[0]);  // the rightmost box ends at 391
    EXPECT_EQ(324, xs[3]);
    for (uint32_t f = 0; f < 64; ++f) {
        int n = FrameDotPositions(f, 418, xs);
        int visible = 0;
        for (int r = 0; r < kDotCount; ++r) visible += DotTrack[r][f] >= 0;
        EXPECT_EQ(visible, n) << "frame " << f;
        for (int i = 0; i < n; ++i) {
            EXPECT_GE(xs[i], 0);
            EXPECT_LE(xs[i] + kDotSize, 391);
        }
    }
}

TEST(DotPositions, NarrowPanelDrawsEveryDotAtTheLeft) {
    int xs[kDotCount];
    for (int width : {71, 8, 0}) {
        ASSERT_EQ(5, FrameDotPositions(0, width, xs));
        for (int x : xs) EXPECT_EQ(0, x) << "width " << width;
    }
    ASSERT_EQ(5, FrameDotPositions(0, -56, xs));
    EXPECT_EQ(-32, xs[0]);
}

}  // namespace
