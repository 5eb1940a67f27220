// Reading the model section of the package INF.
#include "model_list.h"

#include <errno.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include "settings_command.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

ModelListBuffer::~ModelListBuffer() { free(list); }

namespace {

// Decodes the whole file into UTF-32 code points (one per element).
uint32_t* DecodeInf(const unsigned char* bytes, size_t size, size_t* count) {
    uint32_t* chars = static_cast<uint32_t*>(malloc((size + 1) * sizeof(uint32_t)));
    if (chars == nullptr) return nullptr;
    size_t n = 0;
    if (size >= 2 &&
        ((bytes[0] == 0xFF && bytes[1] == 0xFE) || (bytes[0] == 0xFE && bytes[1] == 0xFF))) {
        bool little = bytes[0] == 0xFF;
        for (size_t i = 2; i + 1 < size; i += 2) {
            uint32_t unit = little ? bytes[i] | bytes[i + 1] << 8 : bytes[i] << 8 | bytes[i + 1];
            if (unit >= 0xD800 && unit <= 0xDBFF && i + 3 < size) {
                uint32_t low =
                    little ? bytes[i + 2] | bytes[i + 3] << 8 : bytes[i + 2] << 8 | bytes[i + 3];
                if (low >= 0xDC00 && low <= 0xDFFF) {
                    unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
                    i += 2;
                }
            }
            chars[n++] = unit;
        }
    } else {
        size_t i = size >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF ? 3 : 0;
        while (i < size) {
            uint32_t c = bytes[i];
            size_t extra = c >= 0xF0 && c < 0xF8 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
            if (c >= 0xF8) extra = 0;
            bool valid = extra > 0;
            uint32_t value = c & (0x3F >> extra);
            for (size_t k = 1; valid && k <= extra; ++k) {
                if (i + k >= size || (bytes[i + k] & 0xC0) != 0x80)
                    valid = false;
                else
                    value = value << 6 | (bytes[i + k] & 0x3F);
            }
            if (valid) {
                chars[n++] = value;
                i += extra + 1;
            } else {
                chars[n++] = c;  // Latin-1 for a byte that is not UTF-8
                ++i;
            }
        }
    }
    *count = n;
    return chars;
}

bool IsBlank(uint32_t c) { return c == ' ' || c == '\t' || c == '\r' || c == 0xFEFF; }

uint32_t Lower(uint32_t c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; }

}  // namespace

int ParseInfSection(const unsigned char* bytes, size_t size, const wchar_t* section,
                    ModelListBuffer* out) {
    free(out->list);
    out->list = nullptr;
    out->capacity = 0;
    size_t count = 0;
    uint32_t* chars = DecodeInf(bytes, size, &count);
    if (chars == nullptr) return 0;
    // Every character, a terminator per line and two closing zeros fit in
    // count + 2 code points, each at most two UTF-16 units.
    size_t capacity = 2 * count + 4;
    out->list = static_cast<wchar_t*>(calloc(capacity, sizeof(wchar_t)));
    if (out->list == nullptr) {
        free(chars);
        return 0;
    }
    out->capacity = capacity;
    size_t written = 0;
    bool inSection = false, found = false;
    size_t sectionLength = wcslen(section);
    size_t i = 0;
    while (i < count) {
        size_t end = i;
        while (end < count && chars[end] != '\n') ++end;
        size_t start = i, stop = end;
        while (start < stop && IsBlank(chars[start])) ++start;
        while (stop > start && IsBlank(chars[stop - 1])) --stop;
        i = end + 1;
        if (start == stop || chars[start] == ';') continue;
        if (chars[start] == '[') {
            size_t close = start + 1;
            while (close < stop && chars[close] != ']') ++close;
            bool same = close - start - 1 == sectionLength;
            for (size_t k = 0; same && k < sectionLength; ++k) {
                same = Lower(chars[start + 1 + k]) == Lower(uint32_t(section[k]));
            }
            inSection = same && close < stop;
            found |= inSection;
            continue;
        }
        if (!inSection) continue;
        for (size_t k = start; k < stop; ++k) {
            uint32_t c = chars[k];
            if (c == 0) c = 0xFFFD;
            if (sizeof(wchar_t) == 2 && c >= 0x10000) {
                c -= 0x10000;
                out->list[written++] = wchar_t(0xD800 + (c >> 10));
                out->list[written++] = wchar_t(0xDC00 + (c & 0x3FF));
            } else {
                out->list[written++] = wchar_t(c);
            }
        }
        out->list[written++] = L'\0';
    }
    out->list[written] = L'\0';
    free(chars);
    return found ? 1 : 0;
}

void DefaultInfPath(Text* out) {
    out->Clear();
#ifdef _WIN32
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    while (length > 0 && path[length - 1] != L'\\') --length;
    path[length] = L'\0';
    AppendUtf8(out, path);
    out->Append("data\\oemprnt.inf");
#else
    char path[4096];
    ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return;
    path[length] = '\0';
    char* slash = strrchr(path, '/');
    if (slash == nullptr) return;
    slash[1] = '\0';
    out->Append(path);
    out->Append("data/oemprnt.inf");
#endif
}

int LoadModelList(const char* path, ModelListBuffer* out, char error[512]) {
    wchar_t section[5];
    BuildInfSectionWord(section);
#ifdef _WIN32
    // The tool reads the section with GetPrivateProfileSectionW, which also
    // decides the file's encoding (UTF-16 or the ANSI code page); the same
    // read keeps the two programs in agreement. A relative path would be
    // looked for in the Windows directory, so it is made full first.
    wchar_t* wide = WideFromUtf8(path);
    wchar_t full[MAX_PATH];
    DWORD fullLength = wide != nullptr ? GetFullPathNameW(wide, MAX_PATH, full, nullptr) : 0;
    free(wide);
    if (fullLength == 0 || fullLength >= MAX_PATH ||
        GetFileAttributesW(full) == INVALID_FILE_ATTRIBUTES) {
        snprintf(error, 512, "cannot read the model list %s", path);
        return 0;
    }
    free(out->list);
    out->capacity = kModelListChars + 2;
    out->list = static_cast<wchar_t*>(calloc(out->capacity, sizeof(wchar_t)));
    if (out->list == nullptr) {
        out->capacity = 0;
        snprintf(error, 512, "out of memory");
        return 0;
    }
    GetPrivateProfileSectionW(section, out->list, kModelListChars, full);
    return 1;
#else
    FILE* file = fopen(path, "rb");
    if (file == nullptr) {
        snprintf(error, 512, "cannot read the model list %s: %s", path, strerror(errno));
        return 0;
    }
    unsigned char* bytes = nullptr;
    size_t size = 0, capacity = 0;
    unsigned char chunk[4096];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, file)) > 0 && size < (16u << 20)) {
        if (size + got > capacity) {
            capacity = capacity == 0 ? 65536 : capacity * 2;
            unsigned char* grown = static_cast<unsigned char*>(realloc(bytes, capacity));
            if (grown == nullptr) break;
            bytes = grown;
        }
        memcpy(bytes + size, chunk, got);
        size += got;
    }
    fclose(file);
    ParseInfSection(bytes, size, section, out);
    free(bytes);
    if (out->list == nullptr) {
        snprintf(error, 512, "out of memory reading %s", path);
        return 0;
    }
    return 1;
#endif
}
