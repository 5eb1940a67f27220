// The track of the five dots.
#include "widgets/dot_track.h"

namespace {

// Row 0; each other dot follows the same path a frame later than the one
// before it.
constexpr int32_t kFirstDot[kDotFrames] = {
    32, 33, 34, 35, 36, 38, 40, 42, 45, 48, 51, 54, 57, 60, 64,          // 0-14
    -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,  // 15-31
    -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,  // 32-48
    0,  4,  8,  11, 14, 16, 18, 20, 22, 24, 26, 28, 29, 30, 31,          // 49-63
};

struct Track {
    int32_t rows[kDotCount][kDotFrames];
};

constexpr Track MakeTrack() {
    Track track{};
    for (int r = 0; r < kDotCount; ++r)
        for (int c = 0; c < kDotFrames; ++c)
            track.rows[r][c] = kFirstDot[(c - r + kDotFrames) % kDotFrames];
    return track;
}

constexpr Track kTrack = MakeTrack();

int Positions(uint32_t frame, int panelWidth, int xs[kDotCount]) {
    const int unit = DotUnit(panelWidth);
    int count = 0;
    for (int r = 0; r < kDotCount; ++r) {
        int32_t place = DotTrack[r][frame & (kDotFrames - 1)];
        if (place >= 0) xs[count++] = unit * place;
    }
    return count;
}

}  // namespace

const int32_t (&DotTrack)[kDotCount][kDotFrames] = kTrack.rows;

int DotUnit(int panelWidth) { return (panelWidth - 8) / 64; }

int FrameDotPositions(uint32_t counter, int panelWidth, int xs[kDotCount]) {
    return Positions(counter, panelWidth, xs);
}

int CoverDotPositions(uint32_t counter, int panelWidth, int xs[kDotCount]) {
    return Positions(counter - 1, panelWidth, xs);
}
