// Which printer records are ours, the count and the found printer name.
#include <gtest/gtest.h>

#include <wchar.h>

#include <algorithm>
#include <string>
#include <vector>

#include "printer/package_files.h"
#include "printer/printers.h"

namespace {

std::vector<wchar_t> MultiString(const std::vector<std::wstring>& lines) {
    std::vector<wchar_t> list;
    for (const std::wstring& line : lines) {
        list.insert(list.end(), line.begin(), line.end());
        list.push_back(L'\0');
    }
    list.push_back(L'\0');
    return list;
}

std::wstring FoundName() {
    wchar_t name[kFoundNameChars];
    CopyFoundPrinterName(name);
    return std::wstring(name);
}

struct Visits {
    std::vector<std::wstring> names;
};

void Record(const wchar_t* printerName, void* context) {
    static_cast<Visits*>(context)->names.push_back(printerName);
}

class PrinterMatch : public testing::Test {
  protected:
    void SetUp() override { SetFoundPrinterName(L"before"); }

    int Count(const std::vector<PrinterRecord>& records, Visits* visits = nullptr) {
        return CountSupportedPrinters(records.data(), records.size(), list.data(), list.size(),
                                      visits ? Record : nullptr, visits);
    }

    std::vector<wchar_t> list = MultiString({
        L"Model X = Install, USB\\VID_1234",
        L"Model X Plus = Install, USB\\VID_1235",
        L"Dot 24 = Install",
    });
};

TEST_F(PrinterMatch, TwoSupportedPrintersLastOneNamed) {
    std::vector<PrinterRecord> records = {
        {L"Office", L"Model X", 0},
        {L"Laser", L"Laser Driver", 0},
        {L"Counter", L"Dot 24", 0},
    };
    Visits visits;
    EXPECT_EQ(2, Count(records, &visits));
    EXPECT_EQ(L"Counter", FoundName());
    EXPECT_EQ((std::vector<std::wstring>{L"Office", L"Counter"}), visits.names);
}

TEST_F(PrinterMatch, OfflinePrinterIsNotCounted) {
    std::vector<PrinterRecord> records = {
        {L"Away", L"Model X", kPrinterAttributeWorkOffline},
        {L"Away too", L"Dot 24", kPrinterAttributeWorkOffline | 0x40 | 0x4},
    };
    Visits visits;
    EXPECT_EQ(0, Count(records, &visits));
    EXPECT_TRUE(visits.names.empty());
    EXPECT_EQ(L"before", FoundName()) << "a search that matches nothing keeps the name";

    // Other attribute bits do not matter.
    records.push_back({L"Here", L"Dot 24", 0x40 | 0x200 | 0x800});
    EXPECT_EQ(1, Count(records, &visits));
    EXPECT_EQ(L"Here", FoundName());
}

struct AttributeCase {
    uint32_t attributes;
    int workOffline;
};

TEST(OfflineRule, OnlyTheWorkOfflineAttributeCounts) {
    // PRINTER_ATTRIBUTE_WORK_OFFLINE is 0x400 in winspool.h; status bits
    // live elsewhere (PRINTER_INFO_2's Status) and never reach this rule.
    const AttributeCase cases[] = {
        {0, 0}, {0x400, 1}, {0x404, 1}, {0x3FF, 0}, {0xFFFFFBFFu, 0}, {0xFFFFFFFFu, 1},
    };
    for (const AttributeCase& c : cases) {
        EXPECT_EQ(c.workOffline, IsSetToWorkOffline(c.attributes)) << std::hex << c.attributes;
    }
}

TEST_F(PrinterMatch, CountedOnceHoweverManyLinesMatch) {
    // "Model X" is in two lines, "Install" in all three.
    std::vector<PrinterRecord> records = {{L"One", L"Model X", 0}, {L"Two", L"Install", 0}};
    Visits visits;
    EXPECT_EQ(2, Count(records, &visits));
    EXPECT_EQ((std::vector<std::wstring>{L"One", L"Two"}), visits.names);
}

struct DriverCase {
    const wchar_t* driver;
    int counted;
};

TEST_F(PrinterMatch, DriverNameIsACaseSensitiveSubstring) {
    const DriverCase cases[] = {
        {L"Model X", 1}, {L"model x", 0}, {L"Model X Plus", 1}, {L"VID_1235", 1},
        {L"Dot 24=", 0}, {L"", 0},        {nullptr, 0},
    };
    for (const DriverCase& c : cases) {
        SCOPED_TRACE(c.driver ? c.driver : L"(null)");
        EXPECT_EQ(c.counted, Count({{L"P", c.driver, 0}}));
    }
}

TEST_F(PrinterMatch, EmptyModelListOrNoPrinters) {
    list = MultiString({});
    EXPECT_EQ(0, Count({{L"Office", L"Model X", 0}}));
    EXPECT_EQ(0, CountSupportedPrinters(nullptr, 0, list.data(), list.size(), nullptr, nullptr));
    EXPECT_EQ(L"before", FoundName());
}

TEST_F(PrinterMatch, LongNameIsCutTo99Characters) {
    std::wstring name99(99, L'n');
    name99[0] = L'A';
    std::wstring name100 = name99 + L'Z';
    std::wstring name300 = name100 + std::wstring(200, L'q');
    struct {
        const std::wstring* name;
    } cases[] = {{&name99}, {&name100}, {&name300}};
    for (auto& c : cases) {
        EXPECT_EQ(1, Count({{c.name->c_str(), L"Model X", 0}}));
        wchar_t out[kFoundNameChars];
        std::fill(out, out + kFoundNameChars, L'#');
        CopyFoundPrinterName(out);
        EXPECT_EQ(L'\0', out[kFoundNameChars - 1]);
        EXPECT_EQ(name99, std::wstring(out));
    }
    // A shorter name afterwards leaves nothing of the longer one behind.
    EXPECT_EQ(1, Count({{L"short", L"Model X", 0}}));
    EXPECT_EQ(L"short", FoundName());
}

TEST(FoundPrinterName, NullNameIsEmpty) {
    SetFoundPrinterName(L"x");
    SetFoundPrinterName(nullptr);
    wchar_t out[kFoundNameChars];
    CopyFoundPrinterName(out);
    EXPECT_STREQ(L"", out);
}

}  // namespace
