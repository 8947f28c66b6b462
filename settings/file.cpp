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
#include <vector>

#include "app/util.h"

using namespace irr;

static const char HEADER[] =
    "<?xml version=\"1.0\"?>\r\n\t<config>\r\n\t\t<!-- This is the config file of the application -->\r\n"
    "\t\t<all_settings \r\n";
static const char FOOTER[] = "\t\t/>\r\n\t</config>\r\n";

// Far beyond any settings file; a larger one is not read.
static const long long MAX_FILE_SIZE = 16LL << 20;

// One attribute of an all_settings element as the game reads it.
struct FileSetting {
    std::string name;
    double value;
};

static bool IsAllSettings(const wchar_t* name) {
    return name && core::stringw(name) == L"all_settings";
}

// The game's one rule for attribute names: each wide character is cut to its low byte.
static std::string Narrow(const wchar_t* wide) {
    std::string narrow;
    for (; *wide; wide++) narrow += static_cast<char>(static_cast<unsigned>(*wide) & 0xFF);
    return narrow;
}

// "%lf" writes a NaN or an infinity as "nan", "-nan", "inf" or "-inf", which the engine's number reader takes
// for 0: read those back as what they were, so that a saved NaN or infinity stays one. Other values do change
// on the way: the engine reads single precision and the save writes six decimals, so 0.0000004 saves as 0.000000
// and 16777217 as 16777216.000000.
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
static void TakeAttributes(io::IXMLReader* reader, std::vector<FileSetting>& settings) {
    std::unordered_map<std::wstring, int> first_of_name;
    for (u32 i = 0; i < reader->getAttributeCount(); i++) {
        const wchar_t* wide_name = reader->getAttributeName(static_cast<int>(i));
        if (!wide_name) continue;
        int first = first_of_name.emplace(wide_name, static_cast<int>(i)).first->second;
        settings.push_back({Narrow(wide_name), ReadValue(reader, first)});
    }
}

// The settings that the engine's reader finds in bytes the check has let through; false when it gives no reader.
static bool ReadSettings(io::IFileSystem* files, const void* bytes, size_t size, std::vector<FileSetting>& settings) {
    // The memory file only lives while the reader copies it.
    io::IReadFile* checked =
        files->createMemoryReadFile(const_cast<void*>(bytes), static_cast<s32>(size), SETTINGS_FILE, false);
    if (!checked) return false;
    io::IXMLReader* reader = files->createXMLReader(checked);
    checked->drop();
    if (!reader) return false;
    while (reader->read()) {
        if (reader->getNodeType() != io::EXN_ELEMENT) continue;
        if (!IsAllSettings(reader->getNodeName())) continue;
        TakeAttributes(reader, settings);
    }
    reader->drop();
    return true;
}

static void CantOpenForReading() {
    fprintf(stderr, "%s :", SETTINGS_FILE);
    util_CriticalError("unable to open (readonly) settings file");
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
    // The engine reads the very bytes that were checked.
    std::vector<unsigned char> bytes;
    if (!files || !util_ReadRegularFile(SETTINGS_FILE, MAX_FILE_SIZE, bytes)) CantOpenForReading();
    // An empty file holds no settings: the first read of a key reports it.
    if (bytes.empty()) return;
    SettingsFileFault fault = {0, 0, ""};
    if (!settings_IsSafeToRead(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()), &fault))
        RefuseUnsafe(fault);
    std::vector<FileSetting> settings;
    if (!ReadSettings(files, bytes.data(), bytes.size(), settings)) CantOpenForReading();
    for (const FileSetting& setting : settings) settings_Add(setting.name.c_str(), setting.value);
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

