// PNG resources through the GDI+ flat interface.
#include "widgets/png_image.h"

#include <string.h>

#include "app/app_state.h"

Image::Image(IStream* stream) { lastStatus_ = GdipLoadImageFromStream(stream, &native_); }

Image::~Image() {
    // GDI+ keeps a reference to the stream until here; the stream owns the
    // memory block, so the block goes only after the image.
    if (native_) GdipDisposeImage(native_);
}

Image* Image::Clone() {
    GpImage* copy = nullptr;
    Keep(GdipCloneImage(native_, &copy));
    Image* clone = new Image(copy, lastStatus_);
    if (!clone && copy) GdipDisposeImage(copy);
    return clone;
}

UINT Image::Width() {
    UINT width = 0;
    Keep(GdipGetImageWidth(native_, &width));
    return width;
}

UINT Image::Height() {
    UINT height = 0;
    Keep(GdipGetImageHeight(native_, &height));
    return height;
}

int LoadPngResource(WORD id, Image** image) {
    HRSRC found = FindResourceW(AppInstance, MAKEINTRESOURCEW(id), L"PNG");
    if (!found) return 0;
    DWORD size = SizeofResource(AppInstance, found);
    HGLOBAL loaded = LoadResource(AppInstance, found);
    if (!loaded) return 0;
    const void* bytes = LockResource(loaded);
    if (!bytes || size == 0) return 0;

    // A stream over global memory needs a movable block; the stream owns it
    // (deleted with the stream's last reference, which GDI+ holds while the
    // image lives).
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size);
    if (!block) return 0;
    void* copy = GlobalLock(block);
    if (!copy) {
        GlobalFree(block);
        return 0;
    }
    memcpy(copy, bytes, size);
    GlobalUnlock(block);

    IStream* stream = nullptr;
    if (FAILED(CreateStreamOnHGlobal(block, TRUE, &stream)) || !stream) {
        GlobalFree(block);
        return 0;
    }
    *image = new Image(stream);
    stream->Release();
    // FreeResource is obsolete and does nothing for a module's resources.
    return 1;
}

void DrawPngResource(HDC dc, int x, int y, WORD id) {
    GdiplusGraphics graphics(dc);
    Image* image = nullptr;
    if (!LoadPngResource(id, &image) || !image) return;
    UINT height = image->Height();
    UINT width = image->Width();
    if (image->Native() && graphics.get())
        GdipDrawImageRectI(graphics.get(), image->Native(), x, y, static_cast<INT>(width),
                           static_cast<INT>(height));
    delete image;
}
