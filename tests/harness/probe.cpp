// tavo_probe: looks at the running tool from outside, through the window
// system, the spooler and the process list, and answers in JSON lines.
//
//   tavo_probe.exe COMMAND ARGS...   one query, one answer line
//   tavo_probe.exe serve             queries on standard input, one per line
//                                    (arguments separated by tabs), one
//                                    answer line each, flushed at once
//
// Every answer is one JSON object with "ok": true or false. Queries:
//   main [CLASS]                 the top-level window of CLASS (TAVO_WIN32)
//   count CLASS                  how many top-level windows have CLASS
//   children [CLASS]             the main window's child controls; a dropped
//                                combo box's list with its geometry, the
//                                system's colours and its X window
//   comboitems ID [CLASS]        the texts of a combo box's entries
//   boxes                        visible top-level dialogs (#32770): owner,
//                                caption, text (control 0xFFFF), icon, buttons,
//                                the X window Wine shows it in
//   systemicon NAME R G B        a system icon drawn over a colour (hex RGB)
//   text WIDTH HEIGHT TEXT       TEXT drawn as the tool draws the band's
//                                text (UiFont: "宋体" 16 px, black, transparent,
//                                DrawTextW flags 0) on white in a WIDTH x
//                                HEIGHT bitmap: its pixels (hex RGB)
//   defaultcaption               the caption the system gives a box shown
//                                with none (MessageBoxW with a null caption,
//                                shown from a thread of the probe and closed)
//   redraw HWND                  has a window (and its children) repainted
//   press BOX ID                 posts a click on button ID of dialog BOX
//   devchange WPARAM [CLASS] [RECORD]  sends WM_DEVICECHANGE from a thread
//                                of its own (a handler may show a modal box);
//                                the answer comes at once, the result with
//                                "sent". RECORD usbprint or usbdevice: lParam
//                                points at a device-interface record of that
//                                class; otherwise lParam is null
//   sent                         results of the sends started so far
//   command ID CODE [CLASS]      sends WM_COMMAND (low word ID, high CODE)
//   close [CLASS]                posts WM_CLOSE (a close through the system)
//   foreground                   the foreground window
//   resources PID                GDI/USER objects, handles and memory of PID
//   procs                        every process: pid, parent, exe name
//   terminate PID                ends a process by id
//   addprinter NAME DRIVER PORT [ATTRIBUTES]   a printer with a file port
//   delprinter NAME              deletes a printer (missing is fine)
//   printers                     the local printers with driver and port
//   settext HWND TEXT            WM_SETTEXT to a window; its text read back
//   firstframe HWND ROW MS       sends Install, then the first screen row ROW
//                                of HWND (the dots panel) that shows a dot
//   row HWND ROW                 the window's screen row ROW now (hex RGB)
//   stall HWND MS ROW            suspends the window's thread MS ms, then
//                                resumes it; the window's screen row ROW
//                                before and at its first change after
//   quit                         ends serve mode
#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>
#include <winspool.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "device_record.h"
#include "window_walk.h"

namespace {

const wchar_t kDefaultClass[] = L"TAVO_WIN32";

// ---- JSON output -------------------------------------------------------

std::string Utf8(const wchar_t* text) {
    if (!text || !*text) return std::string();
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text, -1, NULL, 0, NULL, NULL);
    if (bytes <= 1) return std::string();
    std::string out(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], bytes, NULL, NULL);
    out.resize(static_cast<size_t>(bytes - 1));
    return out;
}

std::wstring Wide(const std::string& text) {
    if (text.empty()) return std::wstring();
    int chars = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, NULL, 0);
    std::wstring out(static_cast<size_t>(chars), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, &out[0], chars);
    out.resize(static_cast<size_t>(chars - 1));
    return out;
}

std::string Quote(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char escaped[8];
            snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string Quote(const wchar_t* text) { return Quote(Utf8(text)); }

std::string Number(long long value) { return std::to_string(value); }

std::string Handle(const void* handle) {
    return Number(static_cast<long long>(reinterpret_cast<uintptr_t>(handle)));
}

std::string RectJson(const RECT& r) {
    return "[" + Number(r.left) + "," + Number(r.top) + "," + Number(r.right) + "," +
           Number(r.bottom) + "]";
}

std::string ColourJson(COLORREF colour) {
    return "[" + Number(GetRValue(colour)) + "," + Number(GetGValue(colour)) + "," +
           Number(GetBValue(colour)) + "]";
}

// The X window that Wine shows a top-level window in, from the property
// Wine's X11 driver keeps on the window (0 when there is none): the
// harness reads a box or a dropped list from that window itself, since the
// bench's X stacking of owned windows does not follow Windows' z-order
// (a box is drawn, then hidden under its owner on the root window).
std::string X11WindowJson(HWND window) {
    HANDLE xid = GetPropW(window, L"__wine_x11_whole_window");
    return Number(static_cast<long long>(reinterpret_cast<uintptr_t>(xid)));
}

std::string Fail(const std::string& why) { return "{\"ok\":false,\"error\":" + Quote(why) + "}"; }

std::wstring WindowText(HWND window) {
    // WM_GETTEXT is marshalled across processes; a timeout keeps a hung
    // window from hanging the probe.
    wchar_t buffer[1024] = {0};
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(buffer),
                        SMTO_ABORTIFHUNG, 2000, &copied);
    buffer[1023] = 0;
    return buffer;
}

std::wstring ClassOf(HWND window) {
    wchar_t name[256] = {0};
    GetClassNameW(window, name, 256);
    return name;
}

// ---- The main window ---------------------------------------------------

HWND FindMain(const wchar_t* className) { return FindWindowW(className, NULL); }

