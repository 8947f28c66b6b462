// The settings file: config.xml read through the engine's XML reader and written back in its fixed format.
#include "settings/settings.h"

#include <acl/libacl.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/acl.h>
#include <sys/random.h>
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

// Every value is what the engine's float reader makes of its text, as the game has always read it: "nan", "inf" and
// their kin read as 0 (a saved NaN or infinity comes back as 0), "0e99" as a NaN and "1e39" as an infinity, which the
// settings that need a finite number refuse. The engine reads single precision and the save writes six decimals, so
// 0.0000004 saves as 0.000000 and 16777217 as 16777216.000000.
static double ReadValue(io::IXMLReader* reader, int index) {
    return reader->getAttributeValueAsFloat(index);
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

enum class Parsed { SETTINGS, UNREADABLE, UNSAFE };

// The one way bytes become settings, for the start and for the save's read-back alike: within the size cap, past the
// check, through the engine's reader. The bytes the engine reads are the very bytes that were checked.
static Parsed ParseSettings(const void* bytes, size_t size, std::vector<FileSetting>& settings,
                            SettingsFileFault* fault) {
    io::IFileSystem* files = device ? device->getFileSystem() : nullptr;
    if (!files || static_cast<long long>(size) > MAX_FILE_SIZE) return Parsed::UNREADABLE;
    // An empty file holds no settings: the first read of a key reports it.
    if (size == 0) return Parsed::SETTINGS;
    if (!settings_IsSafeToRead(static_cast<const char*>(bytes), static_cast<long>(size), fault)) return Parsed::UNSAFE;
    return ReadSettings(files, bytes, size, settings) ? Parsed::SETTINGS : Parsed::UNREADABLE;
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

SettingsFileIdentity settings_loaded_file = {false, 0, 0};

void settings_Load() {
    printf("Getting settings from file %s\n", SETTINGS_FILE);
    fflush(stdout);
    std::vector<unsigned char> bytes;
    struct stat read;
    if (!util_ReadRegularFile(SETTINGS_FILE, MAX_FILE_SIZE, bytes, &read)) CantOpenForReading();
    SettingsFileFault fault = {0, 0, ""};
    std::vector<FileSetting> settings;
    Parsed parsed = ParseSettings(bytes.data(), bytes.size(), settings, &fault);
    if (parsed == Parsed::UNSAFE) RefuseUnsafe(fault);
    if (parsed == Parsed::UNREADABLE) CantOpenForReading();
    for (const FileSetting& setting : settings) settings_Add(setting.name.c_str(), setting.value);
    settings_loaded_file = {true, static_cast<unsigned long long>(read.st_dev),
                            static_cast<unsigned long long>(read.st_ino)};
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
    std::vector<FileSetting> settings;
    if (ParseSettings(text.data(), text.size(), settings, nullptr) != Parsed::SETTINGS ||
        settings.size() != static_cast<size_t>(settings_count))
        return false;
    for (int i = 0; i < settings_count; i++)
        if (settings[static_cast<size_t>(i)].name != settings_table[i].name) return false;
    return true;
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

// Why a save failed: an errno, or a reason of the game's own.
struct SaveFault {
    int error;
    const char* reason;
};

static SaveFault Errno() {
    return {errno, nullptr};
}

static const SaveFault NO_FAULT = {0, nullptr};

static bool IsTheFileRead(const struct stat& file) {
    return !settings_loaded_file.known ||
           (settings_loaded_file.device == static_cast<unsigned long long>(file.st_dev) &&
            settings_loaded_file.inode == static_cast<unsigned long long>(file.st_ino));
}

// config.xml opened for writing, as the game's text opens it, but not emptied yet: the file that was read, or a fault.
// Only a store that was not loaded from a file may create it. A config.xml that is a link is followed and said so,
// since the link's own folder is not at hand to replace the file in.
static int OpenTheFileRead(int folder, bool* through_link, SaveFault* fault) {
    int flags = O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC | (settings_loaded_file.known ? 0 : O_CREAT);
    int descriptor = openat(folder, SETTINGS_FILE, flags | O_NOFOLLOW, 0666);
    *through_link = descriptor < 0 && errno == ELOOP;
    if (*through_link) descriptor = openat(folder, SETTINGS_FILE, flags, 0666);
    if (descriptor < 0) {
        *fault = Errno();
        return -1;
    }
    struct stat opened;
    if (fstat(descriptor, &opened) != 0) *fault = Errno();
    else if (!S_ISREG(opened.st_mode)) *fault = {EINVAL, "it is no regular file"};
    else if (!IsTheFileRead(opened)) *fault = {0, "it is no longer the file that was read"};
    else return descriptor;
    close(descriptor);
    return -1;
}

// The player's file written anew through the descriptor that was checked: what it is (owner, group, mode, ACL,
// links) stays, as when an editor writes in place. The room for the new text is taken first, so that a full disk or
// a file-size limit fails before a byte of the old text is lost; the old text's tail is cut off last.
static SaveFault WriteInPlace(int file, const std::string& text) {
    off_t size = static_cast<off_t>(text.size());
    if (fallocate(file, 0, 0, size) != 0 && errno != EOPNOTSUPP && errno != ENOSYS) return Errno();
    if (!WriteAll(file, text) || ftruncate(file, size) != 0 || fsync(file) != 0) return Errno();
    return NO_FAULT;
}

// The access ACL of the old file, if it has more than its mode says; the mode alone is carried by fchmod.
static bool CopyAcl(int from, int to) {
    int extended = acl_extended_fd(from);
    if (extended == 0 || (extended < 0 && (errno == ENOTSUP || errno == ENOSYS))) return true;
    if (extended < 0) return false;
    acl_t acl = acl_get_fd(from);
    if (!acl) return false;
    bool copied = acl_set_fd(to, acl) == 0;
    acl_free(acl);
    return copied;
}

// Makes the new file what the old one is: owner and group first (a change of owner clears the set-id bits), then the
// ACL, the mode last. True only when the outcome is the same owner, group and mode.
static bool MakeIdentical(int made, int old_file, const struct stat& old) {
    struct stat now;
    if (fstat(made, &now) != 0) return false;
    if ((now.st_uid != old.st_uid || now.st_gid != old.st_gid) && fchown(made, old.st_uid, old.st_gid) != 0)
        return false;
    if (!CopyAcl(old_file, made) || fchmod(made, old.st_mode & 07777) != 0 || fstat(made, &now) != 0) return false;
    return now.st_uid == old.st_uid && now.st_gid == old.st_gid && now.st_mode == old.st_mode;
}

// A name beside config.xml that nothing else uses; -1 with errno when none can be made.
static int CreateBeside(int folder, std::string& name) {
    for (int attempt = 0; attempt < 100; attempt++) {
        unsigned char noise[6];
        if (getrandom(noise, sizeof noise, 0) != static_cast<ssize_t>(sizeof noise)) return -1;
        char suffix[16];
        snprintf(suffix, sizeof suffix, ".%02x%02x%02x%02x%02x%02x", noise[0], noise[1], noise[2], noise[3], noise[4],
                 noise[5]);
        name = std::string(SETTINGS_FILE) + suffix;
        int descriptor = openat(folder, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (descriptor >= 0 || errno != EEXIST) return descriptor;
    }
    errno = EEXIST;
    return -1;
}

// Writes the text beside config.xml, flushes it to the disk and renames it over config.xml, all in the one folder:
// at every moment config.xml holds either its old bytes or the new ones. *identical is false, and nothing is left
// behind, when the new file could not be made what the old one is (another owner, a group the player is not in, an
// ACL the file system will not take, a folder the player may not write in): then it is written in place.
static SaveFault ReplaceAtomically(int folder, int old_file, const struct stat& old, const std::string& text,
                                   bool* identical) {
    std::string name;
    int made = CreateBeside(folder, name);
    *identical = made >= 0 || (errno != EACCES && errno != EPERM);
    if (made < 0) return Errno();
    *identical = MakeIdentical(made, old_file, old);
    SaveFault fault = NO_FAULT;
    if (*identical && (!WriteAll(made, text) || fsync(made) != 0)) fault = Errno();
    if (close(made) != 0 && *identical && !fault.error) fault = Errno();
    if (*identical && !fault.error && renameat(folder, name.c_str(), folder, SETTINGS_FILE) != 0) fault = Errno();
    if (!*identical || fault.error) {
        unlinkat(folder, name.c_str(), 0);
        return fault;
    }
    // The rename itself reaches the disk with the folder.
    fsync(folder);
    return NO_FAULT;
}

// The checked file, replaced when the new one can be made identical to it, else written in place.
static SaveFault WriteTheFileRead(int folder, int file, bool through_link, const std::string& text) {
    struct stat old;
    if (fstat(file, &old) != 0) return Errno();
    if (folder >= 0 && !through_link && old.st_nlink == 1) {
        bool identical = false;
        SaveFault fault = ReplaceAtomically(folder, file, old, text, &identical);
        if (identical) return fault;
    }
    return WriteInPlace(file, text);
}

// A signal that ends the process while the save writes (Ctrl-C, a hang-up, a kill during the wait in fsync) waits
// until the file is whole again and no temporary file is left; the faults that a bug raises are left as they are.
static SaveFault WriteUninterrupted(int folder, int file, bool through_link, const std::string& text) {
    sigset_t deferred, previous;
    sigfillset(&deferred);
    for (int fault : {SIGSEGV, SIGBUS, SIGFPE, SIGILL}) sigdelset(&deferred, fault);
    sigprocmask(SIG_BLOCK, &deferred, &previous);
    SaveFault fault = WriteTheFileRead(folder, file, through_link, text);
    sigprocmask(SIG_SETMASK, &previous, nullptr);
    return fault;
}

// Every name is looked up once, in the working folder held open: a file swapped in after the load, a link planted
// in its place or a folder deeper than any path can spell change nothing of what is written where.
static SaveFault SaveFile() {
    std::string text = FileText();
    if (!ReadsBack(text)) return {0, "the settings would not read back as they are"};
    // Without the folder (one the player may not list) the file can still be written in place.
    int folder = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    bool through_link = false;
    SaveFault fault = NO_FAULT;
    int file = OpenTheFileRead(folder >= 0 ? folder : AT_FDCWD, &through_link, &fault);
    if (file >= 0) {
        fault = WriteUninterrupted(folder, file, through_link, text);
        if (close(file) != 0 && !fault.error && !fault.reason) fault = Errno();
    }
    if (folder >= 0) close(folder);
    return fault;
}

void settings_Save() {
    printf("Writing settings in file %s\n", SETTINGS_FILE);
    fflush(stdout);
    SaveFault fault = SaveFile();
    if (!fault.error && !fault.reason) return;
    std::string why = fault.reason ? fault.reason : strerror(fault.error);
    fprintf(stderr, "%s :", SETTINGS_FILE);
    util_Error("unable to open (writeonly) settings file");
    fprintf(stderr, "%s\n", why.c_str());
    fflush(stderr);
}
