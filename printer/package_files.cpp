// Package paths, the settings block and the model list: plain logic.
#include "printer/package_files.h"

#include "printer/settings_command.h"

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

// out = directory + suffix, with each backslash of the suffix replaced by
// `separator`, or empty when that does not fit.
int JoinPath(wchar_t (&out)[kPathChars], const wchar_t* directory, const wchar_t* suffix,
             wchar_t separator) {
    out[0] = L'\0';
    wchar_t joined[kPathChars];
    size_t suffixLength = wcslen(suffix);
    if (suffixLength + 1 > kPathChars) return 0;
    for (size_t i = 0; i <= suffixLength; ++i)
        joined[i] = suffix[i] == L'\\' ? separator : suffix[i];
    size_t length = wcslen(directory);
    if (length + 1 > kPathChars) return 0;
    memcpy(out, directory, length * sizeof(wchar_t));
    out[length] = L'\0';
    if (!AppendFits(out, kPathChars, length, joined)) {
        out[0] = L'\0';
        return 0;
    }
    return 1;
}

}  // namespace

int BuildPackagePaths(const wchar_t* exePath, PackagePaths* paths) {
    return BuildPackagePathsWith(exePath, L'\\', paths);
}

int BuildPackagePathsWith(const wchar_t* exePath, wchar_t separator, PackagePaths* paths) {
    memset(paths, 0, sizeof *paths);
    if (exePath == nullptr) return 0;
    size_t length = wcslen(exePath);
    if (length >= kPathChars) return 0;  // GetModuleFileNameW never gives more

    // The last separator, from the end down to position 1.
    size_t cut = 0;
    for (size_t i = length; i >= 1; --i) {
        if (exePath[i] == separator) {
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

    int ok = JoinPath(paths->settingsPath, paths->directory, L"\\.dep", separator);
    ok &= JoinPath(paths->manualPath, paths->directory, L"\\data\\说明书.docx", separator);
    ok &= JoinPath(paths->infPath, paths->directory, L"\\data\\oemprnt.inf", separator);
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

// ---- The model section, read as GetPrivateProfileSectionW reads it -------

namespace {

// Appends code point `c` as one wchar_t, or as a surrogate pair where
// wchar_t is 16 bits wide.
size_t PutCodePoint(uint32_t c, wchar_t* out) {
    if (sizeof(wchar_t) == 2 && c >= 0x10000) {
        c -= 0x10000;
        out[0] = wchar_t(0xD800 + (c >> 10));
        out[1] = wchar_t(0xDC00 + (c & 0x3FF));
        return 2;
    }
    out[0] = wchar_t(c);
    return 1;
}

size_t DecodeUtf16(const unsigned char* bytes, size_t size, bool little, wchar_t* out) {
    size_t n = 0;
    for (size_t i = 0; i + 1 < size; i += 2) {
        uint32_t unit = little ? bytes[i] | bytes[i + 1] << 8 : bytes[i] << 8 | bytes[i + 1];
        // A pair is one code point where wchar_t is 32 bits wide.
        if (sizeof(wchar_t) == 4 && unit >= 0xD800 && unit <= 0xDBFF && i + 3 < size) {
            uint32_t low =
                little ? bytes[i + 2] | bytes[i + 3] << 8 : bytes[i + 2] << 8 | bytes[i + 3];
            if (low >= 0xDC00 && low <= 0xDFFF) {
                unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            }
        }
        out[n++] = wchar_t(unit);
    }
    return n;
}

// The length of the well-formed UTF-8 sequence at `p` (overlong forms and
// surrogates are not), with its code point; 0 when there is none.
size_t Utf8Sequence(const unsigned char* p, size_t left, uint32_t* c) {
    unsigned char lead = p[0];
    size_t extra = lead >= 0xC2 && lead <= 0xDF   ? 1
                   : lead >= 0xE0 && lead <= 0xEF ? 2
                   : lead >= 0xF0 && lead <= 0xF4 ? 3
                                                  : 0;
    if (extra == 0 || extra >= left) return 0;
    uint32_t value = lead & (0x3F >> extra);
    for (size_t k = 1; k <= extra; ++k) {
        if ((p[k] & 0xC0) != 0x80) return 0;
        value = value << 6 | (p[k] & 0x3F);
    }
    static const uint32_t kSmallest[4] = {0, 0x80, 0x800, 0x10000};
    if (value < kSmallest[extra] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return 0;
    *c = value;
    return extra + 1;
}

// `strict`: a byte that is no UTF-8 becomes U+FFFD (a file marked UTF-8),
// else it reads as Latin-1 (an unmarked file, the ANSI code page's place).
size_t DecodeUtf8(const unsigned char* bytes, size_t size, bool strict, wchar_t* out) {
    size_t n = 0;
    for (size_t i = 0; i < size;) {
        uint32_t c = bytes[i];
        size_t used = c < 0x80 ? 1 : Utf8Sequence(bytes + i, size - i, &c);
        if (used == 0) {
            c = strict ? 0xFFFD : bytes[i];
            used = 1;
        }
        n += PutCodePoint(c, out + n);
        i += used;
    }
    return n;
}

bool IsProfileBlank(wchar_t c) { return c == L' ' || (c >= 0x09 && c <= 0x0D) || c == 0x1A; }

wchar_t AsciiLower(wchar_t c) { return c >= L'A' && c <= L'Z' ? wchar_t(c - L'A' + L'a') : c; }

struct Span {
    const wchar_t* text;
    size_t length;
};

Span TrimStart(Span s) {
    while (s.length > 0 && IsProfileBlank(s.text[0])) ++s.text, --s.length;
    return s;
}

Span TrimEnd(Span s) {
    while (s.length > 0 && IsProfileBlank(s.text[s.length - 1])) --s.length;
    return s;
}

// The name of a section header line (already trimmed), or false when the
// line is none: '[' and the last ']' after it.
bool HeaderName(Span line, Span* name) {
    if (line.length == 0 || line.text[0] != L'[') return false;
    size_t close = line.length - 1;
    while (close > 0 && line.text[close] != L']') --close;
    if (close == 0) return false;
    *name = TrimEnd(TrimStart(Span{line.text + 1, close - 1}));
    return true;
}

bool SameSectionName(Span name, const wchar_t* section) {
    size_t length = wcslen(section);
    if (name.length != length) return false;
    for (size_t i = 0; i < length; ++i) {
        if (AsciiLower(name.text[i]) != AsciiLower(section[i])) return false;
    }
    return true;
}

struct Entry {
    Span name;
    Span value;
    bool hasValue;
};

Entry SplitEntry(Span line) {
    size_t equals = 0;
    while (equals < line.length && line.text[equals] != L'=') ++equals;
    if (equals == line.length) return Entry{line, Span{nullptr, 0}, false};
    Span name = TrimEnd(Span{line.text, equals});
    Span value = TrimStart(Span{line.text + equals + 1, line.length - equals - 1});
    return Entry{name, value, true};
}

// Writes the multi-string, keeping the first size - 2 characters of it.
class SectionWriter {
  public:
    SectionWriter(wchar_t* buffer, size_t size) : buffer_(buffer), size_(size) {}
    SectionWriter(const SectionWriter&) = delete;
    SectionWriter& operator=(const SectionWriter&) = delete;

    void Put(wchar_t c) {
        if (size_ >= 2 && total_ < size_ - 2) buffer_[total_] = c;
        ++total_;
    }
    // Copied as a C string: up to the first NUL.
    void PutString(Span s) {
        for (size_t i = 0; i < s.length && s.text[i] != L'\0'; ++i) Put(s.text[i]);
    }
    bool Full() const { return size_ < 2 || total_ > size_ - 2; }
    size_t Finish() {
        if (size_ < 2) {
            // The real call returns size - 2 here, a count of 4 billion.
            if (size_ == 1) buffer_[0] = L'\0';
            return 0;
        }
        size_t kept = total_ <= size_ - 2 ? total_ : size_ - 2;
        buffer_[kept] = L'\0';
        buffer_[kept + 1] = L'\0';
        return kept;
    }

  private:
    wchar_t* buffer_;
    size_t size_;
    size_t total_ = 0;
};

// Tracks the Windows rule that drops an empty-named entry following
// another one, and writes the entries that are returned.
class SectionEntries {
  public:
    explicit SectionEntries(SectionWriter* writer) : writer_(writer) {}
    SectionEntries(const SectionEntries&) = delete;
    SectionEntries& operator=(const SectionEntries&) = delete;

    void Restart() { havePrevious_ = false; }
    void Add(Span line) {
        Entry entry = SplitEntry(line);
        wchar_t first = entry.name.length > 0 ? entry.name.text[0] : L'\0';
        if (entry.name.length == 0 && havePrevious_ && previousFirst_ == L'\0') return;
        havePrevious_ = true;
        previousFirst_ = first;
        if (first == L';') return;                      // a comment
        if (first == L'\0' && !entry.hasValue) return;  // nothing before a NUL
        writer_->PutString(entry.name);
        if (entry.hasValue) {
            writer_->Put(L'=');
            writer_->PutString(entry.value);
        }
        writer_->Put(L'\0');
    }

  private:
    SectionWriter* writer_;
    bool havePrevious_ = false;
    wchar_t previousFirst_ = L'\0';
};

}  // namespace

size_t DecodeInfText(const unsigned char* bytes, size_t size, wchar_t* out) {
    if (bytes == nullptr) return 0;
    if (size >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE)
        return DecodeUtf16(bytes + 2, size - 2, true, out);
    if (size >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF)
        return DecodeUtf16(bytes + 2, size - 2, false, out);
    if (size >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF)
        return DecodeUtf8(bytes + 3, size - 3, true, out);
    return DecodeUtf8(bytes, size, false, out);
}

size_t ReadProfileSection(const wchar_t* text, size_t length, const wchar_t* section,
                          wchar_t* buffer, size_t size) {
    SectionWriter writer(buffer, size);
    SectionEntries entries(&writer);
    if (text == nullptr || section == nullptr) return writer.Finish();
    // Lines before the first header are the section with the empty name.
    bool inside = section[0] == L'\0';
    size_t start = 0;
    while (start < length && !writer.Full()) {
        size_t end = start;
        while (end < length && text[end] != L'\r' && text[end] != L'\n') ++end;
        Span line = TrimEnd(TrimStart(Span{text + start, end - start}));
        start = end + 1;
        Span name;
        if (line.length == 0) continue;
        if (HeaderName(line, &name)) {
            // Only the first section of the name counts.
            if (inside) break;
            inside = SameSectionName(name, section);
            entries.Restart();
        } else if (inside) {
            entries.Add(line);
        }
    }
    return writer.Finish();
}

size_t ReadModelSection(const wchar_t* text, size_t length, wchar_t list[kModelListChars]) {
    wchar_t section[5];
    BuildInfSectionWord(section);
    return ReadProfileSection(text, length, section, list, kModelListChars);
}
