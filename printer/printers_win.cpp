// Printer discovery through the spooler and raw jobs to the printers found.
#include <windows.h>
#include <winspool.h>

#include "platform/scoped_win.h"
#include "printer/package_files.h"
#include "printer/printers.h"

namespace {

struct RawJob {
    const void* data;
    uint32_t size;
};

void SendJobTo(const wchar_t* printerName, void* context) {
    const RawJob* job = static_cast<const RawJob*>(context);
    // Delivery does not decide the count: a printer that refuses the job is
    // still present.
    SendRawToPrinter(printerName, job->data, job->size);
}

}  // namespace

int FindOurPrinters(const void* data, uint32_t size) {
    // Both results stay 0 unless the spooler sets them; a failed enumeration
    // (the spooler stopped) or a failed allocation counts no printer.
    DWORD needed = 0;
    DWORD returned = 0;
    EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &returned);
    if (needed == 0) return 0;
    MallocBlock list(needed);
    if (list.get() == nullptr) return 0;
    returned = 0;
    // A list that grew between the two calls fails here; the search is not
    // retried, the next one will see it.
    if (!EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, static_cast<BYTE*>(list.get()), needed,
                       &needed, &returned) ||
        returned == 0) {
        return 0;
    }

    const PRINTER_INFO_2W* infos = static_cast<const PRINTER_INFO_2W*>(list.get());
    MallocBlock recordBlock(returned * sizeof(PrinterRecord));
    PrinterRecord* records = static_cast<PrinterRecord*>(recordBlock.get());
    if (records == nullptr) return 0;
    for (DWORD i = 0; i < returned; ++i) {
        records[i].name = infos[i].pPrinterName;
        records[i].driver = infos[i].pDriverName;
        records[i].attributes = infos[i].Attributes;
    }

    size_t capacity = Package.modelList != nullptr ? kModelListBytes / sizeof(WCHAR) : 0;
    RawJob job = {data, size};
    return CountSupportedPrinters(records, returned, Package.modelList, capacity,
                                  data != nullptr ? SendJobTo : nullptr, &job);
}

int SendRawToPrinter(const wchar_t* printerName, const void* data, uint32_t size) {
    if (size == 0 || data == nullptr || printerName == nullptr) return 0;
    PrinterHandle printer;
    if (!OpenPrinterW(const_cast<wchar_t*>(printerName), printer.out(), nullptr)) return 0;

    wchar_t documentName[] = L"" TAVO_RAW_JOB_NAME;
    wchar_t dataType[] = L"RAW";
    DOC_INFO_1W document = {documentName, nullptr, dataType};
    DWORD written = 0;
    if (StartDocPrinterW(printer.get(), 1, reinterpret_cast<BYTE*>(&document)) != 0) {
        if (StartPagePrinter(printer.get())) {
            if (!WritePrinter(printer.get(), const_cast<void*>(data), size, &written)) written = 0;
            EndPagePrinter(printer.get());
        }
        EndDocPrinter(printer.get());
    }
    return written == size ? 1 : 0;
}
