// Which installer to run and its command line.
#include "printer/install_run.h"

#include <stdint.h>
#include <string.h>
#include <wchar.h>

const wchar_t* InstallerRelativePath(int isWow64) {
    return isWow64 ? L"data\\install64.exe" : L"data\\install32.exe";
}

int BuildInstallerPath(const wchar_t* packageDirectory, int isWow64, wchar_t* out,
                       size_t outChars) {
    if (outChars == 0) return 0;
    out[0] = L'\0';
    if (packageDirectory == nullptr || packageDirectory[0] == L'\0') return 0;
    const wchar_t* relative = InstallerRelativePath(isWow64);
    size_t directoryLength = wcslen(packageDirectory);
    size_t relativeLength = wcslen(relative);
    if (directoryLength + 1 + relativeLength + 1 > outChars) return 0;
    memcpy(out, packageDirectory, directoryLength * sizeof(wchar_t));
    out[directoryLength] = L'\\';
    memcpy(out + directoryLength + 1, relative, (relativeLength + 1) * sizeof(wchar_t));
    return 1;
}

int BuildInstallerCommandLine(const wchar_t* word, const wchar_t* infPath, wchar_t* out,
                              size_t outChars) {
    if (outChars == 0) return 0;
    out[0] = L'\0';
    if (word == nullptr || infPath == nullptr) return 0;
    size_t wordLength = wcslen(word);
    size_t pathLength = wcslen(infPath);
    if (wordLength + 1 + pathLength + 1 > outChars) return 0;
    // A quote or a control character could end the argument early or add
    // one; Windows paths hold neither, so such a path is refused, not run.
    for (size_t i = 0; i < pathLength; ++i) {
        const uint32_t c = static_cast<uint32_t>(infPath[i]);
        if (c == L'"' || c < 0x20 || c == 0x7F) return 0;
    }
    for (size_t i = 0; i < wordLength; ++i) {
        if (word[i] <= L' ' || word[i] == L'"') return 0;
    }
    memcpy(out, word, wordLength * sizeof(wchar_t));
    out[wordLength] = L' ';
    wchar_t* path = out + wordLength + 1;
    for (size_t i = 0; i < pathLength; ++i) path[i] = infPath[i] == L' ' ? L'*' : infPath[i];
    path[pathLength] = L'\0';
    return 1;
}
