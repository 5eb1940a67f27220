// tavoctl's entry point: arguments to UTF-8, then the front end.
#include <stdio.h>
#include <stdlib.h>

#include "cli/spooler.h"
#include "cli/tavoctl.h"
#include "cli/text.h"
#ifdef _WIN32
#include "platform/system_libraries.h"
#endif

namespace {

int Run(int argc, const char* const* argv) {
    Output out = {stdout, nullptr};
    Output err = {stderr, nullptr};
    int code = RunTavoctl(argc, argv, &out, &err, CreateSpooler);
    fflush(stdout);
    return code;
}

}  // namespace

#ifdef _WIN32
// The spooler's library cannot be loaded from System32: the spooler is
// unreachable, exit code 4.
static void ReportMissingLibrary(const char* library, const char* function) {
    fprintf(stderr, "tavoctl: cannot load %s%s%s from System32\n", function ? function : "",
            function ? " of " : "", library ? library : "?");
    fflush(stderr);
    exit(kExitUnreachable);
}

// Arguments arrive as UTF-16 and are handed on as UTF-8, so Chinese labels
// typed at any code page reach the front end intact.
int wmain(int argc, wchar_t** argv) {
    // Before anything else can load a library.
    RestrictDllSearchToSystem32(ReportMissingLibrary);
    enum { kMaxArgs = 1024 };
    if (argc > kMaxArgs) argc = kMaxArgs;
    static Text texts[kMaxArgs];
    static const char* args[kMaxArgs];
    for (int i = 1; i < argc; ++i) {
        AppendUtf8(&texts[i], argv[i]);
        args[i - 1] = texts[i].c_str();
    }
    return Run(argc > 0 ? argc - 1 : 0, args);
}
#else
int main(int argc, char** argv) { return Run(argc > 0 ? argc - 1 : 0, argv + 1); }
#endif
