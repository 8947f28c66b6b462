// Load, save, load: the saved file passes the check, and the second load gives the first load's keys in the same
// order with the values that six decimals and the engine's single-precision reading can carry.
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <set>

#include "fuzz_common.h"
#include "settings/settings.h"

namespace {

// "%lf" keeps six decimals and the engine reads back a float: the value may move by half a millionth, plus the
// float's own steps on the digits the engine adds up one by one. A NaN or an infinity is written as "nan" or "inf",
// which the engine reads as 0.
bool SameAfterSaving(double first, double second) {
    if (!std::isfinite(first)) return second == 0.0;
    return std::fabs(second - first) <= 1e-6 + 1e-5 * std::fabs(first);
}

std::string Describe(const FuzzSetting& first, const FuzzSetting& second) {
    char text[512];
    snprintf(text, sizeof text, "%.200s=%.9g then %.200s=%.9g", first.name.c_str(), first.value,
             second.name.c_str(), second.value);
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_Start();
    if (!fuzz_LoadBytes(data, size)) return 0;
    std::vector<FuzzSetting> first = fuzz_CopyStore();
    settings_Save();

    std::ifstream file(SETTINGS_FILE, std::ios::binary);
    std::string saved((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (!fuzz_LoadBytes(reinterpret_cast<const uint8_t*>(saved.data()), saved.size()))
        fuzz_Fail("the check refuses the file the game wrote", saved.substr(0, 300));
    std::vector<FuzzSetting> second = fuzz_CopyStore();

    if (first.size() != second.size())
        fuzz_Fail("the number of settings changed", std::to_string(first.size()) + " then " +
                                                        std::to_string(second.size()));
    std::set<std::string> seen;
    for (size_t i = 0; i < first.size(); i++) {
        if (first[i].name != second[i].name) fuzz_Fail("a key changed", Describe(first[i], second[i]));
        // A repeated key may come back with the value of its first record, as the file puts every key in one
        // element; the game only ever reads the first record of a key, and that one must keep its value.
        if (!seen.insert(first[i].name).second) continue;
        if (!SameAfterSaving(first[i].value, second[i].value))
            fuzz_Fail("a value changed", Describe(first[i], second[i]));
    }
    return 0;
}