std::string MainJson(const wchar_t* className) {
    HWND main = FindMain(className);
    if (!main) return "{\"ok\":true,\"found\":false}";
    RECT rect;
    GetWindowRect(main, &rect);
    RECT client;
    GetClientRect(main, &client);
    DWORD pid = 0;
    GetWindowThreadProcessId(main, &pid);
    return "{\"ok\":true,\"found\":true,\"hwnd\":" + Handle(main) + ",\"rect\":" + RectJson(rect) +
           ",\"client\":" + RectJson(client) +
           ",\"style\":" + Number(static_cast<DWORD>(GetWindowLongW(main, GWL_STYLE))) +
           ",\"exstyle\":" + Number(static_cast<DWORD>(GetWindowLongW(main, GWL_EXSTYLE))) +
           ",\"visible\":" + (IsWindowVisible(main) ? "true" : "false") +
           ",\"pid\":" + Number(pid) + ",\"title\":" + Quote(WindowText(main).c_str()) + "}";
}

struct CountContext {
    std::wstring className;
    int count;
    std::string pids;
};

BOOL CALLBACK CountTop(HWND window, LPARAM param) {
    CountContext* context = reinterpret_cast<CountContext*>(param);
    if (ClassOf(window) == context->className) {
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        if (context->count) context->pids += ",";
        context->pids += Number(pid);
        ++context->count;
    }
    return TRUE;
}

std::string CountJson(const wchar_t* className) {
    CountContext context;
    context.className = className;
    context.count = 0;
    EnumWindows(CountTop, reinterpret_cast<LPARAM>(&context));
    return "{\"ok\":true,\"count\":" + Number(context.count) + ",\"pids\":[" + context.pids + "]}";
}

LRESULT SendQuiet(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, 2000, &result))
        return -1;
    return static_cast<LRESULT>(result);
}

// The list of a dropped combo box: a visible top-level "ComboLBox" window of
// the combo box's thread (only one list is dropped at a time). Asked this
// way rather than with GetComboBoxInfo, whose record Wine does not carry
// across processes.
struct ListSearch {
    DWORD thread;
    HWND found;
};

BOOL CALLBACK FindDroppedList(HWND window, LPARAM param) {
    ListSearch* search = reinterpret_cast<ListSearch*>(param);
    if (GetWindowThreadProcessId(window, nullptr) != search->thread || !IsWindowVisible(window) ||
        lstrcmpiW(ClassOf(window).c_str(), L"ComboLBox") != 0)
        return TRUE;
    search->found = window;
    return FALSE;
}

