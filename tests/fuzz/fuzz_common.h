// What the fuzz targets share: a windowless engine device, a scratch folder and loading bytes as config.xml.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A record of the store, copied out so that two loads can be compared.
struct FuzzSetting {
    std::string name;
    double value;
};

void fuzz_Start();                                                // once: null device, scratch folder, quiet stdout
bool fuzz_LoadBytes(const uint8_t* data, size_t size);           // false when the check refuses the bytes
std::vector<FuzzSetting> fuzz_CopyStore();                        // the store's records in order
[[noreturn]] void fuzz_Fail(const char* what, const std::string& detail);  // a broken property: report and abort
