// The model list for tavoctl: the lines of the package INF's model section,
// as the multi-string that the core's ModelListContains walks.
#pragma once

#include <stddef.h>

#include "text.h"

// An owned multi-string (zero-terminated lines, ended by an empty line).
struct ModelListBuffer {
    wchar_t* list = nullptr;
    size_t capacity = 0;  // in wide characters
    ModelListBuffer() = default;
    ~ModelListBuffer();
    ModelListBuffer(const ModelListBuffer&) = delete;
    ModelListBuffer& operator=(const ModelListBuffer&) = delete;
};

// Collects the lines of section `section` (letter case ignored) from an INF
// file's bytes: UTF-16 with a byte order mark, or UTF-8 (with or without a
// mark; bytes that are not UTF-8 read as Latin-1). Lines are trimmed; blank
// lines and ';' comments are left out. Returns 1 when the section exists.
int ParseInfSection(const unsigned char* bytes, size_t size, const wchar_t* section,
                    ModelListBuffer* out);

// Where the INF is by default: data/oemprnt.inf beside the running program
// (data\oemprnt.inf on Windows). Empty when the program's path is unknown.
void DefaultInfPath(Text* out);

// Reads the model section (the build's INF section word) of the INF at
// `path` (UTF-8). Returns 1 on success; 0 with `error` filled when the file
// cannot be read (a missing section gives an empty list and 1).
int LoadModelList(const char* path, ModelListBuffer* out, char error[512]);
