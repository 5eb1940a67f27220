// Loading the package files: the paths beside the executable, the settings
// block from ".dep" and the model list from the INF, then a first search.
#include <windows.h>

#include <stdlib.h>
#include <string.h>

#include "app/texts.h"
#include "platform/scoped_win.h"
#include "printer/package_files.h"
#include "printer/printers.h"
#include "printer/settings_command.h"

PackageState Package;

namespace {

bool FileExists(const wchar_t* path) {
    // An empty path (one that could not be built) never exists.
    return path[0] != L'\0' && GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
}

// The first 256 bytes of the settings file; a file that does not open or
// read leaves every value 0, a shorter one leaves the rest 0.
void ReadSettingsBlock(const wchar_t* path, SettingsBlock* block) {
    unsigned char bytes[kSettingsBlockBytes];
    DWORD got = 0;
    FileHandle file(CreateFileW(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_RANDOM_ACCESS, nullptr));
    if (file.valid() && SetFilePointer(file.get(), 0, nullptr, FILE_BEGIN) == 0) {
        if (!ReadFile(file.get(), bytes, sizeof bytes, &got, nullptr)) got = 0;
    }
    DecodeSettingsBlock(bytes, got, block);
}

}  // namespace

void LoadPackageFilesFrom(const wchar_t* exePath) {
    Package.complete = 0;
    memset(&Package.settings, 0, sizeof Package.settings);
    memset(&Package.paths, 0, sizeof Package.paths);
    // Zeroed once, so no walk over the buffer ever meets unwritten memory.
    // It stays allocated for the life of the process: an installation thread
    // may still be searching with it when the window goes.
    if (Package.modelList == nullptr) {
        Package.modelList = static_cast<wchar_t*>(calloc(1, kModelListBytes));
        if (Package.modelList == nullptr) return;
    }
    Package.modelList[0] = L'\0';
    Package.modelList[1] = L'\0';

    BuildPackagePaths(exePath, &Package.paths);
    if (!FileExists(Package.paths.infPath) || !FileExists(Package.paths.settingsPath)) {
        // Shown before the main window exists, so it has no owner. The
        // buffers are kept: the window goes on with no model, all settings
        // 0, and the paths as far as they were built for Install and Manual.
        MessageBoxW(nullptr, kTextFilesIncomplete, nullptr, MB_OK);
        return;
    }

    ReadSettingsBlock(Package.paths.settingsPath, &Package.settings);
    ReadModelListFile(Package.paths.infPath, Package.modelList);
    Package.complete = 1;
    FindOurPrinters(nullptr, 0);
}

void LoadPackageFiles() {
    // A path cut at the buffer's end (or no path) would name another file:
    // it is treated as no path at all, which shows "文件不全".
    wchar_t exePath[kPathChars];
    DWORD length = GetModuleFileNameW(nullptr, exePath, kPathChars);
    if (length == 0 || length >= kPathChars) exePath[0] = L'\0';
    LoadPackageFilesFrom(exePath);
}
