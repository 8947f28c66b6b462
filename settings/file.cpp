// The settings file: config.xml read through the engine's XML reader and written back in its fixed format.
#include "settings/settings.h"

#include <cstdio>
#include <limits>
#include <string>

#include "app/util.h"

using namespace irr;

static const char HEADER[] =
    "<?xml version=\"1.0\"?>\r\n\t<config>\r\n\t\t<!-- This is the config file of the application -->\r\n"
    "\t\t<all_settings \r\n";
static const char FOOTER[] = "\t\t/>\r\n\t</config>\r\n";

// Far beyond any settings file; a larger one (or a folder that reports an absurd size) is not read.
static const long MAX_FILE_SIZE = 16L << 20;

static bool IsAllSettings(const wchar_t* name) {
    return name && core::stringw(name) == L"all_settings";
}

// Attribute names are narrowed by keeping the low byte of each wide character.
static std::string Narrow(const wchar_t* wide) {
    std::string narrow;
    for (; *wide; wide++) narrow += static_cast<char>(static_cast<unsigned>(*wide) & 0xFF);
    return narrow;
}

// "%lf" writes a NaN or an infinity as "nan", "-nan", "inf" or "-inf", which the engine's number reader takes
// for 0: read those back as what they were, so that saving never changes a setting.
static double ReadValue(io::IXMLReader* reader, const wchar_t* name) {
    double value = reader->getAttributeValueAsFloat(name);
    const wchar_t* text = reader->getAttributeValue(name);
    if (!text) return value;
    core::stringw spelling(text);
    if (spelling == L"nan") return std::numeric_limits<double>::quiet_NaN();
    if (spelling == L"-nan") return -std::numeric_limits<double>::quiet_NaN();
    if (spelling == L"inf") return std::numeric_limits<double>::infinity();
    if (spelling == L"-inf") return -std::numeric_limits<double>::infinity();
    return value;
}

static void AddAttributes(io::IXMLReader* reader) {
    for (u32 i = 0; i < reader->getAttributeCount(); i++) {
        const wchar_t* wide_name = reader->getAttributeName(static_cast<int>(i));
        if (!wide_name) continue;
        std::string name = Narrow(wide_name);
        double value = ReadValue(reader, wide_name);
        settings_Add(name.c_str(), value);
    }
}

static void CantOpenForReading() {
    fprintf(stderr, "%s :", SETTINGS_FILE);
    util_CriticalError("unable to open (readonly) settings file");
}

// The file's bytes through the engine's file system, in a buffer made for an engine memory file;
// nullptr when it can't be opened or read whole.
static c8* ReadWholeFile(io::IFileSystem* files, long* size) {
    io::IReadFile* file = files->createAndOpenFile(SETTINGS_FILE);
    if (!file) return nullptr;
    *size = file->getSize();
    c8* bytes = *size >= 0 && *size <= MAX_FILE_SIZE ? new c8[*size + 1] : nullptr;
    if (bytes && file->read(bytes, static_cast<u32>(*size)) != static_cast<s32>(*size)) {
        delete[] bytes;
        bytes = nullptr;
    }
    file->drop();
    return bytes;
}

static void RefuseMalformed(const SettingsFileFault& fault) {
    char message[256];
    snprintf(message, sizeof message, "settings file is not well-formed XML (line %ld, column %ld: %s)",
             fault.line, fault.column, fault.reason);
    fprintf(stderr, "%s :", SETTINGS_FILE);
    util_CriticalError(message);
}

void settings_Load() {
    printf("Getting settings from file %s\n", SETTINGS_FILE);
    fflush(stdout);
    io::IFileSystem* files = device ? device->getFileSystem() : nullptr;
    if (!files || !files->existFile(SETTINGS_FILE)) CantOpenForReading();
    long size = 0;
    c8* bytes = ReadWholeFile(files, &size);
    if (!bytes) CantOpenForReading();
    // An empty file holds no settings: the first read of a key reports it.
    if (size == 0) {
        delete[] bytes;
        return;
    }
    SettingsFileFault fault = {0, 0, ""};
    if (!settings_IsWellFormed(bytes, size, &fault)) RefuseMalformed(fault);
    // The engine reads the very bytes that were checked; the memory file frees them when dropped.
    io::IReadFile* checked = files->createMemoryReadFile(bytes, static_cast<s32>(size), SETTINGS_FILE, true);
    if (!checked) CantOpenForReading();
    io::IXMLReader* reader = files->createXMLReader(checked);
    checked->drop();
    if (!reader) CantOpenForReading();
    while (reader->read()) {
        if (reader->getNodeType() != io::EXN_ELEMENT) continue;
        if (!IsAllSettings(reader->getNodeName())) continue;
        AddAttributes(reader);
    }
    reader->drop();
}

// "%lf" of a huge double runs to hundreds of characters: size the line to what it needs.
static std::string FormatLine(const Setting& setting) {
    const char* format = "\t\t\t%s=\"%lf\"\r\n";
    int length = snprintf(nullptr, 0, format, setting.name, setting.value);
    std::string line(static_cast<size_t>(length) + 1, '\0');
    snprintf(&line[0], line.size(), format, setting.name, setting.value);
    line.resize(static_cast<size_t>(length));
    return line;
}

void settings_Save() {
    printf("Writing settings in file %s\n", SETTINGS_FILE);
    fflush(stdout);
    io::IFileSystem* files = device ? device->getFileSystem() : nullptr;
    io::IWriteFile* file = files ? files->createAndWriteFile(SETTINGS_FILE, false) : nullptr;
    if (!file) {
        fprintf(stderr, "%s :", SETTINGS_FILE);
        util_Error("unable to open (writeonly) settings file");
        return;
    }
    file->write(HEADER, sizeof HEADER - 1);
    for (int i = 0; i < settings_count; i++) {
        std::string line = FormatLine(settings_table[i]);
        file->write(line.data(), static_cast<u32>(line.size()));
    }
    file->write(FOOTER, sizeof FOOTER - 1);
    file->drop();
}
