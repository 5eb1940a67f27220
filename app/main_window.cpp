// The main window: its message table, the creation of the controls and of
// UiFont, painting by PanelState, and dragging the borderless window.
#include "app/main_window.h"
#include "app/texts.h"

#include "platform/scoped_win.h"
#include "printer/package_files.h"
#include "printer/printers.h"
#include "printer/settings_command.h"
#include "printer/settings_panel.h"
#include "resources/resource.h"
#include "widgets/dots_panel.h"
#include "widgets/flat_button.h"
#include "widgets/png_image.h"

namespace {

enum { kButtonTop = 90, kButtonSize = 80 };
// Child control styles.
const DWORD kPanelStyle = WS_CHILD | WS_VISIBLE | SS_OWNERDRAW;               // 0x5000000D
const DWORD kButtonStyle = WS_CHILD | WS_VISIBLE | BS_NOTIFY | BS_OWNERDRAW;  // 0x5000400B
// x, y, right, bottom: the panel starts where the collapsed window ends.
const RECT kPanelRect = {1, kHeightCollapsed, kWindowWidth - 1, kHeightCollapsed + 187};

// The logo, the printer icon and the bands below the buttons, which reach
// from the collapsed window's bottom to the grown window's.
const POINT kLogoAt = {12, 20};
const POINT kPrinterIconAt = {20, 196};
const RECT kResultBand = {0, kHeightCollapsed, kWindowWidth, kHeightResult};
const RECT kSettingsBand = {0, kHeightCollapsed, kWindowWidth, kHeightSettings};
const RECT kInstallingBand = {0, 189, kWindowWidth, kHeightInstalling};
const RECT kResultTextRect = {80, 200, kWindowWidth, 480};
const RECT kRowLabelsRect = {20, 266, kWindowWidth, 480};
const RECT kInstallingTextRect = {10, 196, kWindowWidth, kHeightInstalling};
// Between two row names beside the lists: one blank line, so that each name
// stands level with its list.
const wchar_t kRowLabelSeparator[] = L"\r\n\r\n";

struct ButtonSpec {
    const wchar_t* text;
    int x;
    int id;
};
// Install is last in the subclassing order: its previous procedure is kept.
const ButtonSpec kButtons[] = {
    {kTextInstallButton, 10, kIdInstall},  {kTextSettingsButton, 90, kIdSettings},
    {kTextWebsiteButton, 170, kIdWebsite}, {kTextManualButton, 250, kIdManual},
    {kTextExitButton, 330, kIdExit},
};

// DrawTextW takes a writable rectangle.
void DrawTextIn(HDC dc, const wchar_t* text, const RECT& rect) {
    RECT box = rect;
    DrawTextW(dc, text, -1, &box, 0);
}

// Appends `text` to `out` (`chars` wide characters), cutting what does not
// fit.
void AppendText(wchar_t* out, size_t chars, const wchar_t* text) {
    size_t used = static_cast<size_t>(lstrlenW(out));
    if (used + 1 < chars) lstrcpynW(out + used, text, static_cast<int>(chars - used));
}

// The names of the rows that have a list, one above the other, joined once
// at creation: every paint of the settings band draws them.
wchar_t RowLabels[kMessageChars];

void BuildRowLabels(wchar_t* out, size_t chars) {
    out[0] = L'\0';
    for (int row = 1; row < kSettingRows; ++row) {
        if (row > 1) AppendText(out, chars, kRowLabelSeparator);
        AppendText(out, chars, SettingRowNames[row]);
    }
}

// The drag state: the last cursor position seen (screen coordinates) and
// whether a move with a button down has armed the drag.
POINT LastCursor = {0, 0};
int DragArmed = 0;

HFONT CreateUiFont() {
    LOGFONTW font = {};
    font.lfHeight = 16;
    font.lfWidth = 8;
    font.lfCharSet = GB2312_CHARSET;
    font.lfOutPrecision = OUT_DEVICE_PRECIS;
    font.lfClipPrecision = CLIP_CHARACTER_PRECIS;
    font.lfPitchAndFamily = FF_SWISS;
    lstrcpynW(font.lfFaceName, L"宋体", LF_FACESIZE);
    return CreateFontIndirectW(&font);
}

HWND CreateChild(HWND parent, HINSTANCE instance, const wchar_t* className, const wchar_t* text,
                 DWORD style, int x, int y, int width, int height, int id) {
    return CreateWindowExW(0, className, text, style, x, y, width, height, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
}

// The pointer-sized call: in a 32-bit build it is SetWindowLongW(GWL_WNDPROC),
// in a 64-bit build the only form that keeps the whole pointer.
WNDPROC Subclass(HWND window, WNDPROC procedure) {
    return reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(procedure)));
}

