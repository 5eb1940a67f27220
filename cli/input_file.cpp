// Reading whole files and standard input; opening files by UTF-8 name.
#include "cli/input_file.h"

#include <errno.h>
#include <stdlib.h>
#include <string.h>

#include "cli/text.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

Bytes::~Bytes() { free(data); }

FILE* OpenFile(const char* path, const char* mode) {
#ifdef _WIN32
    // Arguments arrive as UTF-8; the C library's narrow names would take them
    // as the ANSI code page.
    wchar_t* widePath = WideFromUtf8(path);
    wchar_t* wideMode = WideFromUtf8(mode);
    FILE* file = widePath != nullptr && wideMode != nullptr ? _wfopen(widePath, wideMode) : nullptr;
    free(widePath);
    free(wideMode);
    return file;
#else
    return fopen(path, mode);
#endif
}

namespace {

FILE* OpenForReading(const char* path) {
    if (strcmp(path, "-") != 0) return OpenFile(path, "rb");
#ifdef _WIN32
    _setmode(_fileno(stdin), _O_BINARY);
#endif
    return stdin;
}

// Appends `size` bytes, growing the block by doubling. False when memory
// runs out.
bool AppendBytes(Bytes* bytes, size_t* capacity, const unsigned char* chunk, size_t size) {
    if (bytes->size + size > *capacity) {
        size_t wanted = *capacity == 0 ? 4096 : *capacity;
        while (wanted < bytes->size + size) wanted *= 2;
        unsigned char* grown = static_cast<unsigned char*>(realloc(bytes->data, wanted));
        if (grown == nullptr) return false;
        bytes->data = grown;
        *capacity = wanted;
    }
    memcpy(bytes->data + bytes->size, chunk, size);
    bytes->size += size;
    return true;
}

}  // namespace

int ReadAll(const char* path, size_t limit, Bytes* bytes, size_t* total, char error[256]) {
    FILE* file = OpenForReading(path);
    if (file == nullptr) {
        snprintf(error, 256, "cannot open %s: %s", path, strerror(errno));
        return 0;
    }
    size_t capacity = 0;
    *total = 0;
    unsigned char chunk[4096];
    size_t got;
    int ok = 1;
    while ((got = fread(chunk, 1, sizeof chunk, file)) > 0) {
        size_t keep = *total < limit ? (limit - *total < got ? limit - *total : got) : 0;
        if (keep > 0 && !AppendBytes(bytes, &capacity, chunk, keep)) {
            snprintf(error, 256, "out of memory reading %s", path);
            ok = 0;
            break;
        }
        *total += got;
    }
    if (ok && ferror(file)) {
        snprintf(error, 256, "cannot read %s", path);
        ok = 0;
    }
    if (file != stdin) fclose(file);
    return ok;
}
