// Any bytes as config.xml: the check refuses them or the engine's reader loads them, never a crash.
#include <cstring>

#include "fuzz_common.h"
#include "settings/settings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_Start();
    if (!fuzz_LoadBytes(data, size)) return 0;
    for (int i = 0; i < settings_count; i++)
        if (!settings_table[i].name) fuzz_Fail("a record without a name", "");
    // Growth keeps one free slot after every append.
    if (settings_count >= settings_capacity) fuzz_Fail("full table", std::to_string(settings_count));
    return 0;
}