HWND DroppedListOf(HWND combo) {
    ListSearch search = {GetWindowThreadProcessId(combo, nullptr), nullptr};
    EnumWindows(FindDroppedList, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::string ChildJson(HWND child) {
    RECT rect;
    GetWindowRect(child, &rect);
    std::wstring cls = ClassOf(child);
    std::string out = "{\"hwnd\":" + Handle(child) +
                      ",\"id\":" + Number(GetWindowLongW(child, GWL_ID)) +
                      ",\"class\":" + Quote(cls.c_str()) + ",\"rect\":" + RectJson(rect) +
                      ",\"style\":" + Number(static_cast<DWORD>(GetWindowLongW(child, GWL_STYLE))) +
                      ",\"visible\":" + (IsWindowVisible(child) ? "true" : "false") +
                      ",\"enabled\":" + (IsWindowEnabled(child) ? "true" : "false") +
                      ",\"text\":" + Quote(WindowText(child).c_str());
    if (lstrcmpiW(cls.c_str(), L"ComboBox") == 0) {
        LRESULT selection = SendQuiet(child, CB_GETCURSEL, 0, 0);
        LRESULT count = SendQuiet(child, CB_GETCOUNT, 0, 0);
        LRESULT dropped = SendQuiet(child, CB_GETDROPPEDSTATE, 0, 0);
        std::wstring itemText;
        if (selection >= 0) {
            LRESULT length = SendQuiet(child, CB_GETLBTEXTLEN, static_cast<WPARAM>(selection), 0);
            if (length >= 0 && length < 512) {
                wchar_t buffer[512] = {0};
                SendQuiet(child, CB_GETLBTEXT, static_cast<WPARAM>(selection),
                          reinterpret_cast<LPARAM>(buffer));
                itemText = buffer;
            }
        }
        out += ",\"cursel\":" + Number(selection) + ",\"count\":" + Number(count) +
               ",\"dropped\":" + (dropped > 0 ? "true" : "false") +
               ",\"seltext\":" + Quote(itemText.c_str());
        COMBOBOXINFO info = {};
        if (dropped > 0) info.hwndList = DroppedListOf(child);
        if (info.hwndList) {
            RECT listRect;
            GetWindowRect(info.hwndList, &listRect);
            RECT client;
            GetClientRect(info.hwndList, &client);
            POINT origin = {0, 0};
            ClientToScreen(info.hwndList, &origin);
            out += ",\"list\":{\"hwnd\":" + Handle(info.hwndList) +
                   ",\"rect\":" + RectJson(listRect) + ",\"client\":[" +
                   Number(origin.x - listRect.left) + "," + Number(origin.y - listRect.top) + "," +
                   Number(client.right) + "," + Number(client.bottom) + "]" +
                   ",\"item_height\":" + Number(SendQuiet(info.hwndList, LB_GETITEMHEIGHT, 0, 0)) +
                   ",\"top\":" + Number(SendQuiet(info.hwndList, LB_GETTOPINDEX, 0, 0)) +
                   ",\"highlight\":" + ColourJson(GetSysColor(COLOR_HIGHLIGHT)) +
                   ",\"background\":" + ColourJson(GetSysColor(COLOR_WINDOW)) +
                   ",\"x11_window\":" + X11WindowJson(info.hwndList) + "}";
        }
    }
    return out + "}";
}

BOOL CALLBACK CollectChild(HWND child, LPARAM param) {
    std::string* items = reinterpret_cast<std::string*>(param);
    if (!items->empty()) *items += ",";
    *items += ChildJson(child);
    return TRUE;
}

std::string ChildrenJson(const wchar_t* className) {
    HWND main = FindMain(className);
    if (!main) return Fail("no main window");
    std::string items;
    WalkChildren(main, false, CollectChild, reinterpret_cast<LPARAM>(&items));
    return "{\"ok\":true,\"children\":[" + items + "]}";
}

std::string ComboItemsJson(int id, const wchar_t* className) {
    HWND main = FindMain(className);
    if (!main) return Fail("no main window");
    HWND combo = ChildWithId(main, id);
    if (!combo) return Fail("no such control");
    LRESULT count = SendQuiet(combo, CB_GETCOUNT, 0, 0);
    std::string items;
    for (LRESULT i = 0; i < count; ++i) {
        wchar_t buffer[512] = {0};
        LRESULT length = SendQuiet(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0);
        if (length >= 0 && length < 512)
            SendQuiet(combo, CB_GETLBTEXT, static_cast<WPARAM>(i),
                      reinterpret_cast<LPARAM>(buffer));
        if (i) items += ",";
        items += Quote(buffer);
    }
    return "{\"ok\":true,\"items\":[" + items + "]}";
}

// ---- Message boxes -----------------------------------------------------

// A message box's icon is a static control with SS_ICON. Its HICON is
// compared with the system icons; since another process's copy of a system
// icon need not be the same handle, the colour bits are compared as well.
std::vector<unsigned char> IconBits(HICON icon) {
    std::vector<unsigned char> bits;
    ICONINFO info;
    if (!icon || !GetIconInfo(icon, &info)) return bits;
    HBITMAP bitmap = info.hbmColor ? info.hbmColor : info.hbmMask;
    BITMAP description;
    if (GetObjectW(bitmap, sizeof description, &description)) {
        BITMAPINFO header;
        memset(&header, 0, sizeof header);
        header.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        header.bmiHeader.biWidth = description.bmWidth;
        header.bmiHeader.biHeight = description.bmHeight;
        header.bmiHeader.biPlanes = 1;
        header.bmiHeader.biBitCount = 32;
        header.bmiHeader.biCompression = BI_RGB;
        bits.resize(static_cast<size_t>(description.bmWidth) * description.bmHeight * 4);
        HDC screen = GetDC(NULL);
        if (!GetDIBits(screen, bitmap, 0, static_cast<UINT>(description.bmHeight), bits.data(),
                       &header, DIB_RGB_COLORS))
            bits.clear();
        ReleaseDC(NULL, screen);
    }
    if (info.hbmColor) DeleteObject(info.hbmColor);
    if (info.hbmMask) DeleteObject(info.hbmMask);
    return bits;
}

const char* IconName(HICON icon) {
    struct Known {
        LPCWSTR id;
        const char* name;
    };
    // IDI_ERROR = IDI_HAND, IDI_WARNING = IDI_EXCLAMATION,
    // IDI_INFORMATION = IDI_ASTERISK.
    const Known known[] = {{IDI_HAND, "error"},
                           {IDI_EXCLAMATION, "warning"},
                           {IDI_ASTERISK, "information"},
                           {IDI_QUESTION, "question"}};
    for (const Known& k : known)
        if (LoadIconW(NULL, k.id) == icon) return k.name;
    // A shared system icon keeps the id it was loaded by.
    ICONINFOEXW infoEx;
    memset(&infoEx, 0, sizeof infoEx);
    infoEx.cbSize = sizeof infoEx;
    if (GetIconInfoExW(icon, &infoEx)) {
        if (infoEx.hbmColor) DeleteObject(infoEx.hbmColor);
        if (infoEx.hbmMask) DeleteObject(infoEx.hbmMask);
        for (const Known& k : known)
            if (infoEx.wResID == static_cast<WORD>(reinterpret_cast<uintptr_t>(k.id)))
                return k.name;
    }
    std::vector<unsigned char> bits = IconBits(icon);
    if (bits.empty()) return "unknown";
    for (const Known& k : known)
        if (IconBits(LoadIconW(NULL, k.id)) == bits) return k.name;
    return "unknown";
}

struct BoxParts {
    HICON icon;
    RECT iconRect;
    int hasIconControl;
    std::string buttons;
};

BOOL CALLBACK CollectBoxPart(HWND child, LPARAM param) {
    BoxParts* parts = reinterpret_cast<BoxParts*>(param);
    std::wstring cls = ClassOf(child);
    LONG style = GetWindowLongW(child, GWL_STYLE);
    if (lstrcmpiW(cls.c_str(), L"Static") == 0 && (style & SS_TYPEMASK) == SS_ICON) {
        parts->hasIconControl = 1;
        GetWindowRect(child, &parts->iconRect);
        if (IsWindowVisible(child))
            parts->icon = reinterpret_cast<HICON>(SendQuiet(child, STM_GETICON, 0, 0));
    } else if (lstrcmpiW(cls.c_str(), L"Button") == 0 && IsWindowVisible(child)) {
        if (!parts->buttons.empty()) parts->buttons += ",";
        parts->buttons += "{\"id\":" + Number(GetWindowLongW(child, GWL_ID)) +
                          ",\"text\":" + Quote(WindowText(child).c_str()) + "}";
    }
    return TRUE;
}

struct BoxList {
    HWND main;
    std::string items;
};

BOOL CALLBACK CollectBox(HWND window, LPARAM param) {
    BoxList* list = reinterpret_cast<BoxList*>(param);
    if (ClassOf(window) != L"#32770" || !IsWindowVisible(window)) return TRUE;
    HWND owner = GetWindow(window, GW_OWNER);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    BoxParts parts;
    parts.icon = NULL;
    parts.hasIconControl = 0;
    SetRectEmpty(&parts.iconRect);
    WalkChildren(window, false, CollectBoxPart, reinterpret_cast<LPARAM>(&parts));
    HWND textControl = ChildWithId(window, 0xFFFF);
    std::wstring text = textControl ? WindowText(textControl) : std::wstring();
    RECT rect;
    GetWindowRect(window, &rect);
    if (!list->items.empty()) list->items += ",";
    list->items += "{\"hwnd\":" + Handle(window) + ",\"owner\":" + Handle(owner) +
                   ",\"owner_is_main\":" + (owner && owner == list->main ? "true" : "false") +
                   ",\"pid\":" + Number(pid) + ",\"caption\":" + Quote(WindowText(window).c_str()) +
                   ",\"text\":" + Quote(text.c_str()) +
                   ",\"icon\":" + Quote(parts.icon ? IconName(parts.icon) : "none") +
                   ",\"icon_handle\":" + Handle(parts.icon) +
                   ",\"icon_rect\":" + RectJson(parts.iconRect) + ",\"rect\":" + RectJson(rect) +
                   ",\"x11_window\":" + X11WindowJson(window) + ",\"buttons\":[" + parts.buttons +
                   "]}";
    return TRUE;
}

std::string BoxesJson() {
    BoxList list;
    list.main = FindMain(kDefaultClass);
    EnumWindows(CollectBox, reinterpret_cast<LPARAM>(&list));
    return "{\"ok\":true,\"boxes\":[" + list.items + "]}";
}

std::string PressJson(HWND box, int id) {
    if (!IsWindow(box)) return Fail("no such window");
    HWND button = ChildWithId(box, id);
    if (!PostMessageW(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                      reinterpret_cast<LPARAM>(button)))
        return Fail("post failed");
    return "{\"ok\":true}";
}

// The system icon NAME drawn at its own size over the colour (r, g, b): how
// a message box shows it, to compare with a screenshot where the icon handle
// of another process cannot be compared.
// A 32-bit top-down bitmap selected into a memory DC, filled with one
// colour, for the probe to draw on and hand back as hex RGB.
class Canvas {
  public:
    Canvas(int width, int height, int r, int g, int b) : width_(width), height_(height) {
        BITMAPINFO info;
        memset(&info, 0, sizeof info);
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        HDC screen = GetDC(NULL);
        dc_ = CreateCompatibleDC(screen);
        ReleaseDC(NULL, screen);
        void* bits = NULL;
        bitmap_ = dc_ ? CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits, NULL, 0) : NULL;
        bits_ = bitmap_ ? static_cast<unsigned char*>(bits) : NULL;
        if (!bits_) return;
        old_ = SelectObject(dc_, bitmap_);
        for (int i = 0; i < width * height; ++i) {
            bits_[i * 4] = static_cast<unsigned char>(b);
            bits_[i * 4 + 1] = static_cast<unsigned char>(g);
            bits_[i * 4 + 2] = static_cast<unsigned char>(r);
            bits_[i * 4 + 3] = 0;
        }
    }
    ~Canvas() {
        if (old_) SelectObject(dc_, old_);
        if (bitmap_) DeleteObject(bitmap_);
        if (dc_) DeleteDC(dc_);
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    bool ready() const { return bits_ != NULL; }
    HDC dc() const { return dc_; }
    std::string RgbHex() const {
        GdiFlush();
        static const char digits[] = "0123456789abcdef";
        std::string hex;
        hex.reserve(static_cast<size_t>(width_) * height_ * 6);
        for (int i = 0; i < width_ * height_; ++i)
            for (int c = 2; c >= 0; --c) {
                hex += digits[bits_[i * 4 + c] >> 4];
                hex += digits[bits_[i * 4 + c] & 15];
            }
        return hex;
    }

  private:
    int width_, height_;
    HDC dc_ = NULL;
    HBITMAP bitmap_ = NULL;
    HGDIOBJ old_ = NULL;
    unsigned char* bits_ = NULL;
};

std::string SystemIconJson(const std::string& name, int r, int g, int b) {
    LPCWSTR id = name == "error"         ? IDI_HAND
                 : name == "warning"     ? IDI_EXCLAMATION
                 : name == "information" ? IDI_ASTERISK
                 : name == "question"    ? IDI_QUESTION
                                         : NULL;
    if (!id) return Fail("unknown icon name");
    HICON icon = LoadIconW(NULL, id);
    int size = GetSystemMetrics(SM_CXICON);
    Canvas canvas(size, size, r, g, b);
    if (!canvas.ready()) return Fail("no bitmap");
    DrawIconEx(canvas.dc(), 0, 0, icon, 0, 0, 0, NULL, DI_NORMAL);
    return "{\"ok\":true,\"size\":" + Number(size) + ",\"rgb\":\"" + canvas.RgbHex() + "\"}";
}

// ---- Text as the tool draws it -------------------------------------------

// The band's text drawn the way the tool's main window draws it: UiFont
// (LOGFONTW height 16, width 8, GB2312_CHARSET, OUT_DEVICE_PRECIS,
// CLIP_CHARACTER_PRECIS, quality 0, FF_SWISS, "宋体"), default black text,
// background mode TRANSPARENT, DrawTextW flags 0, here on white from (0, 0).
std::string TextJson(int width, int height, const std::wstring& text) {
    if (width <= 0 || height <= 0 || width > 2000 || height > 200) return Fail("bad size");
    LOGFONTW logfont;
    memset(&logfont, 0, sizeof logfont);
    logfont.lfHeight = 16;
    logfont.lfWidth = 8;
    logfont.lfCharSet = GB2312_CHARSET;
    logfont.lfOutPrecision = OUT_DEVICE_PRECIS;
    logfont.lfClipPrecision = CLIP_CHARACTER_PRECIS;
    logfont.lfQuality = 0;
    logfont.lfPitchAndFamily = FF_SWISS;
    lstrcpyW(logfont.lfFaceName, L"\x5b8b\x4f53");  // 宋体
    HFONT font = CreateFontIndirectW(&logfont);
    if (!font) return Fail("no font");
    std::string hex;
    {
        Canvas canvas(width, height, 255, 255, 255);
        if (!canvas.ready()) {
            DeleteObject(font);
            return Fail("no bitmap");
        }
        HGDIOBJ oldFont = SelectObject(canvas.dc(), font);
        SetBkMode(canvas.dc(), TRANSPARENT);
        SetTextColor(canvas.dc(), RGB(0, 0, 0));
        RECT r = {0, 0, width, height};
        DrawTextW(canvas.dc(), text.c_str(), -1, &r, 0);
        hex = canvas.RgbHex();
        SelectObject(canvas.dc(), oldFont);
    }
    DeleteObject(font);
    return "{\"ok\":true,\"width\":" + Number(width) + ",\"height\":" + Number(height) +
           ",\"rgb\":\"" + hex + "\"}";
}

// ---- The system's default caption -----------------------------------------

DWORD WINAPI DefaultCaptionBox(LPVOID) {
    MessageBoxW(NULL, L"tavo_probe: default caption", NULL, MB_OK);
    return 0;
}

struct ThreadBox {
    HWND found;
};

BOOL CALLBACK FindThreadBox(HWND window, LPARAM param) {
    if (ClassOf(window) != L"#32770") return TRUE;
    reinterpret_cast<ThreadBox*>(param)->found = window;
    return FALSE;
}

// A box with a null caption, shown from a thread of the probe, read with
// GetWindowTextW and closed: what the system shows as its default caption.
std::string DefaultCaptionJson() {
    DWORD threadId = 0;
    HANDLE thread = CreateThread(NULL, 0, DefaultCaptionBox, NULL, 0, &threadId);
    if (!thread) return Fail("no thread");
    ThreadBox box = {NULL};
    for (int i = 0; i < 1000 && !box.found; ++i) {
        EnumThreadWindows(threadId, FindThreadBox, reinterpret_cast<LPARAM>(&box));
        if (!box.found || !IsWindowVisible(box.found)) {
            box.found = NULL;
            Sleep(10);
        }
    }
    if (!box.found) {
        TerminateThread(thread, 1);
        CloseHandle(thread);
        return Fail("the probe's box did not show");
    }
    wchar_t caption[256] = {0};
    GetWindowTextW(box.found, caption, 256);
    PostMessageW(box.found, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(ChildWithId(box.found, IDOK)));
    if (WaitForSingleObject(thread, 10000) != WAIT_OBJECT_0) {
        CloseHandle(thread);
        return Fail("the probe's box did not close");
    }
    CloseHandle(thread);
    return "{\"ok\":true,\"caption\":" + Quote(caption) + "}";
}

// ---- Sends that may block in a modal handler ---------------------------

struct PendingSend {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    volatile LONG done;
    volatile LONG result;
    HANDLE thread;
    std::vector<unsigned char> record;  // what lParam points at, when anything
};

std::vector<PendingSend*> Pending;

DWORD WINAPI SendThread(LPVOID param) {
    PendingSend* send = static_cast<PendingSend*>(param);
    DWORD_PTR result = 0;
    // A handler may hold a message box open for as long as the test wants.
    LRESULT ok = SendMessageTimeoutW(send->window, send->message, send->wParam, send->lParam,
                                     SMTO_NORMAL, 600000, &result);
    send->result = ok ? static_cast<LONG>(result) : -1;
    InterlockedExchange(&send->done, 1);
    return 0;
}

std::string StartSend(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                      const std::vector<unsigned char>& record = std::vector<unsigned char>()) {
    if (!window) return Fail("no main window");
    PendingSend* send = new PendingSend();
    send->window = window;
    send->message = message;
    send->wParam = wParam;
    send->record = record;
    send->lParam = record.empty() ? lParam : reinterpret_cast<LPARAM>(&send->record[0]);
    send->done = 0;
    send->result = 0;
    send->thread = CreateThread(NULL, 0, SendThread, send, 0, NULL);
    if (!send->thread) {
        delete send;
        return Fail("no thread");
    }
    Pending.push_back(send);
    return "{\"ok\":true,\"send\":" + Number(static_cast<long long>(Pending.size() - 1)) + "}";
}

std::string SentJson() {
    std::string items;
    for (size_t i = 0; i < Pending.size(); ++i) {
        if (i) items += ",";
        items += "{\"done\":" + std::string(Pending[i]->done ? "true" : "false") +
                 ",\"result\":" + Number(Pending[i]->result) + "}";
    }
    return "{\"ok\":true,\"sent\":[" + items + "]}";
}

void WaitForSends() {
    for (PendingSend* send : Pending) WaitForSingleObject(send->thread, 600000);
}

// ---- Processes ---------------------------------------------------------

std::string ResourcesJson(DWORD pid) {
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    if (!process) return Fail("cannot open process");
    DWORD gdi = GetGuiResources(process, GR_GDIOBJECTS);
    DWORD user = GetGuiResources(process, GR_USEROBJECTS);
    DWORD handles = 0;
    GetProcessHandleCount(process, &handles);
    PROCESS_MEMORY_COUNTERS_EX memory;
    memset(&memory, 0, sizeof memory);
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                         sizeof memory);
    DWORD exitCode = 0;
    GetExitCodeProcess(process, &exitCode);
    CloseHandle(process);
    return "{\"ok\":true,\"gdi\":" + Number(gdi) + ",\"user\":" + Number(user) +
           ",\"handles\":" + Number(handles) +
           ",\"working_set\":" + Number(static_cast<long long>(memory.WorkingSetSize)) +
           ",\"private\":" + Number(static_cast<long long>(memory.PrivateUsage)) +
           ",\"pagefile\":" + Number(static_cast<long long>(memory.PagefileUsage)) +
           ",\"running\":" + (exitCode == STILL_ACTIVE ? "true" : "false") + "}";
}

std::string ProcsJson() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return Fail("no snapshot");
    PROCESSENTRY32W entry;
    entry.dwSize = sizeof entry;
    std::string items;
    for (BOOL more = Process32FirstW(snapshot, &entry); more;
         more = Process32NextW(snapshot, &entry)) {
        if (!items.empty()) items += ",";
        items += "{\"pid\":" + Number(entry.th32ProcessID) +
                 ",\"parent\":" + Number(entry.th32ParentProcessID) +
                 ",\"exe\":" + Quote(entry.szExeFile) + "}";
    }
    CloseHandle(snapshot);
    return "{\"ok\":true,\"procs\":[" + items + "]}";
}

