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

// The same rule with another directory separator, which also joins the
// derived paths: tavoctl on Linux passes '/'.
int BuildPackagePathsWith(const wchar_t* exePath, wchar_t separator, PackagePaths* paths);

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

// ---- The INF's model section, read as GetPrivateProfileSectionW reads it --
//
// The tool reads the model list with GetPrivateProfileSectionW(section,
// list, kModelListChars, inf). Where that call does not exist (tavoctl on
// Linux) ReadProfileSection gives the same buffer, by these rules (checked
// against the real call under Wine, tests/core/package_files_test.cpp):
//
// Text. A file starting FF FE is UTF-16LE, FE FF UTF-16BE, EF BB BF UTF-8;
//   the mark itself is no text (a second mark is). Without a mark Windows
//   uses the ANSI code page, which only Windows knows; DecodeInfText reads
//   such a file as UTF-8 and a byte that is not UTF-8 as Latin-1, so only
//   ASCII reads alike there.
// Lines. CR, LF and CRLF each end a line. Blanks are space, 09-0D and 1A
//   (DOS end of file); U+00A0 and U+3000 are not. Each line is trimmed of
//   blanks at both ends; a line left empty is skipped.
// Sections. A line starting '[' that has a ']' later is a header: the name
//   is what lies between the '[' and the LAST ']', trimmed; text after that
//   ']' is ignored. A '[' line without ']' is an ordinary line. Names match
//   with ASCII letter case ignored. Only the first section of the name is
//   read: a later one of the same name adds nothing. Lines before the first
//   header belong to a section with the empty name.
// Entries. At the first '=', the name is trimmed at its end and the value at
//   its start, so "  a b = c d " gives "a b=c d". A line without '=' is
//   returned as it is ("d"). Quotes are kept; ';' starts a comment only as
//   the line's first character after the blanks, so "a=1 ; x" and "# x" are
//   returned whole. An entry with an empty name ("=x", or "=" which gives
//   "=") is dropped when the entry before it in the section (comments
//   count) also had an empty name. Lines are copied as C strings: a NUL
//   character cuts the name and the value each where it stands
//   ("ab<NUL>c=1" gives "ab=1"), and a line starting with NUL and no '='
//   gives nothing.
// Buffer. The entries go out as a multi-string: each one and a terminator,
//   then one more terminator. When all of it fits in `size` - 1 characters
//   (size - 2 of text and terminators, one closing NUL), the count returned
//   is its length without that closing NUL. Otherwise the first size - 2
//   characters are kept (the entry being written is cut, even inside its
//   name), two NULs follow, and size - 2 is returned: an exact fit (total
//   length size - 1) counts as cut too. A missing or empty section gives 0
//   and an empty list.
// Where the Windows call is unsafe this one is not: with size 1 the real
//   call returns 0xFFFFFFFF and with size 0 it still writes one NUL; here
//   size 0 writes nothing and size 1 only the NUL, and both return 0.
// The count is in wchar_t units: UTF-16 on Windows, code points on Linux,
//   so only a character past U+FFFF is counted once here and twice there.

// Decodes an INF file's bytes. `out` holds at least `size` characters
// (never more are needed); returns how many were written.
size_t DecodeInfText(const unsigned char* bytes, size_t size, wchar_t* out);

// Copies section `section` of `text` (`length` characters, NULs allowed)
// into `buffer` of `size` characters, as described above.
size_t ReadProfileSection(const wchar_t* text, size_t length, const wchar_t* section,
                          wchar_t* buffer, size_t size);

// The tool's read: the build's section word into a list of kModelListChars.
size_t ReadModelSection(const wchar_t* text, size_t length, wchar_t list[kModelListChars]);

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

// The model list of the INF at `infPath` (a full path: a relative one is
// looked for in the Windows directory): the build's section word read with
// GetPrivateProfileSectionW, an empty list when that fails. The tool's read
// and tavoctl's on Windows.
void ReadModelListFile(const wchar_t* infPath, wchar_t list[kModelListChars]);

#endif
