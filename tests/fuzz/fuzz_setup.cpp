// Any bytes on standard input to the setup wizard, against the shipped settings: it only ever stores a row of a
// question's table, never adds a record, and ends at the end of its input.
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>

#include "fuzz_common.h"
#include "settings/settings.h"

namespace {

std::vector<FuzzSetting> shipped;

double Original(const char* key) {
    for (const FuzzSetting& setting : shipped)
        if (setting.name == key) return setting.value;
    fuzz_Fail("the shipped file lacks a key", key);
}

// The keys of one question hold either their values from the file or one row of the question's table.
void ExpectRow(const char* const* keys, int key_count, const double* rows, int row_count) {
    bool unchanged = true;
    for (int k = 0; k < key_count; k++) unchanged = unchanged && settings_Get(keys[k]) == Original(keys[k]);
    if (unchanged) return;
    for (int row = 0; row < row_count; row++) {
        bool match = true;
        for (int k = 0; k < key_count; k++) match = match && settings_Get(keys[k]) == rows[row * key_count + k];
        if (match) return;
    }
    fuzz_Fail("a value that no answer stores", keys[0]);
}

void ExpectAnswersOnly() {
    static const char* const language[] = {"is_french"};
    static const double language_rows[] = {0, 1};
    static const char* const difficulty[] = {"difficulty_level", "time_counter_speed"};
    static const double difficulty_rows[] = {1, 800, 2, 350, 3.5, 180, 5, 100, 8, 60};
    static const char* const screen[] = {"window_size_x", "window_size_y", "is_fullscreen"};
    static const double screen_rows[] = {400,  300, 0, 640,  480, 0, 800,  600, 0, 1024, 768,  0,
                                         1152, 864, 0, 1280, 1024, 0, 640, 480, 1, 800,  600,  1,
                                         1024, 768, 1, 1152, 864, 1, 1280, 960, 1, 1280, 1024, 1};
    static const char* const driver[] = {"driver_type"};
    static const double driver_rows[] = {6, 2, 1};
    static const char* const mouse[] = {"mouse_rotation_speed"};
    static const double mouse_rows[] = {2, 4, 8};
    static const char* const bits[] = {"display_bits"};
    static const double bits_rows[] = {8, 16, 32};
    static const char* const moving[] = {"moving_cubes"};
    static const double moving_rows[] = {1, 0};
    ExpectRow(language, 1, language_rows, 2);
    ExpectRow(difficulty, 2, difficulty_rows, 5);
    ExpectRow(screen, 3, screen_rows, 12);
    ExpectRow(driver, 1, driver_rows, 3);
    ExpectRow(mouse, 1, mouse_rows, 3);
    ExpectRow(bits, 1, bits_rows, 3);
    ExpectRow(moving, 1, moving_rows, 2);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_Start();
    if (shipped.empty()) {
        std::ifstream file(KORVANIX_SHIPPED_CONFIG, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        if (!fuzz_LoadBytes(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()))
            fuzz_Fail("the shipped file is refused", KORVANIX_SHIPPED_CONFIG);
        shipped = fuzz_CopyStore();
    }
    for (int i = 0; i < settings_count; i++) settings_table[i].value = shipped[static_cast<size_t>(i)].value;

    std::istringstream input(std::string(reinterpret_cast<const char*>(data), size));
    std::streambuf* console = std::cin.rdbuf(input.rdbuf());
    std::cin.clear();
    settings_RunSetup();
    std::cin.rdbuf(console);
    std::cin.clear();

    if (settings_count != static_cast<int>(shipped.size())) fuzz_Fail("the wizard added a record", "");
    for (int i = 0; i < settings_count; i++)
        if (shipped[static_cast<size_t>(i)].name != settings_table[i].name) fuzz_Fail("a record renamed", "");
    ExpectAnswersOnly();
    for (const char* key : {"keys_rotation_speed", "is_autoconfigure", "is_subjective", "size_x_world",
                            "size_y_world", "size_z_world", "probability_cube", "is_glasses_world",
                            "is_fog_enable", "quake_intensity"})
        if (settings_Get(key) != Original(key)) fuzz_Fail("a key no question asks changed", key);
    return 0;
}
