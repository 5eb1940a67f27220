// Small owners of Win32 resources, for the tool, tavoctl and the reference
// installers. Each one releases what it holds on every way out of its scope
// and cannot be copied, so every handle, block, selection and start-up has
// exactly one owner. Nothing here allocates beyond what it owns.
//
// Only what a program calls is linked: the owners are inline, so a program
// that never closes a printer needs no winspool, one that never starts GDI+
// no gdiplus.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <winspool.h>

#include <stdlib.h>

// ---- Handles ----------------------------------------------------------------

// A handle of the kind `Traits` describes: its type, the value that means
// "none" and the call that closes it.
template <typename Traits>
class HandleOwner {
  public:
    typedef typename Traits::Type Type;

    HandleOwner() : handle_(Traits::None()) {}
    explicit HandleOwner(Type handle) : handle_(handle) {}
    ~HandleOwner() { reset(); }
    HandleOwner(const HandleOwner&) = delete;
    HandleOwner& operator=(const HandleOwner&) = delete;

    Type get() const { return handle_; }
    bool valid() const { return handle_ != Traits::None(); }
    // For a call that hands the handle back through a pointer; whatever was
    // held before is closed first.
    Type* out() {
        reset();
        return &handle_;
    }
    void reset(Type handle = Traits::None()) {
        if (valid()) Traits::Close(handle_);
        handle_ = handle;
    }

  private:
    Type handle_;
};

// Processes, threads, events: null when there is none.
struct KernelHandleTraits {
    typedef HANDLE Type;
    static HANDLE None() { return nullptr; }
    static void Close(HANDLE handle) { CloseHandle(handle); }
};
typedef HandleOwner<KernelHandleTraits> KernelHandle;

// CreateFileW's handles: closed the same way, but INVALID_HANDLE_VALUE is
// what means none.
struct FileHandleTraits : KernelHandleTraits {
    static HANDLE None() { return INVALID_HANDLE_VALUE; }
};
typedef HandleOwner<FileHandleTraits> FileHandle;

// An open printer of the spooler (OpenPrinterW, AddPrinterW): null when
// there is none, closed by the spooler.
struct PrinterHandleTraits : KernelHandleTraits {
    static void Close(HANDLE handle) { ClosePrinter(handle); }
};
typedef HandleOwner<PrinterHandleTraits> PrinterHandle;

// ---- Memory -----------------------------------------------------------------

// A block from malloc. Empty until sized; a size of 0 asked of the
// constructor allocates nothing.
class MallocBlock {
  public:
    MallocBlock() = default;
    explicit MallocBlock(size_t bytes) : block_(bytes != 0 ? malloc(bytes) : nullptr) {}
    ~MallocBlock() { free(block_); }
    MallocBlock(const MallocBlock&) = delete;
    MallocBlock& operator=(const MallocBlock&) = delete;

    void* get() const { return block_; }
    // Grows or shrinks the block, keeping its bytes (at least one byte, so
    // a size of 0 still gives a block). On failure the old block is kept.
    bool Resize(size_t bytes) {
        void* resized = realloc(block_, bytes != 0 ? bytes : 1);
        if (resized == nullptr) return false;
        block_ = resized;
        return true;
    }

  private:
    void* block_ = nullptr;
};

// A block of the process heap, for the programs that use no C runtime heap.
class HeapBlock {
  public:
    HeapBlock(size_t bytes, DWORD flags) : block_(HeapAlloc(GetProcessHeap(), flags, bytes)) {}
    ~HeapBlock() {
        if (block_ != nullptr) HeapFree(GetProcessHeap(), 0, block_);
    }
    HeapBlock(const HeapBlock&) = delete;
    HeapBlock& operator=(const HeapBlock&) = delete;

    void* get() const { return block_; }

  private:
    void* block_;
};

// ---- Painting ---------------------------------------------------------------