std::string TerminateJson(DWORD pid) {
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
    if (!process) return Fail("cannot open process");
    BOOL ok = TerminateProcess(process, 99);
    if (ok) WaitForSingleObject(process, 10000);
    CloseHandle(process);
    return ok ? "{\"ok\":true}" : Fail("terminate failed");
}

// ---- Printers ----------------------------------------------------------

std::string AddPrinterJson(const std::wstring& name, const std::wstring& driver,
                           const std::wstring& port, DWORD attributes) {
    DRIVER_INFO_3W driverInfo;
    memset(&driverInfo, 0, sizeof driverInfo);
    driverInfo.cVersion = 3;
    driverInfo.pName = const_cast<wchar_t*>(driver.c_str());
    driverInfo.pDriverPath = const_cast<wchar_t*>(L"wineps.drv");
    driverInfo.pDataFile = const_cast<wchar_t*>(L"generic.ppd");
    driverInfo.pConfigFile = const_cast<wchar_t*>(L"wineps.drv");
    if (!AddPrinterDriverW(NULL, 3, reinterpret_cast<BYTE*>(&driverInfo)) &&
        GetLastError() != ERROR_PRINTER_DRIVER_ALREADY_INSTALLED)
        return Fail("AddPrinterDriverW failed: " + Number(GetLastError()));
    PRINTER_INFO_2W info;
    memset(&info, 0, sizeof info);
    info.pPrinterName = const_cast<wchar_t*>(name.c_str());
    info.pPortName = const_cast<wchar_t*>(port.c_str());
    info.pDriverName = const_cast<wchar_t*>(driver.c_str());
    info.pPrintProcessor = const_cast<wchar_t*>(L"WinPrint");
    info.pDatatype = const_cast<wchar_t*>(L"RAW");
    info.Attributes = attributes;
    HANDLE printer = AddPrinterW(NULL, 2, reinterpret_cast<BYTE*>(&info));
    if (!printer) return Fail("AddPrinterW failed: " + Number(GetLastError()));
    // Some spoolers ignore the attributes given at creation: set them again.
    if (attributes) {
        DWORD needed = 0;
        GetPrinterW(printer, 2, NULL, 0, &needed);
        std::vector<BYTE> buffer(needed ? needed : 1);
        if (needed && GetPrinterW(printer, 2, buffer.data(), needed, &needed)) {
            PRINTER_INFO_2W* current = reinterpret_cast<PRINTER_INFO_2W*>(buffer.data());
            current->Attributes |= attributes;
            SetPrinterW(printer, 2, buffer.data(), 0);
        }
    }
    ClosePrinter(printer);
    return "{\"ok\":true}";
}

