// The core's cost, natively: matching printers against model lists of
// growing length (the work of every printer search) and building a setting
// command (the work of every close-up of a setting list).
//
// Matching arguments: {printers, model-list characters}. The printers'
// drivers occur in no line, so every printer walks the whole list: the
// worst case, and the one a search pays for every foreign printer on a PC.
// The last printer's driver is named in the list's last line, so the
// result is 1 and the found-name copy is paid once per search, as in use.
#include <benchmark/benchmark.h>

#include <stdio.h>
#include <string>
#include <vector>
#include <wchar.h>

#include "printer/package_files.h"
#include "printer/printers.h"
#include "printer/settings_command.h"

namespace {

// A model list of exactly `characters` wide characters, terminators and the
// final empty line included, shaped like the lines of an INF model section.
// Its last line names `lastDriver`.
std::vector<wchar_t> MakeModelList(size_t characters, const std::wstring& lastDriver) {
    std::vector<wchar_t> list;
    const std::wstring last = lastDriver + L"=Install,USB\\VID_1A86";
    size_t index = 0;
    for (;;) {
        wchar_t line[96];
        swprintf(line, 96, L"TAVO Model %04zu = TavoInstall, USB\\VID_1A86&PID_%04zX", index,
                 index);
        std::wstring text(line);
        // Room left for this line's terminator, the last line and the final
        // empty line.
        if (list.size() + text.size() + 1 + last.size() + 1 + 1 > characters) break;
        list.insert(list.end(), text.begin(), text.end());
        list.push_back(L'\0');
        ++index;
    }
    // The last line takes what is left, cut if the list is very short.
    size_t room = characters - list.size() - 2;
    std::wstring tail = last.substr(0, room);
    while (tail.size() < room) tail.push_back(L' ');
    list.insert(list.end(), tail.begin(), tail.end());
    list.push_back(L'\0');
    list.push_back(L'\0');
    return list;
}

struct Printers {
    std::vector<std::wstring> names, drivers;
    std::vector<PrinterRecord> records;
};

Printers MakePrinters(size_t count, const std::wstring& ourDriver) {
    Printers printers;
    printers.names.resize(count);
    printers.drivers.resize(count);
    for (size_t i = 0; i < count; ++i) {
        wchar_t text[64];
        swprintf(text, 64, L"Office Printer %zu", i);
        printers.names[i] = text;
        swprintf(text, 64, L"Generic Laser PCL %zu", i);
        printers.drivers[i] = i + 1 == count ? ourDriver : std::wstring(text);
    }
    for (size_t i = 0; i < count; ++i) {
        printers.records.push_back(
            PrinterRecord{printers.names[i].c_str(), printers.drivers[i].c_str(), 0});
    }
    return printers;
}

const wchar_t kOurDriver[] = L"TAVO-9";

void BM_CountSupportedPrinters(benchmark::State& state) {
    const size_t printerCount = size_t(state.range(0));
    const size_t listChars = size_t(state.range(1));
    std::vector<wchar_t> list = MakeModelList(listChars, kOurDriver);
    Printers printers = MakePrinters(printerCount, kOurDriver);
    int expected = listChars >= 10 ? 1 : 0;
    for (auto _ : state) {
        int found = CountSupportedPrinters(printers.records.data(), printers.records.size(),
                                           list.data(), list.size(), nullptr, nullptr);
        benchmark::DoNotOptimize(found);
        if (found != expected) {
            state.SkipWithError("unexpected count");
            break;
        }
    }
    state.counters["printers"] = double(printerCount);
    state.counters["chars"] = double(listChars);
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(printerCount));
}

void MatchingArguments(benchmark::internal::Benchmark* b) {
    for (int64_t chars : {10, 1000, 20000})
        for (int64_t printers : {1, 10, 100, 1000}) b->Args({printers, chars});
}

BENCHMARK(BM_CountSupportedPrinters)->Apply(MatchingArguments);

// One printer record against one list: the per-printer step alone.
void BM_IsSupportedPrinter(benchmark::State& state) {
    const size_t listChars = size_t(state.range(0));
    std::vector<wchar_t> list = MakeModelList(listChars, kOurDriver);
    PrinterRecord foreign{L"Office Printer", L"Generic Laser PCL", 0};
    for (auto _ : state) {
        int match = IsSupportedPrinter(foreign, list.data(), list.size());
        benchmark::DoNotOptimize(match);
    }
    state.counters["chars"] = double(listChars);
}
BENCHMARK(BM_IsSupportedPrinter)->Arg(10)->Arg(1000)->Arg(20000);

void BM_BuildSettingCommand(benchmark::State& state) {
    unsigned char command[kSettingCommandBytes];
    int row = 1, option = 0;
    for (auto _ : state) {
        BuildSettingCommand(row, option, command);
        benchmark::DoNotOptimize(command);
        benchmark::ClobberMemory();
        if (++option == SettingTable[row].optionCount) {
            option = 0;
            row = row == kSettingRows - 1 ? 1 : row + 1;
        }
    }
}
BENCHMARK(BM_BuildSettingCommand);

}  // namespace

BENCHMARK_MAIN();
