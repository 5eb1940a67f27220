// Files that commands read and write, named in UTF-8 on every platform.
#pragma once

#include <stddef.h>
#include <stdio.h>

// fopen with a UTF-8 path (Windows: through the wide-character call).
FILE* OpenFile(const char* path, const char* mode);

// An owned malloc block of bytes.
struct Bytes {
    unsigned char* data = nullptr;
    size_t size = 0;
    Bytes() = default;
    ~Bytes();
    Bytes(const Bytes&) = delete;
    Bytes& operator=(const Bytes&) = delete;
};

// Reads a whole file, or standard input for "-", up to `limit` bytes (the
// rest is counted in *total but not kept). 1 on success; 0 with `error`
// filled otherwise.
int ReadAll(const char* path, size_t limit, Bytes* bytes, size_t* total, char error[256]);