std::string DeletePrinterJson(const std::wstring& name) {
    HANDLE printer = NULL;
    PRINTER_DEFAULTSW defaults;
    memset(&defaults, 0, sizeof defaults);
    defaults.DesiredAccess = PRINTER_ALL_ACCESS;
    if (!OpenPrinterW(const_cast<wchar_t*>(name.c_str()), &printer, &defaults))
        return "{\"ok\":true,\"existed\":false}";
    BOOL ok = DeletePrinter(printer);
    ClosePrinter(printer);
    return ok ? "{\"ok\":true,\"existed\":true}" : Fail("DeletePrinter failed");
}

std::string PrintersJson() {
    DWORD needed = 0, returned = 0;
    EnumPrintersW(PRINTER_ENUM_LOCAL, NULL, 2, NULL, 0, &needed, &returned);
    std::vector<BYTE> buffer(needed ? needed : 1);
    if (needed &&
        !EnumPrintersW(PRINTER_ENUM_LOCAL, NULL, 2, buffer.data(), needed, &needed, &returned))
        return Fail("EnumPrintersW failed");
    if (!needed) returned = 0;
    const PRINTER_INFO_2W* info = reinterpret_cast<const PRINTER_INFO_2W*>(buffer.data());
    std::string items;
    for (DWORD i = 0; i < returned; ++i) {
        if (i) items += ",";
        items += "{\"name\":" + Quote(info[i].pPrinterName) +
                 ",\"driver\":" + Quote(info[i].pDriverName) +
                 ",\"port\":" + Quote(info[i].pPortName) +
                 ",\"attributes\":" + Number(info[i].Attributes) + "}";
    }
    return "{\"ok\":true,\"printers\":[" + items + "]}";
}

