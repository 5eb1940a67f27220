// The floor of the start-up, size and memory figures: the least a Win32
// program does to show a window like the tool's. It registers a class,
// opens a 420 x 180 popup window in the middle of the screen, paints it and
// runs the message loop until the window is closed. Built with the tool's
// own flags, so the difference between the two is what the tool adds.
#include <windows.h>

namespace {

const wchar_t kFloorClass[] = L"TAVO_FLOOR";
const COLORREF kFloorColour = 0x0F0F0F;

LRESULT CALLBACK FloorWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT: {
            PAINTSTRUCT paint;
            HDC dc = BeginPaint(window, &paint);
            SetDCBrushColor(dc, kFloorColour);
            FillRect(dc, &paint.rcPaint, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
            EndPaint(window, &paint);
            return 0;
        }
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int showCommand) {
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = FloorWndProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
    windowClass.lpszClassName = kFloorClass;
    RegisterClassExW(&windowClass);

    const int width = 420, height = 180;
    HWND window =
        CreateWindowExW(0, kFloorClass, L"", WS_POPUP, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
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
