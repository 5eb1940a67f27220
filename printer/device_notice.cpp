// Which device removals concern the printer (device_notice.h).
#include "printer/device_notice.h"

#include <string.h>

#include <stdint.h>

const unsigned char kUsbPrintInterfaceClass[16] = {0xAD, 0x8F, 0xD7, 0x28, 0x12, 0x5A, 0xD1, 0x11,
                                                   0xAE, 0x5B, 0x00, 0x00, 0xF8, 0x03, 0xA8, 0xC2};

namespace {

uint32_t ReadLittleEndian32(const unsigned char* bytes) {
    return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 |
           uint32_t(bytes[3]) << 24;
}

}  // namespace

// Only a record that names another interface class is passed over: anything
// that cannot tell (no record, a short one) is taken as before, since the
// printer count that follows decides, and a removal missed would leave a
// printer on screen that is gone. (Wine hands a cross-process removal sent
// with a null lParam to the window as a zeroed header.)
int RemovalConcernsPrinter(const void* record) {
    if (!record) return 1;
    const unsigned char* bytes = static_cast<const unsigned char*>(record);
    uint32_t size = ReadLittleEndian32(bytes);
    if (size < kDeviceRecordHeaderBytes) return 1;
    if (ReadLittleEndian32(bytes + 4) != kDeviceTypeInterface) return 1;  // volume, port, ...
    if (size < kInterfaceRecordMinBytes) return 1;
    return memcmp(bytes + kInterfaceClassOffset, kUsbPrintInterfaceClass, 16) == 0;
}