// One WM_PAINT: BeginPaint now, EndPaint when the scope ends. Declared
// before any SelectedObject of the same paint, so that the selections are
// undone before the device context goes back.
class PaintContext {
  public:
    explicit PaintContext(HWND window) : window_(window), dc_(BeginPaint(window, &paint_)) {}
    ~PaintContext() { EndPaint(window_, &paint_); }
    PaintContext(const PaintContext&) = delete;
    PaintContext& operator=(const PaintContext&) = delete;

    HDC dc() const { return dc_; }
    const PAINTSTRUCT& paint() const { return paint_; }

  private:
    HWND window_;
    PAINTSTRUCT paint_;
    HDC dc_;
};

// A GDI object selected into a device context for one scope; the object
// that was selected before is put back on every path, so the context never
// keeps a font or brush that its owner may delete.
class SelectedObject {
  public:
    SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
    ~SelectedObject() {
        if (previous_ != nullptr) SelectObject(dc_, previous_);
    }
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;

  private:
    HDC dc_;
    HGDIOBJ previous_;
};

// ---- COM --------------------------------------------------------------------

// COM on the calling thread, in the single-threaded apartment the shell
// needs (ShellExecute may hand its work to COM components). Started by
// Start, so that a thread may put it off to the first use; uninitialised at
// the end only when the start succeeded, S_FALSE (already started on this
// thread) included, as each successful start must be balanced. Its
// constructor does nothing, so a program may keep one at namespace scope.
class ComApartment {
  public:
    ComApartment() = default;
    ~ComApartment() {
        if (started_ && SUCCEEDED(result_)) CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

    // Starts COM unless this owner already did; the result of the start.
    HRESULT Start() {
        if (!started_) {
            result_ = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
            started_ = true;
        }
        return result_;
    }

  private:
    bool started_ = false;
    HRESULT result_ = S_OK;
};

// ---- GDI+ -------------------------------------------------------------------

// The few pieces of the GDI+ flat interface the owners need; the GDI+ C++
// headers (and their own Image class) are not pulled in.
typedef int GpStatus;  // 0 is Ok
struct GpImage;
struct GpGraphics;

// GdiplusStartupInput of the flat interface.
struct GdiplusStartupInputFlat {
    UINT32 version;
    void* debugEventCallback;
    BOOL suppressBackgroundThread;
    BOOL suppressExternalCodecs;
};

extern "C" {
GpStatus WINAPI GdiplusStartup(ULONG_PTR* token, const GdiplusStartupInputFlat* input,
                               void* output);
void WINAPI GdiplusShutdown(ULONG_PTR token);
GpStatus WINAPI GdipCreateFromHDC(HDC dc, GpGraphics** graphics);
GpStatus WINAPI GdipDeleteGraphics(GpGraphics* graphics);
}

// GDI+ for the life of the program's window: version 1, no debug callback,
// background thread and external codecs not suppressed. Shut down only
// when it started.
class GdiplusSession {
  public:
    GdiplusSession() {
        GdiplusStartupInputFlat input = {1, nullptr, FALSE, FALSE};
        status_ = GdiplusStartup(&token_, &input, nullptr);
    }
    ~GdiplusSession() {
        if (status_ == 0) GdiplusShutdown(token_);
    }
    GdiplusSession(const GdiplusSession&) = delete;
    GdiplusSession& operator=(const GdiplusSession&) = delete;

    GpStatus status() const { return status_; }

  private:
    ULONG_PTR token_ = 0;
    GpStatus status_ = 0;
};

// The GDI+ graphics object of one draw on a device context.
class GdiplusGraphics {
  public:
    explicit GdiplusGraphics(HDC dc) { status_ = GdipCreateFromHDC(dc, &native_); }
    ~GdiplusGraphics() {
        if (native_ != nullptr) GdipDeleteGraphics(native_);
    }
    GdiplusGraphics(const GdiplusGraphics&) = delete;
    GdiplusGraphics& operator=(const GdiplusGraphics&) = delete;

    GpGraphics* get() const { return native_; }
    GpStatus status() const { return status_; }

  private:
    GpGraphics* native_ = nullptr;
    GpStatus status_ = 0;
};
