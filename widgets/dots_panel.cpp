// The dots progress panel and its timer callback.
#include "widgets/dots_panel.h"

#include "app/app_state.h"
#include "platform/scoped_win.h"
#include "widgets/dot_track.h"

std::atomic<uint32_t> FrameCounter(0);
WNDPROC PanelPrevProc = nullptr;

namespace {

const COLORREF kColourCover = 0x000000;  // RGB (0, 0, 0)
const COLORREF kColourDot = 0xF1C354;    // RGB (84, 195, 241)

void DrawDots(HDC dc, COLORREF colour, const int* xs, int count) {
    SetDCBrushColor(dc, colour);
    for (int i = 0; i < count; ++i) Ellipse(dc, xs[i], 0, xs[i] + kDotSize, kDotSize);
}

void PaintPanel(HWND panel) {
    PaintContext paint(panel);
    HDC dc = paint.dc();
    RECT rect;
    GetWindowRect(panel, &rect);
    int width = rect.right - rect.left;
    SelectedObject brush(dc, GetStockObject(DC_BRUSH));

    // One read: the timer thread may advance the counter meanwhile.
    uint32_t counter = FrameCounter.load(std::memory_order_relaxed);
    int xs[kDotCount];
    // Cover the dots of the frame before, then draw the current ones.
    DrawDots(dc, kColourCover, xs, CoverDotPositions(counter, width, xs));
    DrawDots(dc, kColourDot, xs, FrameDotPositions(counter, width, xs));
}

}  // namespace

LRESULT CALLBACK DotsPanelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT:
            PaintPanel(window);
            return 0;
        case WM_DESTROY:
            return 0;
        default:
            return CallWindowProcW(PanelPrevProc, window, message, wParam, lParam);
    }
}

void CALLBACK DotsTimerProc(UINT, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR) {
    FrameCounter.fetch_add(1, std::memory_order_relaxed);
    // Only the counter and the panel handle are touched here: both live
    // until the process ends. No erase: the paint covers the old dots.
    // (A null handle would invalidate every window.)
    HWND panel = DotsPanel;
    if (panel) InvalidateRect(panel, nullptr, FALSE);
}
