// Any model list, terminated or not, walked up to its capacity: the walk
// never reads past the buffer and agrees with a plain reference search.
//
// Input: one byte n, then n 16-bit units of the driver name, then the list's
// 16-bit units. The list is widened into a heap buffer of exactly its size,
// so ASan reports any read past it.
#include <stdint.h>
#include <string.h>
#include <wchar.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "fuzz_check.h"
#include "printer/package_files.h"

namespace {

wchar_t Unit(const uint8_t* bytes) { return wchar_t(bytes[0] | bytes[1] << 8); }

struct Line {
    size_t start, length;
};

std::vector<Line> ReferenceLines(const wchar_t* list, size_t capacity) {
    std::vector<Line> lines;
    size_t position = 0;
    while (position < capacity && list[position] != L'\0') {
        size_t end = position;
        while (end < capacity && list[end] != L'\0') ++end;
        lines.push_back({position, end - position});
        position = end + 1;
    }
    return lines;
}

int ReferenceContains(const wchar_t* list, size_t capacity, const std::vector<wchar_t>& needle) {
    size_t needleLength = wcslen(needle.data());
    if (needleLength == 0) return 0;
    for (const Line& line : ReferenceLines(list, capacity)) {
        const wchar_t* begin = list + line.start;
        const wchar_t* end = begin + line.length;
        if (std::search(begin, end, needle.data(), needle.data() + needleLength) != end) return 1;
    }
    return 0;
}

void CheckWalk(const wchar_t* list, size_t capacity) {
    std::vector<Line> expected = ReferenceLines(list, capacity);
    size_t position = 0, count = 0, previous = 0;
    ModelLine line;
    while (NextModelLine(list, capacity, &position, &line)) {
        FUZZ_CHECK(count < expected.size());
        FUZZ_CHECK(line.text == list + expected[count].start);
        FUZZ_CHECK(line.length == expected[count].length);
        FUZZ_CHECK(line.length > 0 && expected[count].start + line.length <= capacity);
        FUZZ_CHECK(position > previous && position <= capacity);
        previous = position;
        ++count;
    }
    FUZZ_CHECK(count == expected.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    size_t needleUnits = std::min<size_t>(data[0], (size - 1) / 2);
    std::vector<wchar_t> needle;
    for (size_t i = 0; i < needleUnits; ++i) needle.push_back(Unit(data + 1 + 2 * i));
    needle.push_back(L'\0');

    const uint8_t* rest = data + 1 + 2 * needleUnits;
    size_t capacity = (size - 1 - 2 * needleUnits) / 2;
    std::unique_ptr<wchar_t[]> list(new wchar_t[capacity]);
    for (size_t i = 0; i < capacity; ++i) list[i] = Unit(rest + 2 * i);

    CheckWalk(list.get(), capacity);
    FUZZ_CHECK(ModelListContains(list.get(), capacity, needle.data()) ==
               ReferenceContains(list.get(), capacity, needle));
    // The same buffer with a smaller capacity: nothing past it may count.
    size_t shorter = capacity / 2;
    CheckWalk(list.get(), shorter);
    FUZZ_CHECK(ModelListContains(list.get(), shorter, needle.data()) ==
               ReferenceContains(list.get(), shorter, needle));
    return 0;
}
