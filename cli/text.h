// Text for tavoctl: a growable UTF-8 buffer, conversions between UTF-8 and
// wchar_t (UTF-16 with surrogate pairs on Windows, UTF-32 elsewhere), JSON
// string escaping and the output sinks. Plain malloc, no exceptions, so the
// Windows build stays small.
#pragma once

#include <stdarg.h>
#include <stddef.h>
#include <stdio.h>

// A growable byte buffer, always zero-terminated. A failed allocation marks
// the buffer as broken (`ok()` false) instead of throwing.
class Text {
  public:
    Text() = default;
    ~Text();
    Text(const Text&) = delete;
    Text& operator=(const Text&) = delete;

    void Append(const char* text);
    void Append(const char* bytes, size_t size);
    void AppendChar(char c);
    void Format(const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;
    void FormatV(const char* format, va_list args);
    void Clear();
    const char* c_str() const { return data_ != nullptr ? data_ : ""; }
    size_t size() const { return size_; }
    bool ok() const { return !broken_; }

  private:
    bool Reserve(size_t extra);
    char* data_ = nullptr;
    size_t size_ = 0;
    size_t capacity_ = 0;
    bool broken_ = false;
};

// Appends the UTF-8 form of `text` (wchar_t: UTF-16 on Windows, UTF-32
// elsewhere). A lone surrogate or a value past U+10FFFF becomes U+FFFD.
void AppendUtf8(Text* out, const wchar_t* text);
void AppendUtf8(Text* out, const wchar_t* text, size_t length);
// Replaces the contents of `out` with the UTF-8 form of `text`.
void ToUtf8(const wchar_t* text, Text* out);

// Decodes UTF-8 into a freshly allocated wide string (free() it); malformed
// sequences become U+FFFD. Returns null only when memory runs out.
wchar_t* WideFromUtf8(const char* text);

// Appends `text` (UTF-8) as a JSON string literal, quotes included.
void AppendJsonString(Text* out, const char* text);

// Where the commands write. A sink is a stdio stream or, in tests, a Text.
struct Output {
    FILE* stream;  // stdout or stderr, or null
    Text* buffer;  // used when stream is null
};
void Write(Output* out, const char* text);
void Print(Output* out, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;
