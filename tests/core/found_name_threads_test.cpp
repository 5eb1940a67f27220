// The found printer name is written by the installation thread and the
// user-interface thread while painting reads it: a reader must only ever see
// a whole name. Under TSan this also shows any unguarded access.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "printer/printers.h"

namespace {

TEST(FoundPrinterNameThreads, ReaderNeverSeesATornName) {
    // Names of the full 99 characters, different in every position, so a
    // copy that mixes them cannot equal either.
    const std::wstring first(99, L'A');
    const std::wstring second(99, L'b');
    const std::wstring shorter = L"Printer";
    SetFoundPrinterName(first.c_str());

    const int kWrites = 100000;
    std::atomic<bool> done(false);
    std::atomic<int> reads(0);
    std::atomic<int> torn(0);
    std::wstring tornExample;

    std::thread reader([&] {
        wchar_t copy[kFoundNameChars];
        // At least as many reads as it takes to overlap the writer.
        while (!done.load() || reads.load() < 1000) {
            CopyFoundPrinterName(copy);
            std::wstring seen(copy);
            if (seen != first && seen != second && seen != shorter) {
                if (torn.fetch_add(1) == 0) tornExample = seen;
            }
            reads.fetch_add(1);
        }
    });
    for (int i = 0; i < kWrites; ++i) {
        const std::wstring& name = i % 3 == 0 ? first : i % 3 == 1 ? second : shorter;
        SetFoundPrinterName(name.c_str());
    }
    done.store(true);
    reader.join();

    EXPECT_EQ(0, torn.load()) << "e.g. '" << tornExample << "'";
    EXPECT_GE(reads.load(), 1000);
}

}  // namespace
