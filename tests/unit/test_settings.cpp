// The settings store and the settings file: order, first matches, growth, the exact file format, errors.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <csignal>
#include <dirent.h>
#include <fstream>
#include <limits>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "app/util.h"
#include "helpers.h"
#include "settings/settings.h"

// The save's writes can be cut short: past this many bytes, the signal is sent in the middle of its write.
static long kill_after_bytes = -1;
static int kill_signal = SIGKILL;

extern "C" ssize_t write(int descriptor, const void* bytes, size_t count) {
    if (kill_after_bytes < 0 || descriptor <= STDERR_FILENO)
        return syscall(SYS_write, descriptor, bytes, count);
    size_t allowed = count < static_cast<size_t>(kill_after_bytes) ? count : static_cast<size_t>(kill_after_bytes);
    kill_after_bytes = -1;
    ssize_t written = syscall(SYS_write, descriptor, bytes, allowed);
    kill(getpid(), kill_signal);
    return written;
}

namespace {

const char HEADER[] =
    "<?xml version=\"1.0\"?>\r\n\t<config>\r\n\t\t<!-- This is the config file of the application -->\r\n"
    "\t\t<all_settings \r\n";
const char FOOTER[] = "\t\t/>\r\n\t</config>\r\n";

std::string FileOf(const std::string& lines) {
    return std::string(HEADER) + lines + FOOTER;
}

// The working folder's config.xml loaded as at start-up, with the windowless device alone: the file the save writes.
void LoadHere(const std::string& xml) {
    std::ofstream("config.xml", std::ios::binary) << xml;
    settings_Release();
    settings_Load();
    driver = nullptr;
    guienv = nullptr;
}

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        settings_Release();
        settings_Allocate();
    }
    void TearDown() override { settings_Release(); }
};

TEST_F(SettingsTest, ReadsAndWritesReachTheFirstRecordOfAName) {
    settings_Add("speed", 1.0);
    settings_Add("speed", 2.0);
    settings_Add("other", 3.0);
    EXPECT_EQ(1.0, settings_Get("speed"));
    settings_Set("speed", 5.0);
    EXPECT_EQ(5.0, settings_Get("speed"));
    EXPECT_EQ(2.0, settings_table[1].value);
    EXPECT_EQ(3, settings_count);
    EXPECT_STREQ("other", settings_table[2].name);
}

TEST_F(SettingsTest, GrowsPastOneHundredRecordsWithNothingLost) {
    char name[32];
    for (int i = 0; i < 250; i++) {
        snprintf(name, sizeof name, "key_%d", i);
        settings_Add(name, i * 0.5);
        if (i == 98) { EXPECT_EQ(100, settings_capacity); }
        if (i == 99) { EXPECT_EQ(200, settings_capacity); }
    }
    EXPECT_EQ(400, settings_capacity);
    EXPECT_EQ(250, settings_count);
    for (int i = 0; i < 250; i++) {
        snprintf(name, sizeof name, "key_%d", i);
        EXPECT_STREQ(name, settings_table[i].name);
        EXPECT_EQ(i * 0.5, settings_Get(name));
    }
}

TEST_F(SettingsTest, ReadsFlagsAndIntegersByTheSameRules) {
    settings_Add("half", 0.5);
    settings_Add("minus", -2.7);
    settings_Add("almost", 0.9);
    settings_Add("nan", std::nan(""));
    EXPECT_TRUE(settings_GetFlag("half"));
    EXPECT_TRUE(settings_GetFlag("minus"));
    EXPECT_TRUE(settings_GetFlag("nan"));
    EXPECT_EQ(0, settings_GetInt("almost"));
    EXPECT_EQ(-2, settings_GetInt("minus"));
    EXPECT_EQ(0, settings_GetInt("nan"));
}

TEST(SettingsToInt, DefinesWhatCppLeavesUndefined) {
    EXPECT_EQ(INT_MAX, settings_ToInt(1e30));
    EXPECT_EQ(INT_MIN, settings_ToInt(-1e30));
    EXPECT_EQ(INT_MAX, settings_ToInt(std::numeric_limits<double>::infinity()));
    EXPECT_EQ(0, settings_ToInt(std::nan("")));
    EXPECT_EQ(2, settings_ToInt(2.9));
    EXPECT_EQ(6, settings_ToInt(6.5));
}

TEST_F(SettingsTest, UnknownKeyEndsWithTheKeyOnTheErrorLine) {
    settings_Add("is_French", 1);
    EXPECT_EXIT(settings_Get("is_french"), ::testing::ExitedWithCode(1),
                "^is_french :CRITICAL ERROR : setting unknown \n$");
    EXPECT_EXIT(settings_Set("size", 1), ::testing::ExitedWithCode(1), "^size :CRITICAL ERROR : setting unknown \n$");
}

