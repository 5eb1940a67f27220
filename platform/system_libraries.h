// The system libraries of the shipped programs come from System32 only.
//
// A program of the package runs from wherever the package was unpacked:
// Downloads, a share, a self-extractor's temporary folder. Windows searches
// the program's own directory first for a library that is not a KnownDLL,
// so a planted gdiplus.dll, winmm.dll or winspool.drv there would run inside
// the program. Those three are delay-loaded (cmake/DelayLoad.cmake), and
// every program's entry point calls RestrictDllSearchToSystem32 first: from
// then on nothing is searched for anywhere but System32, and the
// delay-loaded libraries are loaded from there by this module's hook.
#pragma once

// What a program does when a system library or one of its functions cannot
// be loaded: it tells the user in its own way and ends. It must not return.
typedef void (*MissingSystemLibraryHandler)(const char* library, const char* function);

// First step of every entry point. SetDefaultDllDirectories
// (LOAD_LIBRARY_SEARCH_SYSTEM32) where the system has it; where it does not
// (Windows 7 without KB2533623) the current directory is taken off the
// search with SetDllDirectoryW(L"") and the delay-loaded libraries are loaded
// by their full System32 path. `handler` is called for a library or
// function that cannot be had; without one the process ends with
// STATUS_DLL_NOT_FOUND.
void RestrictDllSearchToSystem32(MissingSystemLibraryHandler handler);
