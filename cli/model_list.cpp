// Reading the model section of the package INF.
#include "cli/model_list.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include "printer/package_files.h"
#include "printer/settings_command.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

ModelListBuffer::~ModelListBuffer() { free(list); }

namespace {

// A block from malloc, freed when the owner goes.
template <typename T>
class Owned {
  public:
    Owned() = default;
    ~Owned() { free(block_); }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    bool Allocate(size_t count) {
        free(block_);
        block_ = static_cast<T*>(malloc(count != 0 ? count * sizeof(T) : 1));
        return block_ != nullptr;
    }
    T* get() const { return block_; }

  private:
    T* block_ = nullptr;
};

// An empty list of the tool's size: kModelListChars characters, zeroed, so
// a read that fails leaves no stale memory to pass for a list.
bool NewList(ModelListBuffer* out) {
    free(out->list);
    out->list = static_cast<wchar_t*>(calloc(kModelListChars, sizeof(wchar_t)));
    out->capacity = out->list != nullptr ? kModelListChars : 0;
    return out->list != nullptr;
}

#ifndef _WIN32
// An open file, closed on every path.
class FileOwner {
  public:
    explicit FileOwner(FILE* file) : file_(file) {}
    ~FileOwner() {
        if (file_ != nullptr) fclose(file_);
    }
    FileOwner(const FileOwner&) = delete;
    FileOwner& operator=(const FileOwner&) = delete;
    FILE* get() const { return file_; }

  private:
    FILE* file_;
};

// An INF is a few kilobytes; past this the file is refused, never cut (a
// cut file could lose the section the tool would read).
const long kLargestInf = 16L << 20;

// The whole file in `bytes`; 0 with `error` filled when it cannot be read.
int ReadInfBytes(const char* path, Owned<unsigned char>* bytes, size_t* size, char error[512]) {
    FileOwner file(fopen(path, "rb"));
    long length = -1;
    if (file.get() != nullptr && fseek(file.get(), 0, SEEK_END) == 0) length = ftell(file.get());
    if (length < 0 || fseek(file.get(), 0, SEEK_SET) != 0) {
        snprintf(error, 512, "cannot read the model list %s: %s", path, strerror(errno));
        return 0;
    }
    if (length > kLargestInf) {
        snprintf(error, 512, "the model list %s is too large (%ld bytes)", path, length);
        return 0;
    }
    if (!bytes->Allocate(size_t(length))) {
        snprintf(error, 512, "out of memory reading %s", path);
        return 0;
    }
    *size = fread(bytes->get(), 1, size_t(length), file.get());
    if (*size != size_t(length) || ferror(file.get())) {
        snprintf(error, 512, "cannot read the model list %s", path);
        return 0;
    }
    return 1;
}
#endif

}  // namespace

void DefaultInfPath(Text* out) {
    out->Clear();
    PackagePaths paths;
#ifdef _WIN32
    // The tool's own steps: its path from GetModuleFileNameW, one that fills
    // the buffer taken as none.
    wchar_t exePath[kPathChars];
    DWORD length = GetModuleFileNameW(nullptr, exePath, kPathChars);
    if (length == 0 || length >= kPathChars) return;
    // Without a directory the INF path would be the program itself.
    if (!BuildPackagePaths(exePath, &paths)) return;
    AppendUtf8(out, paths.infPath);
#else
    char exePath[4096];
    ssize_t length = readlink("/proc/self/exe", exePath, sizeof exePath - 1);
    if (length <= 0) return;
    exePath[length] = '\0';
    wchar_t* widePath = WideFromUtf8(exePath);
    if (widePath == nullptr) return;
    int built = BuildPackagePathsWith(widePath, L'/', &paths);
    free(widePath);
    if (!built) return;
    // A directory that is not UTF-8 does not survive the trip through
    // wchar_t; a path to another file is worse than none.
    Text directory;
    AppendUtf8(&directory, paths.directory);
    if (strncmp(directory.c_str(), exePath, directory.size()) != 0 ||
        exePath[directory.size()] != '/') {
        return;
    }
    AppendUtf8(out, paths.infPath);
#endif
}

int LoadModelList(const char* path, ModelListBuffer* out, char error[512]) {
#ifdef _WIN32
    // The tool's own read, which also decides the file's encoding (UTF-16
    // or the ANSI code page). A relative path would be looked for in the
    // Windows directory, so it is made full first.
    wchar_t* wide = WideFromUtf8(path);
    wchar_t full[MAX_PATH];
    DWORD fullLength = wide != nullptr ? GetFullPathNameW(wide, MAX_PATH, full, nullptr) : 0;
    free(wide);
    if (fullLength == 0 || fullLength >= MAX_PATH ||
        GetFileAttributesW(full) == INVALID_FILE_ATTRIBUTES) {
        snprintf(error, 512, "cannot read the model list %s", path);
        return 0;
    }
    if (!NewList(out)) {
        snprintf(error, 512, "out of memory");
        return 0;
    }
    ReadModelListFile(full, out->list);
    return 1;
#else
    Owned<unsigned char> bytes;
    size_t size = 0;
    if (!ReadInfBytes(path, &bytes, &size, error)) return 0;
    Owned<wchar_t> text;
    if (!text.Allocate(size) || !NewList(out)) {
        snprintf(error, 512, "out of memory reading %s", path);
        return 0;
    }
    size_t length = DecodeInfText(bytes.get(), size, text.get());
    ReadModelSection(text.get(), length, out->list);
    return 1;
#endif
}
