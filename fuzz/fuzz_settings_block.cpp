// The settings file's bytes: decoded as 64 little-endian signed values, the
// rest zero, and every list preset to an option it has.
#include <stdint.h>
#include <string.h>

#include "fuzz_check.h"
#include "printer/package_files.h"
#include "printer/settings_command.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    SettingsBlock block;
    memset(&block, 0xA5, sizeof block);
    DecodeSettingsBlock(data, size, &block);

    for (size_t i = 0; i < kSettingsValues; ++i) {
        uint32_t expected = 0;
        for (size_t b = 0; b < 4; ++b) {
            size_t offset = 4 * i + b;
            if (offset < size) expected |= uint32_t(data[offset]) << (8 * b);
        }
        FUZZ_CHECK(block.values[i] == int32_t(expected));
    }

    for (int row = 0; row < kSettingRows; ++row) {
        const SettingRow& setting = SettingTable[row];
        int preset = PresetOptionIndex(row, block);
        FUZZ_CHECK(preset >= 0 && preset < setting.optionCount);
        int32_t stored = block.values[setting.code];
        bool usable = stored >= 0 && stored < setting.optionCount;
        FUZZ_CHECK(preset == (usable ? stored : setting.defaultIndex));
    }
    return 0;
}
