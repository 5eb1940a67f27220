// The model list read from the INF, the one read of the tool and tavoctl on
// Windows (package_files.h). A file of its own, so that tavoctl links it
// without the rest of the package loading.
#include <windows.h>

#include "printer/package_files.h"
#include "printer/settings_command.h"

void ReadModelListFile(const wchar_t* infPath, wchar_t list[kModelListChars]) {
    // A read that fails may leave the buffer untouched: start from an empty
    // list so no stale memory passes for one.
    list[0] = L'\0';
    list[1] = L'\0';
    wchar_t section[5];
    BuildInfSectionWord(section);
    GetPrivateProfileSectionW(section, list, kModelListChars, infPath);
}
