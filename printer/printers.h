// Printer discovery: which local printers are ours, the name of the last one
// found, and raw jobs to them through the spooler.
#pragma once

#include <stddef.h>
#include <stdint.h>

enum { kFoundNameChars = 100 };

// The document name of every raw job, the tool's and tavoctl's, as the
// printer's queue shows it. A string literal, so that it can be written
// narrow or wide (L"" TAVO_RAW_JOB_NAME).
#define TAVO_RAW_JOB_NAME "My Document"
enum { kPrinterAttributeWorkOffline = 0x400 };

// The three fields of a spooler printer record that matter here.
struct PrinterRecord {
    const wchar_t* name;
    const wchar_t* driver;
    uint32_t attributes;
};

// A driver is ours when its name occurs in a line of the model list.
int IsSupportedDriver(const wchar_t* driver, const wchar_t* modelList, size_t capacity);

// The one offline rule, the tool's and tavoctl's: a printer set to work
// offline (the attribute) is sent nothing and not counted. The spooler's
// offline and paused status bits do not exclude a printer: the tool sends
// to it and the spooler keeps the job.
int IsSetToWorkOffline(uint32_t attributes);

// A printer is ours when its driver is and it is not set to work offline.
int IsSupportedPrinter(const PrinterRecord& record, const wchar_t* modelList, size_t capacity);

// Called for each supported printer, in order, before it is counted.
typedef void (*PrinterVisitor)(const wchar_t* printerName, void* context);

// Counts the supported printers among `records`; each one found becomes the
// found printer name and, when `visit` is not null, is visited.
int CountSupportedPrinters(const PrinterRecord* records, size_t count, const wchar_t* modelList,
                           size_t capacity, PrinterVisitor visit, void* context);

// The found printer name is written by the installation thread and the
// user-interface thread and read by painting; both calls are guarded so a
// reader never sees a half-written name. A name of 100 characters or more is
// cut to 99.
void SetFoundPrinterName(const wchar_t* name);
void CopyFoundPrinterName(wchar_t out[kFoundNameChars]);

#ifdef _WIN32
// ---- Win32 layer --------------------------------------------------------
// Counts the supported local printers; with data, sends `size` bytes to
// each of them as one raw job, in enumeration order.
int FindOurPrinters(const void* data, uint32_t size);

// One raw job "My Document" of exactly `size` bytes. 1 when the spooler
// took all of them.
int SendRawToPrinter(const wchar_t* printerName, const void* data, uint32_t size);
#endif
