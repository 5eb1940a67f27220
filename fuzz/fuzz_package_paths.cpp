// Package paths from arbitrary executable paths (long ones, ones without a
// backslash, ones ending in one), and the installer's path and command line
// from them: every path stays inside its buffer and is terminated, and a
// derived path is either empty or exactly the directory and its suffix.
#include <stdint.h>
#include <string.h>
#include <wchar.h>

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <memory>
#include <string>

#include "fuzz_check.h"
#include "printer/install_run.h"
#include "printer/package_files.h"
#include "printer/settings_command.h"

namespace {

wchar_t PathUnit(FuzzedDataProvider& input) {
    static const wchar_t kCommon[] = {L'\\', L'a', L' ', L'\x8BF4', L':', L'.', L'"', L'\t', L'*'};
    uint8_t pick = input.ConsumeIntegral<uint8_t>();
    wchar_t unit = pick < 200 ? kCommon[pick % 9] : wchar_t(input.ConsumeIntegral<uint16_t>());
    return unit == L'\0' ? L'z' : unit;  // the path is a C string
}

size_t TerminatedLength(const wchar_t* buffer, size_t chars) {
    size_t n = 0;
    while (n < chars && buffer[n] != L'\0') ++n;
    FUZZ_CHECK(n < chars);
    return n;
}

// A derived path: directory + suffix when that fits with its terminator,
// else empty.
bool CheckDerived(const std::wstring& directory, const wchar_t* suffix, const wchar_t* buffer) {
    TerminatedLength(buffer, kPathChars);
    std::wstring intended = directory + suffix;
    if (intended.size() + 1 <= kPathChars) {
        FUZZ_CHECK(intended == buffer);
        return true;
    }
    FUZZ_CHECK(buffer[0] == L'\0');
    return false;
}

void CheckInstaller(const std::wstring& directory, const wchar_t* infPath, bool isWow64) {
    // Exactly sized heap buffers, so a write past them shows.
    std::unique_ptr<wchar_t[]> installer(new wchar_t[kPathChars]);
    int built = BuildInstallerPath(directory.c_str(), isWow64, installer.get(), kPathChars);
    std::wstring intended = directory + L"\\" + InstallerRelativePath(isWow64);
    bool fits = !directory.empty() && intended.size() + 1 <= kPathChars;
    FUZZ_CHECK(built == (fits ? 1 : 0));
    FUZZ_CHECK(fits ? intended == installer.get() : installer[0] == L'\0');

    wchar_t word[5];
    BuildInfSectionWord(word);
    std::unique_ptr<wchar_t[]> line(new wchar_t[kCommandLineChars]);
    int composed = BuildInstallerCommandLine(word, infPath, line.get(), kCommandLineChars);
    std::wstring path = infPath;
    bool clean = std::none_of(path.begin(), path.end(), [](wchar_t c) {
        return c == L'"' || (c >= 0 && c < 0x20) || c == 0x7F;
    });
    bool lineFits = 4 + 1 + path.size() + 1 <= kCommandLineChars;
    FUZZ_CHECK(composed == (clean && lineFits ? 1 : 0));
    TerminatedLength(line.get(), kCommandLineChars);
    if (composed) {
        std::replace(path.begin(), path.end(), L' ', L'*');
        FUZZ_CHECK(std::wstring(word) + L" " + path == line.get());
    } else {
        FUZZ_CHECK(line[0] == L'\0');
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    int shape = input.ConsumeIntegralInRange<int>(0, 3);
    bool isWow64 = input.ConsumeBool();

    std::wstring exe;
    if (shape == 1) {
        // A long directory near where the derived paths stop fitting.
        exe = L"C:\\" + std::wstring(input.ConsumeIntegralInRange<size_t>(225, 262), L'd');
    }
    size_t length = input.ConsumeIntegralInRange<size_t>(0, 600);
    for (size_t i = 0; i < length && input.remaining_bytes() > 0; ++i) exe += PathUnit(input);
    if (shape == 2) exe.erase(std::remove(exe.begin(), exe.end(), L'\\'), exe.end());
    if (shape == 3) exe += L'\\';

    std::unique_ptr<PackagePaths> paths(new PackagePaths);
    memset(paths.get(), 0x5A, sizeof *paths);
    int result = BuildPackagePaths(exe.c_str(), paths.get());

    TerminatedLength(paths->directory, kPathChars);
    TerminatedLength(paths->infPath, kPathChars);
    TerminatedLength(paths->settingsPath, kPathChars);
    TerminatedLength(paths->manualPath, kPathChars);

    if (exe.size() >= kPathChars) {
        // Longer than the system ever gives: nothing is built.
        FUZZ_CHECK(result == 0);
        FUZZ_CHECK(paths->directory[0] == 0 && paths->infPath[0] == 0);
        FUZZ_CHECK(paths->settingsPath[0] == 0 && paths->manualPath[0] == 0);
        return 0;
    }

    // The last backslash at position 1 or later.
    size_t cut = 0;
    for (size_t i = exe.size(); i-- > 1;) {
        if (exe[i] == L'\\') {
            cut = i;
            break;
        }
    }
    if (cut == 0) {
        FUZZ_CHECK(result == 0);
        FUZZ_CHECK(paths->directory[0] == 0);
        FUZZ_CHECK(exe == paths->infPath);
        FUZZ_CHECK(paths->settingsPath[0] == 0 && paths->manualPath[0] == 0);
        CheckInstaller(L"", paths->infPath, isWow64);
        return 0;
    }
    std::wstring directory = exe.substr(0, cut);
    FUZZ_CHECK(directory == paths->directory);
    bool all = CheckDerived(directory, L"\\data\\oemprnt.inf", paths->infPath);
    all &= CheckDerived(directory, L"\\.dep", paths->settingsPath);
    all &= CheckDerived(directory, L"\\data\\\x8BF4\x660E\x4E66.docx", paths->manualPath);
    FUZZ_CHECK(result == (all ? 1 : 0));
    CheckInstaller(directory, paths->infPath, isWow64);
    return 0;
}
