// Process start: the single-instance check, the class, GDI+, the main window
// and the message loop.
#include "app/main_window.h"
#include "app/texts.h"
#include "platform/system_libraries.h"
#include "resources/resource.h"
#include "widgets/png_image.h"

HBRUSH ButtonBrush = nullptr;
HBRUSH BackgroundBrush = nullptr;
wchar_t AppTitle[kTextChars];
wchar_t ClassName[kTextChars];

namespace {

typedef BOOL(WINAPI* IsWow64ProcessFunction)(HANDLE, PBOOL);

// The tool cannot go on without it: it says so and ends with 1.
void ReportMissingLibrary(const char* library, const char*) {
    wchar_t name[MAX_PATH] = L"";
    MultiByteToWideChar(CP_ACP, 0, library ? library : "?", -1, name, MAX_PATH);
    wchar_t text[MAX_PATH + 32];
    wsprintfW(text, kTextMissingLibraryFormat, name);
    MessageBoxW(nullptr, text, nullptr, MB_OK | MB_ICONERROR);
    ExitProcess(1);
}

// 1 when the system is 64-bit Windows, which picks data\install64.exe. A
// 32-bit build asks IsWow64Process; without it the system is taken as 32-bit.
// A 64-bit build runs only on 64-bit Windows, where IsWow64Process would
// answer FALSE for it (it is not under WOW64), so it is 1 without asking.
LONG DetectWow64() {
#if defined(_WIN64)
    return 1;
#else
    HMODULE kernel = GetModuleHandleW(L"kernel32");
    if (!kernel) return 0;
    // Through void*: a function pointer of another type is what the lookup
    // gives back.
    IsWow64ProcessFunction isWow64Process = reinterpret_cast<IsWow64ProcessFunction>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "IsWow64Process")));
    BOOL wow64 = FALSE;
    if (!isWow64Process || !isWow64Process(GetCurrentProcess(), &wow64)) return 0;
    return wow64 ? 1 : 0;
#endif
}

}  // namespace

void RegisterMainClass(HINSTANCE instance) {
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = MainWndProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_APP_LARGE));
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    windowClass.hbrBackground = BackgroundBrush;
    windowClass.lpszClassName = ClassName;
    windowClass.hIconSm = LoadIconW(instance, MAKEINTRESOURCEW(IDI_APP_SMALL));
    RegisterClassExW(&windowClass);
}

int CreateMainWindow(HINSTANCE instance, int showCommand) {
    AppInstance = instance;
    int x = (GetSystemMetrics(SM_CXSCREEN) - kWindowWidth) / 2;
    int y = (GetSystemMetrics(SM_CYSCREEN) - kHeightCollapsed) / 2;
    // WM_CREATE loads the package files and builds the controls before this
    // returns; it also sets MainWindow.
    HWND window = CreateWindowExW(0, ClassName, L"", 0, x, y, kWindowWidth, kHeightCollapsed,
                                  nullptr, nullptr, instance, nullptr);
    if (!window) return 0;
    MainWindow = window;
    // No caption, border or system menu: with WM_NCCALCSIZE and WM_NCPAINT
    // answered by 0 the whole window is client area.
    SetWindowLongW(window, GWL_STYLE, 0);
    SetWindowLongW(window, GWL_EXSTYLE, WS_EX_WINDOWEDGE | WS_EX_CLIENTEDGE);
    ShowWindow(window, showCommand);
    UpdateWindow(window);
    return 1;
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int showCommand) {
    // Before anything else can load a library.
    RestrictDllSearchToSystem32(ReportMissingLibrary);
    LoadStringW(instance, IDS_APP_TITLE, AppTitle, kTextChars);
    LoadStringW(instance, IDS_CLASS_NAME, ClassName, kTextChars);

    // Single instance: the main window is created with an empty title, so a
    // running copy is looked for by the class alone. This finds it from the
    // moment its window exists (even while its creation still shows a
    // message), and a second copy ends with exit code 1.
    if (ClassName[0] && FindWindowW(ClassName, nullptr)) ExitProcess(1);

    IsWow64 = DetectWow64();
    ButtonBrush = CreateSolidBrush(kColourButtonErase);
    BackgroundBrush = CreateSolidBrush(kColourBackground);
    PanelState = kPanelNone;
    RegisterMainClass(instance);

    // Up to the end of the message loop: the pictures are drawn with it.
    GdiplusSession gdiplus;

    if (!CreateMainWindow(instance, showCommand)) return 0;

    MSG message;
    BOOL got;
    while ((got = GetMessageW(&message, nullptr, 0, 0)) != 0) {
        if (got == -1) break;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }

    // GDI+ stops on the way out. The model list, the brushes and the font
    // are kept to the process end: an installation thread may still be
    // searching the printers with the list. Returning ends the process
    // (ExitProcess), and with it that thread and the multimedia timer.
    return got == -1 ? 0 : static_cast<int>(message.wParam);
}
