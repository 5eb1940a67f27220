// Package paths, the settings block and the model list: plain logic.
#include "package_files.h"

#include <string.h>
#include <wchar.h>

namespace {

// Copies `count` characters of `text` and a terminator to `out` when they
// fit `outChars`; otherwise leaves `out` empty. Returns 1 when copied.
int AppendFits(wchar_t* out, size_t outChars, size_t used, const wchar_t* text) {
    size_t extra = wcslen(text);
    if (used + extra + 1 > outChars) return 0;
    memcpy(out + used, text, (extra + 1) * sizeof(wchar_t));
    return 1;
}

// out = directory + suffix, or empty when that does not fit.
int JoinPath(wchar_t (&out)[kPathChars], const wchar_t* directory, const wchar_t* suffix) {
    out[0] = L'\0';
    size_t length = wcslen(directory);
    if (length + 1 > kPathChars) return 0;
    memcpy(out, directory, length * sizeof(wchar_t));
    out[length] = L'\0';
    if (!AppendFits(out, kPathChars, length, suffix)) {
        out[0] = L'\0';
        return 0;
    }
    return 1;
}

}  // namespace

int BuildPackagePaths(const wchar_t* exePath, PackagePaths* paths) {
    memset(paths, 0, sizeof *paths);
    if (exePath == nullptr) return 0;
    size_t length = wcslen(exePath);
    if (length >= kPathChars) return 0;  // GetModuleFileNameW never gives more

    // The last backslash, from the end down to position 1.
    size_t cut = 0;
    for (size_t i = length; i >= 1; --i) {
        if (exePath[i] == L'\\') {
            cut = i;
            break;
        }
    }
    if (cut == 0) {
        // No directory: the INF path stays the executable's own path, and
        // the missing settings path makes the existence check fail.
        memcpy(paths->infPath, exePath, (length + 1) * sizeof(wchar_t));
        return 0;
    }
    memcpy(paths->directory, exePath, cut * sizeof(wchar_t));
    paths->directory[cut] = L'\0';

    int ok = JoinPath(paths->settingsPath, paths->directory, L"\\.dep");
    ok &= JoinPath(paths->manualPath, paths->directory, L"\\data\\说明书.docx");
    ok &= JoinPath(paths->infPath, paths->directory, L"\\data\\oemprnt.inf");
    return ok;
}

void DecodeSettingsBlock(const unsigned char* bytes, size_t size, SettingsBlock* block) {
    unsigned char raw[kSettingsBlockBytes] = {0};
    if (bytes != nullptr) memcpy(raw, bytes, size < sizeof raw ? size : sizeof raw);
    for (int i = 0; i < kSettingsValues; ++i) {
        const unsigned char* p = raw + 4 * i;
        uint32_t value =
            uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
        block->values[i] = int32_t(value);
    }
}

int NextModelLine(const wchar_t* list, size_t capacity, size_t* position, ModelLine* line) {
    size_t start = *position;
    if (list == nullptr || start >= capacity || list[start] == L'\0') return 0;
    size_t end = start;
    while (end < capacity && list[end] != L'\0') ++end;
    line->text = list + start;
    line->length = end - start;
    *position = end < capacity ? end + 1 : capacity;
    return 1;
}

namespace {

// Case-sensitive substring search within a line of known length; the line
// need not be terminated.
int LineContains(const ModelLine& line, const wchar_t* needle, size_t needleLength) {
    if (needleLength > line.length) return 0;
    // The first character is tested inline: most places differ there, and a
    // call per place dominated the search of a long list.
    const wchar_t first = needle[0];
    for (size_t i = 0; i + needleLength <= line.length; ++i) {
        if (line.text[i] == first && wmemcmp(line.text + i, needle, needleLength) == 0) return 1;
    }
    return 0;
}

}  // namespace

int ModelListContains(const wchar_t* list, size_t capacity, const wchar_t* needle) {
    // An empty name would be found in every line.
    if (needle == nullptr || needle[0] == L'\0') return 0;
    size_t needleLength = wcslen(needle);
    size_t position = 0;
    ModelLine line;
    while (NextModelLine(list, capacity, &position, &line)) {
        if (LineContains(line, needle, needleLength)) return 1;
    }
    return 0;
}
