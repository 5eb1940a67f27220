// The dots animation's track: where each of the five dots stands in each of
// the 64 frames, and the pixel places for a panel of a given width.
#pragma once

#include <stdint.h>

enum { kDotCount = 5, kDotFrames = 64, kDotSize = 7 };

// Places 0 to 64 along the track in 64ths; -1: the dot is hidden.
extern const int32_t (&DotTrack)[kDotCount][kDotFrames];

// Pixels per place: (width - 8) / 64, truncating toward zero.
int DotUnit(int panelWidth);

// Left edges of the dots drawn in frame `counter` & 63, in dot order;
// returns how many were written to `xs`.
int FrameDotPositions(uint32_t counter, int panelWidth, int xs[kDotCount]);

// Left edges of the black covers drawn over the frame before.
int CoverDotPositions(uint32_t counter, int panelWidth, int xs[kDotCount]);
