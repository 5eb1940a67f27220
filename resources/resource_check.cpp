// Loads the tool's resources, linked into this program exactly as into the
// tool, through the calls the tool makes, and checks what comes back: the
// two texts, both icons, both pictures (decoded by GDI+) and the manifest.
// Prints one line per failed check; the exit code is the number of failures.
#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <stdio.h>
#include <string.h>

#include "resource.h"

namespace {

int Failures = 0;

void Check(bool ok, const char* what) {
    if (!ok) {
        printf("FAILED: %s\n", what);
        ++Failures;
    }
}

struct ResourceBytes {
    const unsigned char* data = nullptr;
    DWORD size = 0;
};

ResourceBytes FindBytes(const wchar_t* name, const wchar_t* type) {
    ResourceBytes bytes;
    HRSRC found = FindResourceW(nullptr, name, type);
    if (!found) return bytes;
    HGLOBAL loaded = LoadResource(nullptr, found);
    if (!loaded) return bytes;
    bytes.data = static_cast<const unsigned char*>(LockResource(loaded));
    bytes.size = SizeofResource(nullptr, found);
    return bytes;
}

unsigned ReadBigEndian32(const unsigned char* p) {
    return (unsigned(p[0]) << 24) | (unsigned(p[1]) << 16) | (unsigned(p[2]) << 8) | p[3];
}

void CheckStrings() {
    wchar_t text[100] = {0};
    int length = LoadStringW(GetModuleHandleW(nullptr), IDS_APP_TITLE, text, 100);
    Check(length == 5 && wcscmp(text, L"\u5B89\u88C5\u6253\u5370\u673A") == 0,
          "string 103 is \"安装打印机\"");
    length = LoadStringW(GetModuleHandleW(nullptr), IDS_CLASS_NAME, text, 100);
    Check(length == 10 && wcscmp(text, L"TAVO_WIN32") == 0, "string 109 is \"TAVO_WIN32\"");
}

#pragma pack(push, 2)
struct GroupIconEntry {
    BYTE width, height, colorCount, reserved;
    WORD planes, bitCount;
    DWORD bytesInRes;
    WORD id;
};
#pragma pack(pop)

void CheckIcon(int id, const char* name) {
    char what[160];
    ResourceBytes group = FindBytes(MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(14) /* RT_GROUP_ICON */);
    snprintf(what, sizeof what, "%s: icon group present with one image", name);
    Check(group.data && group.size >= 6 + sizeof(GroupIconEntry) &&
              *reinterpret_cast<const WORD*>(group.data + 4) >= 1,
          what);
    if (!group.data || group.size < 6 + sizeof(GroupIconEntry)) return;
    GroupIconEntry entry;
    memcpy(&entry, group.data + 6, sizeof entry);
    snprintf(what, sizeof what, "%s: group entry says 128 x 128 at 32 bpp", name);
    Check(entry.width == 128 && entry.height == 128 && entry.bitCount == 32, what);

    ResourceBytes image = FindBytes(MAKEINTRESOURCEW(entry.id), MAKEINTRESOURCEW(3) /* RT_ICON */);
    // The image is a PNG: 128 x 128, 8-bit RGBA, which is 32 bits per pixel.
    static const unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    snprintf(what, sizeof what, "%s: image is a 128 x 128 RGBA PNG", name);
    Check(image.data && image.size > 33 && memcmp(image.data, kSignature, 8) == 0 &&
              ReadBigEndian32(image.data + 16) == 128 && ReadBigEndian32(image.data + 20) == 128 &&
              image.data[24] == 8 && image.data[25] == 6,
          what);

    // The class registration loads it at its own size.
    HICON icon = static_cast<HICON>(
        LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_ICON, 0, 0, 0));
    snprintf(what, sizeof what, "%s: LoadImageW gives a 128 x 128 icon", name);
    ICONINFO info = {};
    BITMAP bitmap = {};
    if (icon && GetIconInfo(icon, &info)) {
        GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
        if (info.hbmColor) DeleteObject(info.hbmColor);
        if (info.hbmMask) DeleteObject(info.hbmMask);
    }
    Check(icon && bitmap.bmWidth == 128 && bitmap.bmHeight == 128, what);
    if (icon) DestroyIcon(icon);
}

