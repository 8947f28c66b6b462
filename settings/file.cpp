// The settings file: config.xml read through the engine's XML reader and written back in its fixed format.
#include "settings/settings.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>

#include "app/util.h"

using namespace irr;

static const char HEADER[] =
    "<?xml version=\"1.0\"?>\r\n\t<config>\r\n\t\t<!-- This is the config file of the application -->\r\n"
    "\t\t<all_settings \r\n";
static const char FOOTER[] = "\t\t/>\r\n\t</config>\r\n";

// Far beyond any settings file; a larger one is not read.
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
static double ReadValue(io::IXMLReader* reader, int index) {
    double value = reader->getAttributeValueAsFloat(index);
    const wchar_t* text = reader->getAttributeValue(index);
    if (!text) return value;
    core::stringw spelling(text);
    if (spelling == L"nan") return std::numeric_limits<double>::quiet_NaN();
    if (spelling == L"-nan") return -std::numeric_limits<double>::quiet_NaN();
    if (spelling == L"inf") return std::numeric_limits<double>::infinity();
    if (spelling == L"-inf") return -std::numeric_limits<double>::infinity();
    return value;
}

// A repeated name takes the value of its first attribute in the element, as a lookup by name gives. The reader's own
// lookup by name scans the element's attributes, which made a long file load in quadratic time: each value is read by
// the index of the first attribute of its name instead.
static void AddAttributes(io::IXMLReader* reader) {
    std::unordered_map<std::wstring, int> first_of_name;
    for (u32 i = 0; i < reader->getAttributeCount(); i++) {
        const wchar_t* wide_name = reader->getAttributeName(static_cast<int>(i));
        if (!wide_name) continue;
        int first = first_of_name.emplace(wide_name, static_cast<int>(i)).first->second;
        settings_Add(Narrow(wide_name).c_str(), ReadValue(reader, first));
    }
}

static void CantOpenForReading() {
    fprintf(stderr, "%s :", SETTINGS_FILE);
    util_CriticalError("unable to open (readonly) settings file");
}

// The file's bytes through the engine's file system, in a buffer made for an engine memory file;
// nullptr when it can't be opened or read whole.
static c8* ReadWholeFile(io::IFileSystem* files, long size) {
    io::IReadFile* file = files->createAndOpenFile(SETTINGS_FILE);
    if (!file) return nullptr;
    c8* bytes = file->getSize() == size ? new c8[size + 1] : nullptr;
    if (bytes && file->read(bytes, static_cast<u32>(size)) != static_cast<s32>(size)) {
        delete[] bytes;
        bytes = nullptr;
    }
    file->drop();
    return bytes;
}

static void RefuseUnsafe(const SettingsFileFault& fault) {
    char message[256];
    snprintf(message, sizeof message, "settings file cannot be read safely (line %ld, column %ld: %s)",
             fault.line, fault.column, fault.reason);
    fprintf(stderr, "%s :", SETTINGS_FILE);
    util_CriticalError(message);
}

void settings_Load() {
    printf("Getting settings from file %s\n", SETTINGS_FILE);
    fflush(stdout);
    io::IFileSystem* files = device ? device->getFileSystem() : nullptr;
    // Only a regular file is opened: a FIFO would block the start for ever, a folder or a device reads as nothing.
    long long file_size = util_GetRegularFileSize(SETTINGS_FILE);
    if (!files || file_size < 0 || file_size > MAX_FILE_SIZE) CantOpenForReading();
    long size = static_cast<long>(file_size);
    c8* bytes = ReadWholeFile(files, size);
    if (!bytes) CantOpenForReading();
    // An empty file holds no settings: the first read of a key reports it.
    if (size == 0) {
        delete[] bytes;
        return;
    }
    SettingsFileFault fault = {0, 0, ""};
    if (!settings_IsSafeToRead(bytes, size, &fault)) RefuseUnsafe(fault);
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

static std::string FileText() {
    std::string text = HEADER;
    for (int i = 0; i < settings_count; i++) text += FormatLine(settings_table[i]);
    return text + FOOTER;
}

// The file that config.xml names, its links followed so that a linked settings file stays linked; "" with errno set
// when it can't be told. A missing config.xml is created where it was looked for.
static std::string SaveTarget() {
    char resolved[PATH_MAX];
    if (realpath(SETTINGS_FILE, resolved)) return resolved;
    struct stat link;
    if (errno == ENOENT && lstat(SETTINGS_FILE, &link) != 0 && errno == ENOENT) return SETTINGS_FILE;
    return "";
}

static std::string FolderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

static bool WriteAll(int descriptor, const std::string& text) {
    size_t written = 0;
    while (written < text.size()) {
        ssize_t count = write(descriptor, text.data() + written, text.size() - written);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) {
            if (count == 0) errno = EIO;
            return false;
        }
        written += static_cast<size_t>(count);
    }
    return true;
}

// The mode of the file that is replaced, or what a newly created file gets.
static mode_t ModeFor(const std::string& target) {
    struct stat status;
    if (stat(target.c_str(), &status) == 0) return status.st_mode & 07777;
    mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

// Writes the text beside the target, flushes it to the disk and renames it over the target: at every moment the
// target holds either its old bytes or the new ones. The reason for a failure is left in errno.
static bool ReplaceFile(const std::string& target, const std::string& text) {
    std::string temporary = target + ".XXXXXX";
    int descriptor = mkostemp(&temporary[0], O_CLOEXEC);
    if (descriptor < 0) return false;
    bool ok = fchmod(descriptor, ModeFor(target)) == 0 && WriteAll(descriptor, text) && fsync(descriptor) == 0;
    int saved = errno;
    if (close(descriptor) != 0 && ok) {
        ok = false;
        saved = errno;
    }
    if (ok && rename(temporary.c_str(), target.c_str()) != 0) {
        ok = false;
        saved = errno;
    }
    if (!ok) {
        unlink(temporary.c_str());
        errno = saved;
        return false;
    }
    // The rename itself reaches the disk with the folder.
    int folder = open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        fsync(folder);
        close(folder);
    }
    return true;
}

void settings_Save() {
    // Past a file-size limit the kernel ends the process on a write, the console's own lines to a file included;
    // ignored, the write fails and the failure is reported.
    signal(SIGXFSZ, SIG_IGN);
    printf("Writing settings in file %s\n", SETTINGS_FILE);
    fflush(stdout);
    std::string target = SaveTarget();
    bool saved = !target.empty() && ReplaceFile(target, FileText());
    int reason = errno;
    if (saved) return;
    char message[256];
    snprintf(message, sizeof message, "unable to open (writeonly) settings file (%s)", strerror(reason));
    fprintf(stderr, "%s :", SETTINGS_FILE);
    util_Error(message);
}
