// The settings store: named doubles in insertion order, found by their first occurrence.
#include "settings/settings.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/util.h"

Setting* settings_table = nullptr;
int settings_count = 0;
int settings_capacity = 0;

const char* const SETTINGS_FILE = "config.xml";

static const int INITIAL_CAPACITY = 100;

void settings_Allocate() {
    settings_capacity = INITIAL_CAPACITY;
    settings_count = 0;
    settings_table = static_cast<Setting*>(malloc(sizeof(Setting) * settings_capacity));
    if (!settings_table) util_CriticalError("out of memory for the settings");
}

void settings_Release() {
    for (int i = 0; i < settings_count; i++) free(settings_table[i].name);
    free(settings_table);
    settings_table = nullptr;
    settings_count = 0;
    settings_capacity = 0;
    settings_loaded_file = {false, 0, 0};
}

void settings_Add(const char* name, double value) {
    if (!settings_table) settings_Allocate();
    char* copy = static_cast<char*>(malloc(strlen(name) + 1));
    if (!copy) util_CriticalError("out of memory for the settings");
    strcpy(copy, name);
    settings_table[settings_count].name = copy;
    settings_table[settings_count].value = value;
    settings_count++;
    // Growing as soon as the table is full keeps one free slot after every append.
    if (settings_count == settings_capacity) {
        Setting* grown = static_cast<Setting*>(realloc(settings_table, sizeof(Setting) * settings_capacity * 2));
        if (!grown) util_CriticalError("out of memory for the settings");
        settings_table = grown;
        settings_capacity *= 2;
    }
}

static Setting* FindSetting(const char* name) {
    for (int i = 0; i < settings_count; i++)
        if (strcmp(settings_table[i].name, name) == 0) return &settings_table[i];
    fprintf(stderr, "%s :", name);
    util_CriticalError("setting unknown");
}

double settings_Get(const char* name) {
    return FindSetting(name)->value;
}

void settings_Set(const char* name, double value) {
    FindSetting(name)->value = value;
}

// Converting NaN or an out-of-range double to int is undefined: NaN reads as 0 and the rest saturates,
// so that the checks downstream see a value they can refuse.
int settings_ToInt(double value) {
    if (std::isnan(value)) return 0;
    if (value >= static_cast<double>(INT_MAX)) return INT_MAX;
    if (value <= static_cast<double>(INT_MIN)) return INT_MIN;
    return static_cast<int>(value);
}

int settings_GetInt(const char* name) {
    return settings_ToInt(settings_Get(name));
}

bool settings_GetFlag(const char* name) {
    return settings_Get(name) != 0.0;
}