// ---- Dispatch ----------------------------------------------------------

long long ToNumber(const std::string& text) { return strtoll(text.c_str(), NULL, 0); }

HWND HandleAt(const std::string& text) {
    return reinterpret_cast<HWND>(static_cast<uintptr_t>(ToNumber(text)));
}

// ---- Stalling a window's thread ---------------------------------------

// One row of the screen's pixels, ROW pixels below the window's top, across
// its width, as hex RGB: read from the screen DC (what X shows).
std::string ScreenRow(HWND window, int row) {
    RECT rect;
    GetWindowRect(window, &rect);
    int width = rect.right - rect.left;
    if (width <= 0) return std::string();
    BITMAPINFO info;
    memset(&info, 0, sizeof info);
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -1;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = NULL;
    HDC screen = GetDC(NULL);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, NULL, 0);
    std::string hex;
    if (bitmap && bits) {
        HGDIOBJ old = SelectObject(dc, bitmap);
        BitBlt(dc, 0, 0, width, 1, screen, rect.left, rect.top + row, SRCCOPY);
        GdiFlush();
        static const char digits[] = "0123456789abcdef";
        const unsigned char* p = static_cast<const unsigned char*>(bits);
        for (int i = 0; i < width; ++i)
            for (int c = 2; c >= 0; --c) {
                hex += digits[p[i * 4 + c] >> 4];
                hex += digits[p[i * 4 + c] & 15];
            }
        SelectObject(dc, old);
    }
    if (bitmap) DeleteObject(bitmap);
    DeleteDC(dc);
    ReleaseDC(NULL, screen);
    return hex;
}

