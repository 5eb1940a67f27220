// Which device removals concern the printer: the record a
// DBT_DEVICEREMOVECOMPLETE carries, by its size, type and class.
#include <gtest/gtest.h>

#include <stdint.h>

#include <vector>

#include "printer/device_notice.h"

namespace {

void Put32(std::vector<unsigned char>* bytes, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes->push_back(static_cast<unsigned char>(value >> (8 * i)));
}

void Put16(std::vector<unsigned char>* bytes, uint16_t value) {
    bytes->push_back(static_cast<unsigned char>(value));
    bytes->push_back(static_cast<unsigned char>(value >> 8));
}

struct Guid {
    uint32_t data1;
    uint16_t data2, data3;
    unsigned char data4[8];
};

// GUID_DEVINTERFACE_USBPRINT as usbprint.h and the documentation write it:
// {28D78FAD-5A12-11D1-AE5B-0000F803A8C2}.
const Guid kUsbPrint = {
    0x28D78FAD, 0x5A12, 0x11D1, {0xAE, 0x5B, 0x00, 0x00, 0xF8, 0x03, 0xA8, 0xC2}};
// GUID_DEVINTERFACE_USB_DEVICE: {A5DCBF10-6530-11D2-901F-00C04FB951ED}.
const Guid kUsbDevice = {
    0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};

// DBT_DEVTYP_* of dbt.h.
enum { kOem = 0, kVolume = 2, kPort = 3, kInterface = 5, kHandle = 6 };

// A DEV_BROADCAST_DEVICEINTERFACE_W: header, class GUID, then the device
// name in UTF-16; `claimedSize` overrides dbch_size when not 0.
std::vector<unsigned char> InterfaceRecord(const Guid& guid, uint32_t claimedSize = 0) {
    std::vector<unsigned char> bytes;
    const char16_t name[] =
        u"\\\\?\\USB#VID_1234&PID_5678#1#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";
    uint32_t size = 12 + 16 + sizeof name;
    Put32(&bytes, claimedSize ? claimedSize : size);
    Put32(&bytes, kInterface);
    Put32(&bytes, 0);
    Put32(&bytes, guid.data1);
    Put16(&bytes, guid.data2);
    Put16(&bytes, guid.data3);
    bytes.insert(bytes.end(), guid.data4, guid.data4 + 8);
    for (char16_t c : name) Put16(&bytes, static_cast<uint16_t>(c));
    return bytes;
}

// Any other record: header and `extra` bytes of its own.
std::vector<unsigned char> OtherRecord(uint32_t type, uint32_t extra, uint32_t claimedSize = 0) {
    std::vector<unsigned char> bytes;
    Put32(&bytes, claimedSize ? claimedSize : 12 + extra);
    Put32(&bytes, type);
    Put32(&bytes, 0);
    bytes.resize(12 + extra, 0);
    return bytes;
}

struct RemovalCase {
    const char* what;
    std::vector<unsigned char> record;
    int concerns;
};

TEST(RemovalConcernsPrinter, ByRecordSizeTypeAndClass) {
    const RemovalCase cases[] = {
        {"a USB printer interface", InterfaceRecord(kUsbPrint), 1},
        {"another interface class", InterfaceRecord(kUsbDevice), 0},
        {"another class, the record just holding it", InterfaceRecord(kUsbDevice, 28), 0},
        {"a USB printer, the record just holding its class", InterfaceRecord(kUsbPrint, 28), 1},
        // Too short to name a class: the class bytes are not read, and the
        // removal is taken as one without a record.
        {"another class, the record cut before its class ends", InterfaceRecord(kUsbDevice, 27), 1},
        {"a size under the header's", InterfaceRecord(kUsbDevice, 11), 1},
        {"a zeroed header (Wine's for a null lParam)", std::vector<unsigned char>(12, 0), 1},
        {"a volume (broadcast without registration)", OtherRecord(kVolume, 8), 1},
        {"a port (broadcast without registration)", OtherRecord(kPort, 10), 1},
        {"an OEM record", OtherRecord(kOem, 8), 1},
        {"a handle record", OtherRecord(kHandle, 28), 1},
        {"a bare header of another type", OtherRecord(kVolume, 0), 1},
        {"a bare header that says it is an interface", OtherRecord(kInterface, 0), 1},
    };
    for (const RemovalCase& c : cases)
        EXPECT_EQ(c.concerns, RemovalConcernsPrinter(c.record.data())) << c.what;
}

TEST(RemovalConcernsPrinter, NoRecordIsTakenAsBefore) {
    EXPECT_EQ(1, RemovalConcernsPrinter(nullptr));
}

TEST(RemovalConcernsPrinter, ClassBytesAreTheDocumentedGuid) {
    std::vector<unsigned char> record = InterfaceRecord(kUsbPrint);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(record[12 + i], kUsbPrintInterfaceClass[i]) << i;
}

}  // namespace