TEST_F(SettingsTest, EmptyStoreKnowsNoKey) {
    EXPECT_EXIT(settings_Get("is_french"), ::testing::ExitedWithCode(1), "setting unknown");
}

TEST(SettingsFile, MissingFileIsACriticalError) {
    ScratchDirectory scratch;
    NullDevice null_device;
    settings_Release();
    settings_Allocate();
    EXPECT_EXIT(settings_Load(), ::testing::ExitedWithCode(1),
                "^config.xml :CRITICAL ERROR : unable to open \\(readonly\\) settings file \n$");
}

TEST(SettingsFile, SaveAfterLoadIsByteExact) {
    std::string shipped = helpers_ShippedConfig();
    ASSERT_FALSE(shipped.empty());
    ScratchDirectory scratch;
    NullDevice null_device;
    for (int depth = 0; depth < 25; depth++)  // deeper than any absolute path can spell
        ASSERT_TRUE(mkdir(std::string(200, 'd').c_str(), 0700) == 0 && chdir(std::string(200, 'd').c_str()) == 0);
    LoadHere(shipped);
    EXPECT_EQ(20, settings_count);
    testing::internal::CaptureStderr();
    settings_Save();
    EXPECT_EQ("", testing::internal::GetCapturedStderr());
    std::ifstream saved("config.xml", std::ios::binary);
    EXPECT_EQ(shipped, std::string(std::istreambuf_iterator<char>(saved), {}));
    settings_Release();
}

TEST(SettingsFile, ValuesAreReadInSinglePrecisionAndWrittenWithSixDecimals) {
    ScratchDirectory scratch;
    NullDevice null_device;
    LoadHere(FileOf("\t\t\tfirst=\"0.1\"\r\n\t\t\tsecond=\"0.15\"\r\n\t\t\tbig=\"1280\"\r\n"));
    EXPECT_EQ(static_cast<double>(0.1f), settings_Get("first"));
    settings_Save();
    EXPECT_EQ(FileOf("\t\t\tfirst=\"0.100000\"\r\n\t\t\tsecond=\"0.150000\"\r\n\t\t\tbig=\"1280.000000\"\r\n"),
              scratch.read("config.xml"));
    settings_Release();
}

TEST(SettingsFile, HugeValuesAreWrittenWhole) {
    settings_Release();
    settings_Allocate();
    settings_Add("huge", 1e300);
    ScratchDirectory scratch;
    NullDevice null_device;
    settings_Save();
    std::string file = scratch.read("config.xml");
    char expected[512];
    snprintf(expected, sizeof expected, "\t\t\thuge=\"%lf\"\r\n", 1e300);
    EXPECT_GT(strlen(expected), 300u);
    EXPECT_EQ(FileOf(expected), file);
    settings_Release();
}

TEST(SettingsFile, LoadingIsLenient) {
    helpers_LoadSettings(
        "<?xml version=\"1.0\"?>\n<root><!-- a comment -->text<other a=\"9\"/>\n"
        "<deep><all_settings one=\"1\" two=\"2\" one=\"3\"/></deep>\n"
        "<All_settings three=\"3\"/><all_settings last=\"4\"></all_settings></root>\n");
    ASSERT_EQ(4, settings_count);
    EXPECT_STREQ("one", settings_table[0].name);
    EXPECT_STREQ("two", settings_table[1].name);
    EXPECT_STREQ("one", settings_table[2].name);
    EXPECT_STREQ("last", settings_table[3].name);
    // Two attributes of one name both get the value of the first.
    EXPECT_EQ(1.0, settings_table[2].value);
    EXPECT_EQ(4.0, settings_Get("last"));
    settings_Release();
}

TEST(SettingsFile, FileWithoutSettingsLoadsNothing) {
    helpers_LoadSettings("<?xml version=\"1.0\"?>\n<config></config>\n");
    EXPECT_EQ(0, settings_count);
    settings_Release();
}

TEST(SettingsFile, UnwritableFileIsReportedAndStartUpGoesOn) {
    settings_Release();
    settings_Allocate();
    settings_Add("a", 1);
    ScratchDirectory scratch;
    NullDevice null_device;
    ASSERT_EQ(0, mkdir("config.xml", 0755));
    // As during start-up, only the windowless device exists: no driver, no GUI.
    driver = nullptr;
    guienv = nullptr;
    testing::internal::CaptureStderr();
    settings_Save();
    EXPECT_EQ("config.xml :ERROR : unable to open (writeonly) settings file \nIs a directory\n",
              testing::internal::GetCapturedStderr());
    settings_Release();
}