// Suspends the thread that owns WINDOW for MS milliseconds, so that timer
// ticks pass while it paints nothing, then resumes it. The row ROW of the
// window's screen pixels is read before, and again every few milliseconds
// after the resume until it changes (the first paint after it), for at
// most a second.
std::string StallJson(HWND window, DWORD ms, int row) {
    if (!IsWindow(window)) return Fail("no such window");
    DWORD threadId = GetWindowThreadProcessId(window, NULL);
    HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME, FALSE, threadId);
    if (!thread) return Fail("cannot open the thread");
    std::string before = ScreenRow(window, row);
    if (SuspendThread(thread) == static_cast<DWORD>(-1)) {
        CloseHandle(thread);
        return Fail("cannot suspend the thread");
    }
    Sleep(ms);
    ResumeThread(thread);
    CloseHandle(thread);
    std::string after = before;
    DWORD start = GetTickCount();
    while (after == before && GetTickCount() - start < 1000) {
        Sleep(2);
        after = ScreenRow(window, row);
    }
    return "{\"ok\":true,\"before\":\"" + before + "\",\"after\":\"" + after +
           "\",\"waited\":" + Number(GetTickCount() - start) + "}";
}

// Whether a row of hex RGB holds a pixel of the dots' colour, RGB (84, 195,
// 241); pixels are 6 hex digits, so a match must start on one.
bool HasDotPixel(const std::string& hexRow) {
    for (size_t i = 0; i + 6 <= hexRow.size(); i += 6)
        if (hexRow.compare(i, 6, "54c3f1") == 0) return true;
    return false;
}

