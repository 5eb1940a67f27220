// Package files: the paths derived from the executable's location, the
// settings block read from ".dep" and the model list read from the INF.
// The first half is plain logic, built natively too; LoadPackageFiles and
// the process-wide package state are the Win32 layer's.
#pragma once

#include <stddef.h>
#include <stdint.h>

// Buffer sizes in wide characters, terminator included.
enum { kPathChars = 260 };
enum { kModelListBytes = 50000 };  // the model list buffer
enum { kModelListChars = 20000 };  // what one section read may fill
enum { kSettingsBlockBytes = 256, kSettingsValues = 64 };

struct PackagePaths {
    wchar_t directory[kPathChars];     // the executable's path cut at its last backslash
    wchar_t infPath[kPathChars];       // directory + "\data\oemprnt.inf"
    wchar_t settingsPath[kPathChars];  // directory + "\.dep"
    wchar_t manualPath[kPathChars];    // directory + "\data\说明书.docx"
};

// Fills `paths` from the executable's full path. The last backslash is
// searched from the end down to position 1 (position 0 is not examined).
// Without one, `directory` is empty, `infPath` holds the executable's path
// and `settingsPath` and `manualPath` are empty. A derived path that does
// not fit its buffer is left empty rather than cut (a cut path could name
// another file). Returns 1 when every path was built, else 0.
int BuildPackagePaths(const wchar_t* exePath, PackagePaths* paths);

// The settings block: 64 little-endian signed 32-bit values.
struct SettingsBlock {
    int32_t values[kSettingsValues];
};

// Decodes the first 256 bytes of a settings file. Bytes past `size` read as
// zero; bytes past 256 are ignored.
void DecodeSettingsBlock(const unsigned char* bytes, size_t size, SettingsBlock* block);

// A model list is a multi-string: zero-terminated lines ended by an empty
// line. `capacity` is the number of wide characters the buffer holds; the
// walk never reads past it, so an unterminated list ends at the buffer's end.
struct ModelLine {
    const wchar_t* text;  // not necessarily terminated when cut by capacity
    size_t length;
};

// Returns 1 and the line at `*position` (then advances it), or 0 at the end.
int NextModelLine(const wchar_t* list, size_t capacity, size_t* position, ModelLine* line);

// 1 when `needle` occurs case-sensitively inside one of the lines. An empty
// or null needle matches nothing.
int ModelListContains(const wchar_t* list, size_t capacity, const wchar_t* needle);

#ifdef _WIN32
// ---- Win32 layer --------------------------------------------------------

// Process-wide package state, filled once by LoadPackageFiles at window
// creation and unchanged afterwards. The model list buffer is kept until
// the process ends, since an installation thread may still search with it.
struct PackageState {
    PackagePaths paths;
    SettingsBlock settings;
    wchar_t* modelList;  // kModelListBytes, an empty list when unread
    int complete;        // 0 after "文件不全"
};
extern PackageState Package;

// Builds the paths, checks the INF and ".dep", reads both (showing
// "文件不全" when one is missing) and makes a first printer search.
void LoadPackageFiles();

// The same for an executable at `exePath`; LoadPackageFiles passes the
// tool's own path. Tests load packages they lay out themselves.
void LoadPackageFilesFrom(const wchar_t* exePath);

#endif