// A save that fails anywhere leaves the old file as it was, reports why, and leaves no temporary file behind.
class FailedSaveTest : public ::testing::Test {
protected:
    void SetUp() override {
        settings_Release();
        settings_Allocate();
        settings_Add("a", 1);
        settings_Add("b", 2);
        scratch_.write("config.xml", OLD);
        driver = nullptr;
        guienv = nullptr;
    }
    void TearDown() override {
        chmod(scratch_.path().c_str(), 0700);
        settings_Release();
    }
    void ExpectOldFileAlone(const std::string& file = OLD) {
        EXPECT_EQ(file, scratch_.read("config.xml"));
        std::vector<std::string> names;
        DIR* folder = opendir(scratch_.path().c_str());
        ASSERT_NE(nullptr, folder);
        while (dirent* entry = readdir(folder)) names.push_back(entry->d_name);
        closedir(folder);
        EXPECT_EQ(4u, names.size()) << "only ., .., data and config.xml";
    }
    static constexpr const char* OLD = "<c><all_settings a=\"5\" b=\"6\"/></c>\n";
    ScratchDirectory scratch_;
    NullDevice null_device_;
};

void SaveUnderFileSizeLimit(rlim_t limit) {
    signal(SIGXFSZ, SIG_IGN);  // as the game's entry point does
    rlimit file_size;
    file_size.rlim_cur = limit;
    file_size.rlim_max = limit;
    setrlimit(RLIMIT_FSIZE, &file_size);
    settings_Save();
    exit(0);
}

void SaveAsNobody() {
    if (geteuid() == 0 && setuid(65534) != 0) exit(2);
    settings_Save();
    exit(0);
}

#define SAVE_FAILED "^config.xml :ERROR : unable to open \\(writeonly\\) settings file \n"

// A limit of 150 bytes fails the second write of the text, a limit of nothing the first; a full disk fails either way.
// Under a limit of nothing the error line cannot be seen: the test's error stream is a file under the same limit.
TEST_F(FailedSaveTest, FileSizeLimitReached) {
    EXPECT_EXIT(SaveUnderFileSizeLimit(150), ::testing::ExitedWithCode(0), SAVE_FAILED "File too large\n$");
    ExpectOldFileAlone();
    EXPECT_EXIT(SaveUnderFileSizeLimit(0), ::testing::ExitedWithCode(0), "");
    ExpectOldFileAlone();
    ASSERT_EQ(0, link("config.xml", "second.xml"));  // written in place, it is not cut short either
    EXPECT_EXIT(SaveUnderFileSizeLimit(150), ::testing::ExitedWithCode(0), SAVE_FAILED "File too large\n$");
    ASSERT_EQ(0, unlink("second.xml"));
    ExpectOldFileAlone();
}

TEST_F(FailedSaveTest, ReadOnlyFolderOrProtectedFile) {
    ASSERT_EQ(0, chmod(scratch_.path().c_str(), 0555));
    // The superuser writes anywhere: the save runs as nobody, as a player would.
    EXPECT_EXIT(SaveAsNobody(), ::testing::ExitedWithCode(0), SAVE_FAILED "Permission denied\n$");
    ExpectOldFileAlone();
    // In a folder open to all, a file its player has write-protected.
    ASSERT_EQ(0, chmod(scratch_.path().c_str(), 0777));
    ASSERT_EQ(0, chmod("config.xml", 0444));
    ASSERT_TRUE(geteuid() != 0 || chown("config.xml", 65534, 0) == 0);
    EXPECT_EXIT(SaveAsNobody(), ::testing::ExitedWithCode(0), SAVE_FAILED "Permission denied\n$");
    ExpectOldFileAlone();
    ASSERT_EQ(0, chmod("config.xml", 0666));
    settings_Add("c d", 3);  // written as c d="3.000000", it would read back as c
    EXPECT_EXIT(SaveAsNobody(), ::testing::ExitedWithCode(0), SAVE_FAILED "the settings would not read back");
    ExpectOldFileAlone();
}

// While the wizard waits for its answers on a FIFO, config.xml is made a link to another file: nothing is written.
TEST_F(FailedSaveTest, FileSwappedDuringTheWizardIsNotWritten) {
    settings_Load();
    scratch_.write("other", "other");
    ASSERT_EQ(0, mkfifo("answers", 0600));
    EXPECT_EXIT(
        {
            if (fork() == 0) _exit(system("exec 3>answers; mv config.xml read; ln -s other config.xml; echo q >&3"));
            if (freopen("answers", "r", stdin)) settings_RunSetup();
            settings_Save();
            exit(0);
        },
        ::testing::ExitedWithCode(0), SAVE_FAILED "it is no longer the file that was read");
    EXPECT_EQ(std::string("other") + OLD, scratch_.read("other") + scratch_.read("read"));
}

