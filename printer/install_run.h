// The installation run: which installer, its command line, and the worker
// thread that runs it and reports the result.
#pragma once

#include <stddef.h>

enum { kCommandLineChars = 500 };

// "data\install64.exe" on 64-bit Windows (a 32-bit process under WOW64),
// else "data\install32.exe".
const wchar_t* InstallerRelativePath(int isWow64);

// The installer's full path inside the package directory. 0 (and `out`
// empty) when the directory is empty or the path does not fit.
int BuildInstallerPath(const wchar_t* packageDirectory, int isWow64, wchar_t* out, size_t outChars);

// "<word> <INF path with every space as *>". 0 (and `out` empty) when the
// result does not fit `outChars`, or when the path holds a character that
// could split or extend the command line (a quote or a control character),
// which no Windows path contains.
int BuildInstallerCommandLine(const wchar_t* word, const wchar_t* infPath, wchar_t* out,
                              size_t outChars);

#ifdef _WIN32
// ---- Win32 layer --------------------------------------------------------
#include <windows.h>
DWORD WINAPI InstallThreadProc(LPVOID parameter);
void RunInstaller();
#endif
