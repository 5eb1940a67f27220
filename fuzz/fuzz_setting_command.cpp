// The setting command for any row and option index: always 12 bytes in
// their frame with a correct check byte and the tag, decoding back to the
// row's code and the index (its low 16 bits). The rest of the input is fed
// to the decoder as an arbitrary byte stream.
#include <stdint.h>
#include <string.h>

#include <fuzzer/FuzzedDataProvider.h>

#include <memory>
#include <vector>

#include "fuzz_check.h"
#include "printer/settings_command.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    int row = input.ConsumeIntegralInRange<int>(0, kSettingRows - 1);
    int32_t index = input.ConsumeBool() ? input.ConsumeIntegralInRange<int32_t>(-32768, 32767)
                                        : input.ConsumeIntegral<int32_t>();

    std::unique_ptr<unsigned char[]> command(new unsigned char[kSettingCommandBytes]);
    BuildSettingCommand(row, index, command.get());
    const unsigned char code = static_cast<unsigned char>(SettingTable[row].code);
    FUZZ_CHECK(command[0] == 0x1B && command[1] == 0x05);
    FUZZ_CHECK(command[6] == 0x1B && command[7] == 0x05);
    FUZZ_CHECK(command[2] == code);
    FUZZ_CHECK(command[3] == (uint32_t(index) & 0xFF));
    FUZZ_CHECK(command[4] == ((uint32_t(index) >> 8) & 0xFF));
    FUZZ_CHECK(command[5] == (command[4] ^ command[2] ^ command[3] ^ 0xA2));
    FUZZ_CHECK(memcmp(command.get() + 8, CommandTag, 4) == 0);

    DecodedCommand decoded;
    FUZZ_CHECK(DecodeSettingCommand(command.get(), kSettingCommandBytes, &decoded) ==
               kSettingCommandBytes);
    FUZZ_CHECK(decoded.code == code && decoded.row == row);
    FUZZ_CHECK(decoded.checkOk && decoded.tagOk);
    FUZZ_CHECK(decoded.optionIndex == int16_t(uint16_t(uint32_t(index) & 0xFFFF)));
    if (index >= -32768 && index <= 32767) FUZZ_CHECK(decoded.optionIndex == index);

    // Whatever bytes arrive, in an exactly sized buffer.
    std::vector<uint8_t> rest = input.ConsumeRemainingBytes<uint8_t>();
    std::unique_ptr<unsigned char[]> stream(new unsigned char[rest.size()]);
    if (!rest.empty()) memcpy(stream.get(), rest.data(), rest.size());
    int taken = DecodeSettingCommand(stream.get(), rest.size(), &decoded);
    bool framed = rest.size() >= 12 && rest[0] == 0x1B && rest[1] == 0x05 && rest[6] == 0x1B &&
                  rest[7] == 0x05;
    FUZZ_CHECK(taken == (framed ? kSettingCommandBytes : 0));
    if (framed) {
        FUZZ_CHECK(decoded.code == rest[2]);
        FUZZ_CHECK(decoded.optionIndex == int16_t(uint16_t(rest[3] | rest[4] << 8)));
        FUZZ_CHECK(decoded.checkOk == (rest[5] == (rest[4] ^ rest[2] ^ rest[3] ^ 0xA2)));
        FUZZ_CHECK(decoded.tagOk == (memcmp(rest.data() + 8, CommandTag, 4) == 0));
        FUZZ_CHECK(decoded.row == SettingRowForCode(rest[2]));
    }
    return 0;
}