void KillTheWrite(int signal_number) {
    kill_after_bytes = 100;
    kill_signal = signal_number;
    settings_Save();
    exit(0);
}

// Killed in the middle of its write, as a kill -9 or a power cut would end it, the save leaves the old file whole;
// a signal it can hold off waits until the file is saved, and no temporary file is left.
TEST_F(FailedSaveTest, KilledInTheMiddleOfItsWrite) {
    for (int signal_number : {SIGTERM, SIGINT, SIGHUP}) {
        EXPECT_EXIT(KillTheWrite(signal_number), ::testing::KilledBySignal(signal_number), "");
        ExpectOldFileAlone(FileOf("\t\t\ta=\"1.000000\"\r\n\t\t\tb=\"2.000000\"\r\n"));
        scratch_.write("config.xml", OLD);
    }
    EXPECT_EXIT(KillTheWrite(SIGKILL), ::testing::KilledBySignal(SIGKILL), "");
    EXPECT_EQ(OLD, scratch_.read("config.xml"));
}

// The new text goes into the file that config.xml names: a symbolic link stays a link to it, owner and mode stay, and
// every hard link of it, config.xml itself one of them, gives the new text.
TEST(SettingsFile, SaveWritesTheLinkedFileAndKeepsItsMode) {
    settings_Release();
    settings_Allocate();
    settings_Add("a", 1);
    ScratchDirectory scratch;
    NullDevice null_device;
    ASSERT_EQ(0, mkdir("elsewhere", 0755));
    scratch.write("elsewhere/settings.xml", "old");
    ASSERT_EQ(0, chmod("elsewhere/settings.xml", 0640));
    ASSERT_TRUE(geteuid() != 0 || chown("elsewhere/settings.xml", 65534, 65534) == 0);
    ASSERT_EQ(0, link("elsewhere/settings.xml", "elsewhere/second.xml"));
    ASSERT_EQ(0, symlink("elsewhere/settings.xml", "config.xml"));
    settings_Save();
    struct stat status;
    ASSERT_EQ(0, lstat("config.xml", &status));
    EXPECT_TRUE(S_ISLNK(status.st_mode));
    EXPECT_EQ(FileOf("\t\t\ta=\"1.000000\"\r\n"), scratch.read("elsewhere/settings.xml"));
    ASSERT_EQ(0, stat("elsewhere/settings.xml", &status));
    EXPECT_EQ(0640u, status.st_mode & 07777);
    EXPECT_EQ(geteuid() == 0 ? 65534 : geteuid(), status.st_uid);
    EXPECT_EQ(FileOf("\t\t\ta=\"1.000000\"\r\n"), scratch.read("elsewhere/second.xml"));
    ASSERT_TRUE(unlink("config.xml") == 0 && link("elsewhere/settings.xml", "config.xml") == 0);
    settings_Set("a", 2);
    settings_Save();
    EXPECT_EQ(FileOf("\t\t\ta=\"2.000000\"\r\n"), scratch.read("elsewhere/second.xml"));
    settings_Release();
}

// The wizard run by a second user through runuser saves another user's file it may write, its own file in a group it
// is not in, and one whose ACL gives a friend write while the group is held to read: each stays what it was.
TEST(SettingsFile, ASecondUsersSaveKeepsWhatTheFileIs) {
    if (geteuid() != 0) GTEST_SKIP() << "only the superuser can run the save as a second user";
    ScratchDirectory scratch;
    const std::string look = "{ stat -c %u:%g:%a config.xml; getfacl -cp config.xml; }";
    for (std::string file : {"root:root 666", "nobody:root 644", "nobody:nogroup 664 u:daemon:rw,g::r"}) {
        scratch.write("config.xml", helpers_ShippedConfig());
        std::string run = "chmod 777 . && set -- " + file + " && chown $1 config.xml && chmod $2 config.xml && " +
                          "{ [ -z \"$3\" ] || setfacl -m $3 config.xml; } && " + look + ">before && echo b | " +
                          "runuser -u nobody -- env -u DISPLAY " KORVANIX_GAME_DIR "/korvanix --setup >/dev/null 2>&1;" +
                          look + ">after";
        ASSERT_EQ(0, system(run.c_str()));
        EXPECT_NE(std::string::npos, scratch.read("config.xml").find("is_french=\"1.000000\"")) << file;
        EXPECT_EQ(scratch.read("before"), scratch.read("after")) << file;
    }
}

}  // namespace
