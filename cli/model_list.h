// The model list for tavoctl: the lines of the package INF's model section,
// as the multi-string that the core's ModelListContains walks, read as the
// tool reads it (GetPrivateProfileSectionW on Windows, the core's
// ReadModelSection elsewhere) into a buffer of the same size.
#pragma once

#include <stddef.h>

#include "cli/text.h"

// An owned multi-string (zero-terminated lines, ended by an empty line).
struct ModelListBuffer {
    wchar_t* list = nullptr;
    size_t capacity = 0;  // in wide characters
    ModelListBuffer() = default;
    ~ModelListBuffer();
    ModelListBuffer(const ModelListBuffer&) = delete;
    ModelListBuffer& operator=(const ModelListBuffer&) = delete;
};

// Where the INF is by default: the core's BuildPackagePaths from the
// running program's path, as the tool finds its own (data\oemprnt.inf
// beside it; data/oemprnt.inf on Linux). Empty when that path cannot be
// built.
void DefaultInfPath(Text* out);

// Reads the model section (the build's INF section word) of the INF at
// `path` (UTF-8). Returns 1 on success; 0 with `error` filled when the file
// cannot be read (a missing section gives an empty list and 1).
int LoadModelList(const char* path, ModelListBuffer* out, char error[512]);