void OnCreate(HWND window, const CREATESTRUCTW* create) {
    MainWindow = window;
    LoadPackageFiles();
    InstallBusy = 0;
    UiFont = CreateUiFont();
    HINSTANCE instance = create->hInstance;

    DotsPanel = CreateChild(window, instance, L"static", L"a2", kPanelStyle, kPanelRect.left,
                            kPanelRect.top, kPanelRect.right - kPanelRect.left,
                            kPanelRect.bottom - kPanelRect.top, kIdDotsPanel);
    ShowWindow(DotsPanel, SW_HIDE);

    HWND buttons[sizeof(kButtons) / sizeof(kButtons[0])];
    for (size_t i = 0; i < sizeof(kButtons) / sizeof(kButtons[0]); ++i)
        buttons[i] =
            CreateChild(window, instance, L"button", kButtons[i].text, kButtonStyle, kButtons[i].x,
                        kButtonTop, kButtonSize, kButtonSize, kButtons[i].id);
    for (size_t i = 1; i < sizeof(kButtons) / sizeof(kButtons[0]); ++i)
        if (buttons[i]) Subclass(buttons[i], FlatButtonProc);
    if (buttons[0]) ButtonPrevProc = Subclass(buttons[0], FlatButtonProc);
    if (DotsPanel) PanelPrevProc = Subclass(DotsPanel, DotsPanelProc);

    BuildRowLabels(RowLabels, kMessageChars);
    CreateSettingLists(window, UiFont);
    RegisterPrinterNotifications(window);
}

void OnPaint(HWND window) {
    PaintContext paint(window);
    HDC dc = paint.dc();
    DrawPngResource(dc, kLogoAt.x, kLogoAt.y, IDR_PNG_LOGO);
    // Default text colour, pen and brush: black text, white boxes with a
    // black outline.
    SelectedObject font(dc, UiFont);
    SetBkMode(dc, TRANSPARENT);

    LONG panel = PanelState;
    if (panel != kPanelNone) {
        const RECT& band = panel == kPanelResult ? kResultBand : kSettingsBand;
        Rectangle(dc, band.left, band.top, band.right, band.bottom);
        DrawPngResource(dc, kPrinterIconAt.x, kPrinterIconAt.y, IDR_PNG_PRINTER);
        wchar_t name[kFoundNameChars];
        CopyFoundPrinterName(name);
        wchar_t text[kMessageChars];
        wsprintfW(text, kTextInstalledFormat, name);
        DrawTextIn(dc, text, kResultTextRect);
        DrawTextIn(dc, RowLabels, kRowLabelsRect);
    } else if (InstallBusy) {
        Rectangle(dc, kInstallingBand.left, kInstallingBand.top, kInstallingBand.right,
                  kInstallingBand.bottom);
        DrawTextIn(dc, kTextInstalling, kInstallingTextRect);
    }
}

// Drags the window by any free spot of it, with the left or the right
// button. The first move with a button down only arms the drag.
void OnMouseMove(HWND window, WPARAM wParam) {
    RECT rect;
    GetWindowRect(window, &rect);
    POINT cursor;
    GetCursorPos(&cursor);
    if (cursor.x == LastCursor.x && cursor.y == LastCursor.y) return;
    POINT previous = LastCursor;
    LastCursor = cursor;
    if (!(wParam & (MK_LBUTTON | MK_RBUTTON))) {
        DragArmed = 0;
        return;
    }
    if (!DragArmed) {
        DragArmed = 1;
        return;
    }
    MoveWindow(window, rect.left + (cursor.x - previous.x), rect.top + (cursor.y - previous.y),
               rect.right - rect.left, rect.bottom - rect.top, TRUE);
}

}  // namespace

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            OnCreate(window, reinterpret_cast<const CREATESTRUCTW*>(lParam));
            return 0;
        case WM_DESTROY:
            UnregisterPrinterNotifications();
            PostQuitMessage(0);
            return 0;
        case WM_PAINT:
            OnPaint(window);
            return 0;
        case WM_NCCALCSIZE:  // the whole window is client area
        case WM_NCPAINT:     // no frame
            return 0;
        case WM_CTLCOLORBTN:
            return reinterpret_cast<LRESULT>(ButtonBrush);
        case WM_MOUSEMOVE:
            OnMouseMove(window, wParam);
            return 0;
        case WM_COMMAND:
            return OnCommand(window, wParam, lParam);
        case WM_DEVICECHANGE:
            return OnDeviceChange(window, wParam, lParam);
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}
