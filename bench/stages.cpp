// The start-up stages: the floor program plus, cumulatively and in the
// tool's own order, the start-up work that the tool does before its first
// paint. Built once per stage (TAVO_STAGE 1 to 5); bench/run.sh times each
// like the floor and the tool, so the step from one stage to the next is
// what that piece of work adds to the start-up.
//   1  GDI+ started in wWinMain (gdiplus, ole32 and their initialisation)
//   2  the first printer search in WM_CREATE (winspool and its back end)
//   3  the interface font "宋体" and the button captions drawn with it
//   4  the controls: the dots panel, five owner-drawn buttons and the six
//      setting lists with their options
//   5  the logo (PNG 132) decoded and drawn in every paint, as the tool does
#include <windows.h>
#include <winspool.h>

#include <stdlib.h>

#include "platform/scoped_win.h"
#include "printer/settings_command.h"
#include "resources/resource.h"
#include "widgets/png_image.h"

#ifndef TAVO_STAGE
#define TAVO_STAGE 5
#endif

HINSTANCE AppInstance;  // read by the PNG drawing

namespace {

const wchar_t kStageClass[] = L"TAVO_STAGE";
HFONT StageFont;

void SearchPrinters() {
    DWORD needed = 0, returned = 0;
    EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &returned);
    BYTE* buffer = static_cast<BYTE*>(malloc(needed + 1));
    if (buffer == nullptr) return;
    EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, buffer, needed, &needed, &returned);
    free(buffer);
}

void CreateStageFont() {
    LOGFONTW font = {};
    font.lfHeight = 16;
    font.lfWidth = 8;
    font.lfCharSet = GB2312_CHARSET;
    font.lfOutPrecision = OUT_DEVICE_PRECIS;
    font.lfClipPrecision = CLIP_CHARACTER_PRECIS;
    font.lfPitchAndFamily = FF_SWISS;
    lstrcpyW(font.lfFaceName, L"宋体");
    StageFont = CreateFontIndirectW(&font);
}

void CreateControls(HWND window, HINSTANCE instance) {
    HWND panel = CreateWindowExW(0, L"static", L"a2", 0x5000000D, 1, 180, 418, 187, window,
                                 reinterpret_cast<HMENU>(1100), instance, nullptr);
    ShowWindow(panel, SW_HIDE);
    static const wchar_t* const captions[5] = {L"安装", L"设置", L"网站", L"手册", L"退出"};
    for (int i = 0; i < 5; ++i) {
        CreateWindowExW(0, L"button", captions[i], 0x5000400B, 10 + 80 * i, 90, 80, 80, window,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(1001 + i)), instance, nullptr);
    }
    for (int row = 1; row < kSettingRows; ++row) {
        HWND list = CreateWindowExW(0, L"ComboBox", L"", WS_CHILD | WS_VSCROLL | CBS_DROPDOWNLIST,
                                    200, 260 + 32 * (row - 1), 200, 300, window,
                                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(1201 + row)),
                                    instance, nullptr);
        SendMessageW(list, WM_SETFONT, reinterpret_cast<WPARAM>(StageFont), FALSE);
        const SettingRow& setting = SettingTable[row];
        for (int option = 0; option < setting.optionCount; ++option) {
            SendMessageW(list, CB_ADDSTRING, 0,
                         reinterpret_cast<LPARAM>(OptionLabels[setting.firstLabel + option]));
        }
        SendMessageW(list, CB_SETCURSEL, WPARAM(setting.defaultIndex), 0);
    }
}

void Paint(HWND window) {
    PaintContext paint(window);
    HDC dc = paint.dc();
    SetDCBrushColor(dc, 0x0F0F0F);
    FillRect(dc, &paint.paint().rcPaint, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
    if (TAVO_STAGE >= 5) DrawPngResource(dc, 12, 20, IDR_PNG_LOGO);
    if (TAVO_STAGE >= 3) {
        SelectedObject font(dc, StageFont);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, 0xFFFFFF);
        RECT rect = {10, 150, 410, 170};
        DrawTextW(dc, L"安装      设置      网站      手册      退出", -1, &rect, 0);
    }
}

LRESULT CALLBACK StageWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            if (TAVO_STAGE >= 2) SearchPrinters();
            if (TAVO_STAGE >= 3) CreateStageFont();
            if (TAVO_STAGE >= 4)
                CreateControls(window, reinterpret_cast<CREATESTRUCTW*>(lParam)->hInstance);
            return 0;
        case WM_PAINT:
            Paint(window);
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int showCommand) {
    AppInstance = instance;
    GdiplusSession gdiplus;  // stage 1 and every later one

    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = StageWndProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
    windowClass.lpszClassName = kStageClass;
    RegisterClassExW(&windowClass);

    const int width = 420, height = 180;
    HWND window =
        CreateWindowExW(0, kStageClass, L"", WS_POPUP, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                        (GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height, nullptr,
                        nullptr, instance, nullptr);
    if (window == nullptr) return 0;
    ShowWindow(window, showCommand);
    UpdateWindow(window);

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return int(message.wParam);
}