// Milliseconds on the performance counter, for waits shorter than a tick
// of GetTickCount.
double Milliseconds() {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Sends Install (WM_COMMAND 1002, code 0) to the main window from a thread
// of its own, then reads the screen row ROW of WINDOW (the dots panel) as
// fast as it can until a pixel of the dots' colour RGB (84, 195, 241)
// shows, for at most MS milliseconds: the first frame painted, caught far
// faster than a screenshot of the whole screen.
std::string FirstFrameJson(HWND main, HWND window, int row, DWORD ms) {
    if (!main || !IsWindow(window)) return Fail("no such window");
    std::string sent = StartSend(main, WM_COMMAND, MAKEWPARAM(1002, 0), 0);
    DWORD start = GetTickCount();
    std::string seen;
    for (;;) {
        seen = ScreenRow(window, row);
        if (HasDotPixel(seen)) break;
        if (GetTickCount() - start > ms) return Fail("no dot within the time");
    }
    // The first read may catch the paint half shown on the screen, a dot or
    // two drawn and the rest to come; on a busy machine two reads a
    // millisecond apart can still agree on such a half. Read on until the
    // row has stayed the same for kSettledMs, for at most kSettleLimitMs
    // (both within the 50 ms of a tick).
    // Timed with the performance counter: GetTickCount moves in steps of
    // about 16 ms on Windows.
    const double kSettledMs = 10, kSettleLimitMs = 40;
    double settle = Milliseconds(), same = settle;
    while (Milliseconds() - settle < kSettleLimitMs) {
        Sleep(1);
        std::string again = ScreenRow(window, row);
        if (again != seen) {
            seen = again;
            same = Milliseconds();
        } else if (Milliseconds() - same >= kSettledMs) {
            break;
        }
    }
    return "{\"ok\":true,\"row\":\"" + seen + "\",\"after\":" + Number(GetTickCount() - start) +
           "}";
}

// ---- Window texts ------------------------------------------------------

// Gives a window a new text with WM_SETTEXT (marshalled across processes),
// as another program can: a button's caption longer than the tool draws.
std::string SetTextJson(HWND window, const std::wstring& text) {
    if (!IsWindow(window)) return Fail("no such window");
    LRESULT result = SendQuiet(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    return "{\"ok\":true,\"result\":" + Number(result) +
           ",\"text\":" + Quote(WindowText(window).c_str()) + "}";
}

std::string Run(const std::vector<std::string>& args) {
    if (args.empty()) return Fail("no command");
    const std::string& command = args[0];
    auto arg = [&](size_t i) { return i < args.size() ? args[i] : std::string(); };
    auto classAt = [&](size_t i) {
        return i < args.size() ? Wide(args[i]) : std::wstring(kDefaultClass);
    };
    if (command == "main") return MainJson(classAt(1).c_str());
    if (command == "count") return CountJson(classAt(1).c_str());
    if (command == "children") return ChildrenJson(classAt(1).c_str());
    if (command == "comboitems")
        return ComboItemsJson(static_cast<int>(ToNumber(arg(1))), classAt(2).c_str());
    if (command == "boxes") return BoxesJson();
    if (command == "systemicon")
        return SystemIconJson(arg(1), static_cast<int>(ToNumber(arg(2))),
                              static_cast<int>(ToNumber(arg(3))),
                              static_cast<int>(ToNumber(arg(4))));
    if (command == "text")
        return TextJson(static_cast<int>(ToNumber(arg(1))), static_cast<int>(ToNumber(arg(2))),
                        Wide(arg(3)));
    if (command == "defaultcaption") return DefaultCaptionJson();
    if (command == "redraw") {
        // A window painted before the X server showed it stays black on
        // the bench's screen: have its own thread paint it again.
        HWND window = reinterpret_cast<HWND>(static_cast<uintptr_t>(ToNumber(arg(1))));
        if (!IsWindow(window)) return Fail("no such window");
        RedrawWindow(window, NULL, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
        return "{\"ok\":true}";
    }
    if (command == "press")
        return PressJson(reinterpret_cast<HWND>(static_cast<uintptr_t>(ToNumber(arg(1)))),
                         static_cast<int>(ToNumber(arg(2))));
    if (command == "devchange")
        return StartSend(FindMain(classAt(2).c_str()), WM_DEVICECHANGE,
                         static_cast<WPARAM>(ToNumber(arg(1))), 0, DeviceInterfaceRecord(arg(3)));
    if (command == "command")
        return StartSend(FindMain(classAt(3).c_str()), WM_COMMAND,
                         MAKEWPARAM(ToNumber(arg(1)), ToNumber(arg(2))), 0);
    if (command == "sent") return SentJson();
    if (command == "close") {
        HWND main = FindMain(classAt(1).c_str());
        if (!main) return Fail("no main window");
        return PostMessageW(main, WM_CLOSE, 0, 0) ? "{\"ok\":true}" : Fail("post failed");
    }
    if (command == "foreground") {
        HWND window = GetForegroundWindow();
        return "{\"ok\":true,\"hwnd\":" + Handle(window) +
               ",\"class\":" + Quote(window ? ClassOf(window).c_str() : L"") + "}";
    }
    if (command == "resources") return ResourcesJson(static_cast<DWORD>(ToNumber(arg(1))));
    if (command == "procs") return ProcsJson();
    if (command == "terminate") return TerminateJson(static_cast<DWORD>(ToNumber(arg(1))));
    if (command == "addprinter")
        return AddPrinterJson(Wide(arg(1)), Wide(arg(2)), Wide(arg(3)),
                              static_cast<DWORD>(ToNumber(arg(4))));
    if (command == "delprinter") return DeletePrinterJson(Wide(arg(1)));
    if (command == "printers") return PrintersJson();
    if (command == "settext") return SetTextJson(HandleAt(arg(1)), Wide(arg(2)));
    if (command == "firstframe")
        return FirstFrameJson(FindMain(kDefaultClass), HandleAt(arg(1)),
                              static_cast<int>(ToNumber(arg(2))),
                              static_cast<DWORD>(ToNumber(arg(3))));
    if (command == "row")
        return "{\"ok\":true,\"row\":\"" +
               ScreenRow(HandleAt(arg(1)), static_cast<int>(ToNumber(arg(2)))) + "\"}";
    if (command == "stall")
        return StallJson(HandleAt(arg(1)), static_cast<DWORD>(ToNumber(arg(2))),
                         static_cast<int>(ToNumber(arg(3))));
    return Fail("unknown command " + command);
}

void Answer(const std::string& line) {
    fwrite(line.data(), 1, line.size(), stdout);
    fputc('\n', stdout);
    fflush(stdout);
}

std::vector<std::string> SplitTabs(const std::string& line) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t tab = line.find('\t', start);
        parts.push_back(
            line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos) break;
        start = tab + 1;
    }
    return parts;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc >= 2 && lstrcmpW(argv[1], L"serve") == 0) {
        char line[8192];
        while (fgets(line, sizeof line, stdin)) {
            size_t length = strlen(line);
            while (length && (line[length - 1] == '\n' || line[length - 1] == '\r'))
                line[--length] = 0;
            if (!length) continue;
            std::vector<std::string> args = SplitTabs(line);
            if (args[0] == "quit") {
                Answer("{\"ok\":true}");
                break;
            }
            Answer(Run(args));
        }
        return 0;
    }
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.push_back(Utf8(argv[i]));
    std::string answer = Run(args);
    Answer(answer);
    WaitForSends();
    if (!Pending.empty()) Answer(SentJson());
    return answer.rfind("{\"ok\":true", 0) == 0 ? 0 : 1;
}
