// Arbitrary printer records against an arbitrary model list: the count and
// the visits agree with a plain reference, and the found name is always
// terminated, at most 99 characters and the start of the last match's name
// (unchanged when nothing matched).
#include <stdint.h>
#include <string.h>
#include <wchar.h>

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "printer/package_files.h"
#include "printer/printers.h"

namespace {

// Mostly a few letters, so names and lines meet often; now and then any
// 16-bit unit.
wchar_t Unit(FuzzedDataProvider& input, bool allowZero) {
    static const wchar_t kLetters[] = {L'A', L'b', L' ', L'\x4E2D', L'\0'};
    uint8_t pick = input.ConsumeIntegral<uint8_t>();
    wchar_t unit = pick < 224 ? kLetters[pick % 5] : wchar_t(input.ConsumeIntegral<uint16_t>());
    if (unit == L'\0' && !allowZero) unit = L'A';
    return unit;
}

std::wstring Text(FuzzedDataProvider& input, size_t maxLength) {
    size_t length = input.ConsumeIntegralInRange<size_t>(0, maxLength);
    std::wstring text;
    for (size_t i = 0; i < length; ++i) text += Unit(input, false);
    return text;
}

bool ReferenceContains(const wchar_t* list, size_t capacity, const wchar_t* needle) {
    if (needle == nullptr || needle[0] == L'\0') return false;
    size_t needleLength = wcslen(needle);
    size_t position = 0;
    while (position < capacity && list[position] != L'\0') {
        size_t end = position;
        while (end < capacity && list[end] != L'\0') ++end;
        if (std::search(list + position, list + end, needle, needle + needleLength) != list + end)
            return true;
        position = end + 1;
    }
    return false;
}

struct Visits {
    std::vector<const wchar_t*> names;
};

void Visit(const wchar_t* name, void* context) {
    static_cast<Visits*>(context)->names.push_back(name);
}

const wchar_t kUnmatched[] = L"(no match yet)";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);

    size_t capacity = input.ConsumeIntegralInRange<size_t>(0, 300);
    std::unique_ptr<wchar_t[]> list(new wchar_t[capacity]);
    for (size_t i = 0; i < capacity; ++i) list[i] = Unit(input, true);

    size_t count = input.ConsumeIntegralInRange<size_t>(0, 6);
    std::vector<std::wstring> names(count), drivers(count);
    std::vector<PrinterRecord> records(count);
    for (size_t i = 0; i < count; ++i) {
        names[i] = Text(input, 140);  // past the 99 characters that are kept
        drivers[i] = Text(input, 8);
        bool nullDriver = input.ConsumeIntegralInRange<int>(0, 15) == 0;
        records[i] = {names[i].c_str(), nullDriver ? nullptr : drivers[i].c_str(),
                      input.ConsumeIntegral<uint32_t>()};
    }

    SetFoundPrinterName(kUnmatched);
    Visits visits;
    int found = CountSupportedPrinters(records.data(), records.size(), list.get(), capacity, Visit,
                                       &visits);

    std::vector<const wchar_t*> expected;
    for (const PrinterRecord& record : records) {
        bool online = (record.attributes & kPrinterAttributeWorkOffline) == 0;
        bool supported = online && ReferenceContains(list.get(), capacity, record.driver);
        FUZZ_CHECK(IsSupportedPrinter(record, list.get(), capacity) == (supported ? 1 : 0));
        if (supported) expected.push_back(record.name);
    }
    FUZZ_CHECK(found == int(expected.size()));
    FUZZ_CHECK(visits.names == expected);

    wchar_t name[kFoundNameChars + 1];
    std::fill(name, name + kFoundNameChars + 1, L'#');
    CopyFoundPrinterName(name);
    FUZZ_CHECK(name[kFoundNameChars] == L'#');
    size_t length = 0;
    while (length < kFoundNameChars && name[length] != L'\0') ++length;
    FUZZ_CHECK(length <= kFoundNameChars - 1);
    if (expected.empty()) {
        FUZZ_CHECK(wcscmp(name, kUnmatched) == 0);
    } else {
        const wchar_t* last = expected.back();
        size_t kept = std::min<size_t>(wcslen(last), kFoundNameChars - 1);
        FUZZ_CHECK(length == kept);
        FUZZ_CHECK(wmemcmp(name, last, kept) == 0);
    }
    return 0;
}
