// Settings: the store of named numeric settings, the settings file config.xml and the console setup wizard.
#pragma once

// One named setting; the store keeps them in the order they were added.
struct Setting {
    char* name;      // owned copy of the key
    double value;
};

extern Setting* settings_table;    // the records, in insertion order
extern int settings_count;         // records in use
extern int settings_capacity;      // records the table has room for; 100 at start, doubled when full

extern const char* const SETTINGS_FILE;  // "config.xml"

// The file that settings_Load read: the save writes into that very file or into none.
struct SettingsFileIdentity {
    bool known;                 // false until a load, and again after settings_Release
    unsigned long long device;
    unsigned long long inode;
};
extern SettingsFileIdentity settings_loaded_file;  // set by settings_Load

void settings_Allocate();                          // start-up: an empty table with room for 100 records
void settings_Release();                           // frees the table and its names, forgets the file read
void settings_Add(const char* name, double value); // appends a record (loading only)
double settings_Get(const char* name);             // first record of that name, or the critical error
void settings_Set(const char* name, double value); // overwrites the first record of that name, or the critical error
int settings_ToInt(double value);                  // truncation toward zero; NaN 0, out of range saturated
int settings_GetInt(const char* name);             // settings_Get read as an integer
bool settings_GetFlag(const char* name);           // settings_Get read as a flag: on when not 0.0

void settings_Load();                              // appends every attribute of every all_settings element of config.xml
void settings_Save();                              // writes the whole store back to config.xml
void settings_RunSetup();                          // the console wizard, reading answers from std::cin

// Where and why a settings file is refused: line and column counted in characters from 1, and the reason.
struct SettingsFileFault {
    long line;
    long column;
    const char* reason;
};
bool settings_IsSafeToRead(const char* bytes, long size, SettingsFileFault* fault);  // bytes the engine's XML reader reads within its buffer
