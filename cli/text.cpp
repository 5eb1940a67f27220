// UTF-8 text, wide-string conversion, JSON strings and output sinks.
#include "cli/text.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#ifdef _WIN32
#include <windows.h>
#endif

Text::~Text() { free(data_); }

bool Text::Reserve(size_t extra) {
    if (broken_) return false;
    if (size_ + extra + 1 <= capacity_) return true;
    size_t wanted = capacity_ < 64 ? 64 : capacity_;
    while (wanted < size_ + extra + 1) wanted *= 2;
    char* grown = static_cast<char*>(realloc(data_, wanted));
    if (grown == nullptr) {
        broken_ = true;
        return false;
    }
    data_ = grown;
    capacity_ = wanted;
    return true;
}

void Text::Append(const char* bytes, size_t size) {
    if (size == 0 || !Reserve(size)) return;
    memcpy(data_ + size_, bytes, size);
    size_ += size;
    data_[size_] = '\0';
}

void Text::Append(const char* text) { Append(text, strlen(text)); }

void Text::AppendChar(char c) { Append(&c, 1); }

void Text::FormatV(const char* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    char small[256];
    int needed = vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    if (needed < 0) return;
    if (size_t(needed) < sizeof small) {
        Append(small, size_t(needed));
        return;
    }
    if (!Reserve(size_t(needed))) return;
    vsnprintf(data_ + size_, size_t(needed) + 1, format, args);
    size_ += size_t(needed);
}

void Text::Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    FormatV(format, args);
    va_end(args);
}

void Text::Clear() {
    size_ = 0;
    if (data_ != nullptr) data_[0] = '\0';
}

namespace {

void AppendCodePoint(Text* out, uint32_t c) {
    char bytes[4];
    size_t n;
    if (c >= 0xD800 && c <= 0xDFFF) c = 0xFFFD;
    if (c > 0x10FFFF) c = 0xFFFD;
    if (c < 0x80) {
        bytes[0] = char(c);
        n = 1;
    } else if (c < 0x800) {
        bytes[0] = char(0xC0 | (c >> 6));
        bytes[1] = char(0x80 | (c & 0x3F));
        n = 2;
    } else if (c < 0x10000) {
        bytes[0] = char(0xE0 | (c >> 12));
        bytes[1] = char(0x80 | ((c >> 6) & 0x3F));
        bytes[2] = char(0x80 | (c & 0x3F));
        n = 3;
    } else {
        bytes[0] = char(0xF0 | (c >> 18));
        bytes[1] = char(0x80 | ((c >> 12) & 0x3F));
        bytes[2] = char(0x80 | ((c >> 6) & 0x3F));
        bytes[3] = char(0x80 | (c & 0x3F));
        n = 4;
    }
    out->Append(bytes, n);
}

// Reads one code point from UTF-8 at `*p`, advancing past it. Overlong forms,
// surrogates and truncated sequences give U+FFFD and skip one byte.
uint32_t NextCodePoint(const unsigned char** p) {
    const unsigned char* s = *p;
    uint32_t c = s[0];
    size_t n = 0;
    uint32_t minimum = 0;
    if (c < 0x80) {
        *p = s + 1;
        return c;
    } else if ((c & 0xE0) == 0xC0) {
        n = 1, c &= 0x1F, minimum = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
        n = 2, c &= 0x0F, minimum = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
        n = 3, c &= 0x07, minimum = 0x10000;
    } else {
        *p = s + 1;
        return 0xFFFD;
    }
    for (size_t i = 1; i <= n; ++i) {
        if ((s[i] & 0xC0) != 0x80) {  // also stops at the terminator
            *p = s + 1;
            return 0xFFFD;
        }
        c = (c << 6) | (s[i] & 0x3F);
    }
    *p = s + 1 + n;
    if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0xFFFD;
    return c;
}

}  // namespace

void AppendUtf8(Text* out, const wchar_t* text, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        uint32_t c = uint32_t(text[i]);
        if (sizeof(wchar_t) == 2) {
            c &= 0xFFFF;
            // A high surrogate followed by a low one is one code point; any
            // other surrogate stands alone and is replaced.
            if (c >= 0xD800 && c <= 0xDBFF && i + 1 < length) {
                uint32_t low = uint32_t(text[i + 1]) & 0xFFFF;
                if (low >= 0xDC00 && low <= 0xDFFF) {
                    c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                    ++i;
                }
            }
        }
        AppendCodePoint(out, c);
    }
}

void AppendUtf8(Text* out, const wchar_t* text) {
    if (text != nullptr) AppendUtf8(out, text, wcslen(text));
}

void ToUtf8(const wchar_t* text, Text* out) {
    out->Clear();
    AppendUtf8(out, text);
}

wchar_t* WideFromUtf8(const char* text) {
    if (text == nullptr) text = "";
    // Never more wide characters than bytes, even with surrogate pairs (a
    // four-byte sequence gives two UTF-16 units).
    size_t bytes = strlen(text);
    wchar_t* wide = static_cast<wchar_t*>(malloc((bytes + 1) * sizeof(wchar_t)));
    if (wide == nullptr) return nullptr;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    size_t n = 0;
    while (*p != 0) {
        uint32_t c = NextCodePoint(&p);
        if (sizeof(wchar_t) == 2 && c >= 0x10000) {
            c -= 0x10000;
            wide[n++] = wchar_t(0xD800 + (c >> 10));
            wide[n++] = wchar_t(0xDC00 + (c & 0x3FF));
        } else {
            wide[n++] = wchar_t(c);
        }
    }
    wide[n] = L'\0';
    return wide;
}

void AppendJsonString(Text* out, const char* text) {
    out->AppendChar('"');
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    while (*p != 0) {
        unsigned char c = *p;
        if (c == '"' || c == '\\') {
            out->AppendChar('\\');
            out->AppendChar(char(c));
            ++p;
        } else if (c < 0x20 || c == 0x7F) {
            out->Format("\\u%04x", c);
            ++p;
        } else if (c < 0x80) {
            out->AppendChar(char(c));
            ++p;
        } else {
            // Re-encoded so that malformed input still yields valid JSON.
            AppendCodePoint(out, NextCodePoint(&p));
        }
    }
    out->AppendChar('"');
}

void Write(Output* out, const char* text) {
    if (out->stream == nullptr) {
        if (out->buffer != nullptr) out->buffer->Append(text);
        return;
    }
#ifdef _WIN32
    // A console shows UTF-16 only when written as such; redirected output
    // (a pipe or a file) gets the UTF-8 bytes.
    HANDLE handle = GetStdHandle(out->stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode)) {
        wchar_t* wide = WideFromUtf8(text);
        if (wide != nullptr) {
            fflush(out->stream);
            DWORD written = 0;
            WriteConsoleW(handle, wide, DWORD(wcslen(wide)), &written, nullptr);
            free(wide);
            return;
        }
    }
#endif
    fputs(text, out->stream);
}

void Print(Output* out, const char* format, ...) {
    Text text;
    va_list args;
    va_start(args, format);
    text.FormatV(format, args);
    va_end(args);
    Write(out, text.c_str());
}
