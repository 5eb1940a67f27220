// Which printers are ours, and the name of the last one found.
#include "printer/printers.h"

#include <string.h>
#include <wchar.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <mutex>
#endif

#include "printer/package_files.h"

int IsSupportedDriver(const wchar_t* driver, const wchar_t* modelList, size_t capacity) {
    return ModelListContains(modelList, capacity, driver);
}

int IsSetToWorkOffline(uint32_t attributes) {
    return (attributes & kPrinterAttributeWorkOffline) != 0 ? 1 : 0;
}

int IsSupportedPrinter(const PrinterRecord& record, const wchar_t* modelList, size_t capacity) {
    if (IsSetToWorkOffline(record.attributes)) return 0;
    return IsSupportedDriver(record.driver, modelList, capacity);
}

int CountSupportedPrinters(const PrinterRecord* records, size_t count, const wchar_t* modelList,
                           size_t capacity, PrinterVisitor visit, void* context) {
    int found = 0;
    for (size_t i = 0; i < count; ++i) {
        const PrinterRecord& record = records[i];
        if (!IsSupportedPrinter(record, modelList, capacity)) continue;
        SetFoundPrinterName(record.name);
        if (visit != nullptr) visit(record.name, context);
        ++found;
    }
    return found;
}

namespace {

// The installation thread writes the name while painting reads it; a lock
// keeps a reader from seeing half of a name. It is one that sleeps: with a
// spin lock, on a single core the painting thread could burn its whole time
// slice waiting for a holder that cannot run. A slim reader/writer lock on
// Windows (no C++ runtime threads in the tool), a mutex elsewhere.
wchar_t FoundPrinterName[kFoundNameChars];
#ifdef _WIN32
SRWLOCK FoundPrinterNameGuard = SRWLOCK_INIT;

struct FoundNameLock {
    FoundNameLock() { AcquireSRWLockExclusive(&FoundPrinterNameGuard); }
    ~FoundNameLock() { ReleaseSRWLockExclusive(&FoundPrinterNameGuard); }
    FoundNameLock(const FoundNameLock&) = delete;
    FoundNameLock& operator=(const FoundNameLock&) = delete;
};
#else
std::mutex FoundPrinterNameGuard;

struct FoundNameLock {
    FoundNameLock() { FoundPrinterNameGuard.lock(); }
    ~FoundNameLock() { FoundPrinterNameGuard.unlock(); }
    FoundNameLock(const FoundNameLock&) = delete;
    FoundNameLock& operator=(const FoundNameLock&) = delete;
};
#endif

}  // namespace

void SetFoundPrinterName(const wchar_t* name) {
    if (name == nullptr) name = L"";
    size_t length = 0;
    while (length < kFoundNameChars - 1 && name[length] != L'\0') ++length;
    FoundNameLock lock;
    memcpy(FoundPrinterName, name, length * sizeof(wchar_t));
    FoundPrinterName[length] = L'\0';
}

void CopyFoundPrinterName(wchar_t out[kFoundNameChars]) {
    FoundNameLock lock;
    memcpy(out, FoundPrinterName, sizeof FoundPrinterName);
}
