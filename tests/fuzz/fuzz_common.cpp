// What the fuzz targets share: a windowless engine device, a scratch folder and loading bytes as config.xml.
#include "fuzz_common.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

#include "app/util.h"
#include "settings/settings.h"
#include "tests/unit/guard_pages.h"

void fuzz_Start() {
    static bool started = false;
    if (started) return;
    started = true;
    // Every save flushes the file and its folder to the disk: in memory that costs nothing.
    char folder[] = "/dev/shm/korvanix-fuzz-XXXXXX";
    char fallback[] = "/tmp/korvanix-fuzz-XXXXXX";
    const char* scratch = mkdtemp(folder) ? folder : mkdtemp(fallback);
    if (!scratch || chdir(scratch) != 0) fuzz_Fail("scratch folder", fallback);
    if (!util_CreateNullDevice()) fuzz_Fail("null device", "");
    // The settings code prints progress lines; libFuzzer reports on the error stream.
    int null_output = open("/dev/null", O_WRONLY);
    if (null_output < 0 || dup2(null_output, STDOUT_FILENO) < 0) fuzz_Fail("quiet stdout", "");
    close(null_output);
}

// Bytes the check refuses end the process with a critical error, which the unit tests cover: only the bytes it
// accepts go on to the engine's reader, which must then read them without fault. The engine's library is not built
// with the sanitizers: its buffers lie against guard pages, so that a read past one crashes.
bool fuzz_LoadBytes(const uint8_t* data, size_t size) {
    settings_Release();
    settings_Allocate();
    SettingsFileFault fault = {0, 0, ""};
    if (!settings_IsSafeToRead(reinterpret_cast<const char*>(data), static_cast<long>(size), &fault)) return false;
    FILE* file = fopen(SETTINGS_FILE, "wb");
    if (!file) fuzz_Fail("write config.xml", "");
    if (size > 0 && fwrite(data, 1, size, file) != size) fuzz_Fail("write config.xml", "");
    fclose(file);
    guard_pages_on = true;
    settings_Load();
    guard_pages_on = false;
    return true;
}

std::vector<FuzzSetting> fuzz_CopyStore() {
    std::vector<FuzzSetting> copy;
    for (int i = 0; i < settings_count; i++) copy.push_back({settings_table[i].name, settings_table[i].value});
    return copy;
}

void fuzz_Fail(const char* what, const std::string& detail) {
    fprintf(stderr, "FUZZ PROPERTY BROKEN: %s: %s\n", what, detail.c_str());
    fflush(stderr);
    abort();
}