// Decodes a PNG resource with GDI+ the way the tool does (a stream over a
// global copy) and hands the bitmap to `inspect`.
template <class Inspect>
bool DecodePng(const ResourceBytes& png, Inspect inspect) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, png.size);
    if (!block) return false;
    memcpy(GlobalLock(block), png.data, png.size);
    GlobalUnlock(block);
    IStream* stream = nullptr;
    if (FAILED(CreateStreamOnHGlobal(block, TRUE, &stream))) {
        GlobalFree(block);
        return false;
    }
    Gdiplus::GpBitmap* bitmap = nullptr;
    bool ok = Gdiplus::DllExports::GdipCreateBitmapFromStream(stream, &bitmap) == Gdiplus::Ok;
    if (ok) {
        inspect(bitmap);
        Gdiplus::DllExports::GdipDisposeImage(bitmap);
    }
    stream->Release();
    return ok;
}

void CheckPng(int id, const char* name, unsigned width, unsigned height, int colourType) {
    char what[160];
    ResourceBytes png = FindBytes(MAKEINTRESOURCEW(id), L"PNG");
    snprintf(what, sizeof what, "%s: found under type \"PNG\"", name);
    Check(png.data != nullptr && png.size > 33, what);
    if (!png.data || png.size <= 33) return;
    snprintf(what, sizeof what, "%s: PNG signature and IHDR first", name);
    Check(memcmp(png.data, "\x89PNG\r\n\x1a\n", 8) == 0 && memcmp(png.data + 12, "IHDR", 4) == 0,
          what);
    snprintf(what, sizeof what, "%s: IHDR says %u x %u, 8 bits, colour type %d", name, width,
             height, colourType);
    Check(ReadBigEndian32(png.data + 16) == width && ReadBigEndian32(png.data + 20) == height &&
              png.data[24] == 8 && png.data[25] == colourType,
          what);

    UINT decodedWidth = 0, decodedHeight = 0;
    Gdiplus::ARGB corner = 0, centre = 0;
    bool decoded = DecodePng(png, [&](Gdiplus::GpBitmap* bitmap) {
        Gdiplus::DllExports::GdipGetImageWidth(bitmap, &decodedWidth);
        Gdiplus::DllExports::GdipGetImageHeight(bitmap, &decodedHeight);
        Gdiplus::DllExports::GdipBitmapGetPixel(bitmap, 0, 0, &corner);
        Gdiplus::DllExports::GdipBitmapGetPixel(bitmap, 25, 25, &centre);
    });
    snprintf(what, sizeof what, "%s: GDI+ decodes it at %u x %u", name, width, height);
    Check(decoded && decodedWidth == width && decodedHeight == height, what);
    if (colourType == 6) {
        // The logo lies on the dark window: its corner is see-through and
        // its badge opaque.
        snprintf(what, sizeof what, "%s: transparent corner, opaque badge", name);
        Check((corner >> 24) == 0 && (centre >> 24) == 0xFF, what);
    } else {
        // The icon lies on the white result band: its background is white.
        snprintf(what, sizeof what, "%s: white background, drawn middle", name);
        Check(corner == 0xFFFFFFFF && centre != 0xFFFFFFFF, what);
    }
}

void CheckManifest() {
    ResourceBytes manifest = FindBytes(MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24) /* RT_MANIFEST */);
    Check(manifest.data != nullptr, "manifest 1 present");
    if (!manifest.data) return;
    char text[4096] = {0};
    memcpy(text, manifest.data, manifest.size < sizeof text - 1 ? manifest.size : sizeof text - 1);
    Check(strstr(text, "level=\"asInvoker\"") != nullptr, "manifest asks for asInvoker");
    Check(strstr(text, "requireAdministrator") == nullptr, "manifest asks for no elevation");
}

}  // namespace

int wmain() {
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    Check(Gdiplus::GdiplusStartup(&token, &input, nullptr) == Gdiplus::Ok, "GDI+ starts");

    CheckStrings();
    CheckIcon(IDI_APP_LARGE, "icon 107");
    CheckIcon(IDI_APP_SMALL, "icon 108");
    CheckPng(IDR_PNG_LOGO, "PNG 132", 275, 52, 6);
    CheckPng(IDR_PNG_PRINTER, "PNG 133", 50, 50, 2);
    CheckManifest();
    Check(FindResourceW(nullptr, MAKEINTRESOURCEW(134), L"PNG") == nullptr,
          "no PNG 134: a missing id stays missing");

    Gdiplus::GdiplusShutdown(token);
    printf("%s: %d failed check(s)\n", Failures ? "FAIL" : "PASS", Failures);
    return Failures;
}
