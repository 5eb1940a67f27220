// Flat buttons. One set of state serves all five buttons; everything here
// runs on the user-interface thread.
#include "widgets/flat_button.h"

#include "app/app_state.h"
#include "platform/scoped_win.h"

WNDPROC ButtonPrevProc = nullptr;

namespace {

enum ButtonLook { kLookNormal = 0, kLookHover = 1, kLookPressed = 2 };

const COLORREF kColourCaption = 0xFFFFFF;      // RGB (255, 255, 255)
const COLORREF kColourNormalFill = 0x2D2D2E;   // RGB (46, 45, 45)
const COLORREF kColourHoverRing = 0xFFFFFF;    // RGB (255, 255, 255)
const COLORREF kColourHoverFill = 0x2D2D2F;    // RGB (47, 45, 45)
const COLORREF kColourPressedFill = 0x3D3D3E;  // RGB (62, 61, 61)
enum { kCaptionChars = 20, kHoverInset = 2, kHoverTime = 10 };

LONG ButtonVisual = kLookNormal;
LONG HoverId = 0;
LONG TrackArmed = 0;  // a leave notification was asked for; a release counts only then
TRACKMOUSEEVENT LeaveRequest;

void Invalidate(HWND button) { InvalidateRect(button, nullptr, TRUE); }

void ArmLeaveNotification(HWND button) {
    LeaveRequest.cbSize = sizeof(LeaveRequest);
    LeaveRequest.dwFlags = TME_LEAVE;
    LeaveRequest.hwndTrack = button;
    LeaveRequest.dwHoverTime = kHoverTime;
    TrackMouseEvent(&LeaveRequest);
}

void DrawBox(HDC dc, COLORREF colour, int left, int top, int right, int bottom) {
    SetDCBrushColor(dc, colour);
    Rectangle(dc, left, top, right, bottom);
}

void PaintButton(HWND button, LONG id) {
    // The erase that BeginPaint asks for goes to the standard procedure,
    // which fills the button with the parent's WM_CTLCOLORBTN brush.
    PaintContext paint(button);
    HDC dc = paint.dc();
    RECT window;
    GetWindowRect(button, &window);
    RECT area = {0, 0, window.right - window.left, window.bottom - window.top};

    SetTextColor(dc, kColourCaption);
    SetBkMode(dc, TRANSPARENT);
    SelectedObject font(dc, UiFont);
    SelectedObject brush(dc, GetStockObject(DC_BRUSH));

    if (ButtonVisual == kLookNormal) {
        DrawBox(dc, kColourNormalFill, 0, 0, area.right, area.bottom);
    } else if (ButtonVisual == kLookHover) {
        // Another button that repaints after a click keeps the erase colour.
        if (HoverId == id) {
            DrawBox(dc, kColourHoverRing, 0, 0, area.right, area.bottom);
            DrawBox(dc, kColourHoverFill, kHoverInset, kHoverInset, area.right - 3,
                    area.bottom - 3);
        }
    } else if (ButtonVisual == kLookPressed) {
        DrawBox(dc, kColourPressedFill, 0, 0, area.right, area.bottom);
    }

    wchar_t caption[kCaptionChars];
    caption[0] = 0;
    GetWindowTextW(button, caption, kCaptionChars);
    DrawTextW(dc, caption, -1, &area, DT_SINGLELINE | DT_VCENTER | DT_CENTER);
}

}  // namespace

LRESULT CALLBACK FlatButtonProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    LONG id = GetWindowLongW(window, GWL_ID);
    switch (message) {
        case WM_MOUSEMOVE:
            if (TrackArmed == 1) return 0;
            TrackArmed = 1;
            HoverId = id;
            ButtonVisual = kLookHover;
            ArmLeaveNotification(window);
            Invalidate(window);
            return 0;
        case WM_MOUSELEAVE:
            TrackArmed = 0;
            ButtonVisual = kLookNormal;
            HoverId = 0;
            Invalidate(window);
            return 0;
        case WM_LBUTTONDOWN:
            // No capture and no focus: the click is the release over an
            // armed button, wherever the press was.
            ButtonVisual = kLookPressed;
            Invalidate(window);
            return 0;
        case WM_LBUTTONUP:
            if (TrackArmed == 0) return 0;
            HoverId = id;
            TrackArmed = 0;
            ButtonVisual = kLookHover;
            Invalidate(window);
            // Sent, not posted: the command (and any message box it shows)
            // runs to its end inside this release.
            SendMessageW(MainWindow, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), BN_CLICKED), 0);
            return 0;
        case WM_PAINT:
            PaintButton(window, id);
            return 0;
        case WM_DESTROY:
            return 0;
        default:
            return CallWindowProcW(ButtonPrevProc, window, message, wParam, lParam);
    }
}