// A name that the engine would read as markup (a space, an '=', a '/' or '>' in first place, as the low bytes of a
// wide name can give) would come back as other settings, or lose those after it: the text is read back as the
// next start will read it, and every name must come back as it is. Values may round, as the format has them.
static bool ReadsBack(const std::string& text) {
    io::IFileSystem* files = device ? device->getFileSystem() : nullptr;
    std::vector<FileSetting> settings;
    if (!files || static_cast<long long>(text.size()) > MAX_FILE_SIZE ||
        !settings_IsSafeToRead(text.data(), static_cast<long>(text.size()), nullptr) ||
        !ReadSettings(files, text.data(), text.size(), settings) ||
        settings.size() != static_cast<size_t>(settings_count))
        return false;
    for (int i = 0; i < settings_count; i++)
        if (settings[static_cast<size_t>(i)].name != settings_table[i].name) return false;
    return true;
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

// The new text takes the replaced file's owner, group and mode, the mode last since a change of owner clears the
// set-id bits. Where the owner or the group cannot be kept (another user's file, a group the player is not in), the
// save fails rather than hand the player's file to someone else. A new config.xml gets what creating it would give.
static bool KeepOwnerAndMode(int descriptor, const struct stat* old) {
    if (!old) {
        mode_t mask = umask(0);
        umask(mask);
        return fchmod(descriptor, 0666 & ~mask) == 0;
    }
    struct stat made;
    if (fstat(descriptor, &made) != 0) return false;
    bool same_owner = made.st_uid == old->st_uid && made.st_gid == old->st_gid;
    if (!same_owner && fchown(descriptor, old->st_uid, old->st_gid) != 0) return false;
    return fchmod(descriptor, old->st_mode & 07777) == 0;
}

// Writes the text beside the target, flushes it to the disk and renames it over the target: at every moment the
// target holds either its old bytes or the new ones. The reason for a failure is left in errno.
static bool ReplaceFile(const std::string& target, const std::string& text, const struct stat* old) {
    std::string temporary = target + ".XXXXXX";
    int descriptor = mkostemp(&temporary[0], O_CLOEXEC);
    if (descriptor < 0) return false;
    bool ok = KeepOwnerAndMode(descriptor, old) && WriteAll(descriptor, text) && fsync(descriptor) == 0;
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

// A signal that ends the process while the temporary file exists (Ctrl-C, a hang-up, a kill during the wait in
// fsync) waits until the file is renamed or removed; the faults that a bug raises are left as they are.
static bool ReplaceFileUninterrupted(const std::string& target, const std::string& text, const struct stat* old) {
    sigset_t deferred, previous;
    sigfillset(&deferred);
    for (int fault : {SIGSEGV, SIGBUS, SIGFPE, SIGILL}) sigdelset(&deferred, fault);
    sigprocmask(SIG_BLOCK, &deferred, &previous);
    bool replaced = ReplaceFile(target, text, old);
    int reason = errno;
    sigprocmask(SIG_SETMASK, &previous, nullptr);
    errno = reason;
    return replaced;
}

// Why the save failed, or nullptr when config.xml now holds the store.
static const char* SaveFile() {
    std::string text = FileText();
    if (!ReadsBack(text)) return "the settings would not read back as they are";
    std::string target = SaveTarget();
    if (target.empty()) return strerror(errno);
    struct stat old;
    bool exists = stat(target.c_str(), &old) == 0;
    if (!exists && errno != ENOENT) return strerror(errno);
    // The rename needs only the folder to be writable: a file its player has protected is refused as opening it
    // for writing would refuse it.
    if (exists && faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) return strerror(errno);
    if (!ReplaceFileUninterrupted(target, text, exists ? &old : nullptr)) return strerror(errno);
    return nullptr;
}

void settings_Save() {
    printf("Writing settings in file %s\n", SETTINGS_FILE);
    fflush(stdout);
    const char* reason = SaveFile();
    if (!reason) return;
    std::string why = reason;
    fprintf(stderr, "%s :", SETTINGS_FILE);
    util_Error("unable to open (writeonly) settings file");
    fprintf(stderr, "%s\n", why.c_str());
    fflush(stderr);
}
