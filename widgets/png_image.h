// PNG resources drawn with the GDI+ flat interface. Nothing is cached: each
// draw finds, copies and decodes the resource again and disposes of it.
// Only the flat functions that are needed are declared here, so the GDI+
// C++ headers (and their own Image class) are not pulled in.
#pragma once

#include <windows.h>
#include <objidl.h>
#include <stddef.h>

#include "platform/scoped_win.h"

extern "C" {
void* WINAPI GdipAlloc(size_t size);
void WINAPI GdipFree(void* pointer);
GpStatus WINAPI GdipLoadImageFromStream(IStream* stream, GpImage** image);
GpStatus WINAPI GdipCloneImage(GpImage* image, GpImage** cloneImage);
GpStatus WINAPI GdipDisposeImage(GpImage* image);
GpStatus WINAPI GdipGetImageWidth(GpImage* image, UINT* width);
GpStatus WINAPI GdipGetImageHeight(GpImage* image, UINT* height);
GpStatus WINAPI GdipDrawImageRectI(GpGraphics* graphics, GpImage* image, INT x, INT y, INT width,
                                   INT height);
}

// Every GDI+ wrapper object lives in GDI+'s own heap.
class GdiplusBase {
  public:
    // noexcept: a failed allocation gives a null pointer, not an exception.
    static void* operator new(size_t size) noexcept { return GdipAlloc(size); }
    static void operator delete(void* pointer) noexcept { GdipFree(pointer); }
};

// A decoded GDI+ image. `lastStatus` starts as the status of the load; a
// later call that fails stores its status there.
class Image : public GdiplusBase {
  public:
    explicit Image(IStream* stream);
    virtual ~Image();
    // A copy holding a clone of the native image, or null when no object
    // could be allocated.
    virtual Image* Clone();

    UINT Width();
    UINT Height();
    GpImage* Native() const { return native_; }
    GpStatus LastStatus() const { return lastStatus_; }

    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;

  private:
    Image(GpImage* native, GpStatus status) : native_(native), lastStatus_(status) {}
    GpStatus Keep(GpStatus status) {
        if (status != 0) lastStatus_ = status;
        return status;
    }

    GpImage* native_ = nullptr;
    GpStatus lastStatus_ = 0;
};

// 1 when resource `id` of type "PNG" was found and copied into memory; `*image`
// then holds a new Image (owned by the caller; its status tells whether it
// decoded) or null when no object could be allocated. 0 when the resource is
// missing or cannot be loaded; `*image` is then not written.
int LoadPngResource(WORD id, Image** image);

// Draws PNG resource `id` at (x, y) at its own size; nothing when it cannot
// be loaded.
void DrawPngResource(HDC dc, int x, int y, WORD id);
