// The settings file's check before the engine reads it: what passes, what is refused and where, and the load's refusal.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <sys/stat.h>

#include "app/util.h"
#include "helpers.h"
#include "settings/settings.h"
#include "tests/unit/guard_pages.h"

namespace {

bool Check(const std::string& bytes, SettingsFileFault* fault = nullptr) {
    SettingsFileFault ignored = {0, 0, ""};
    return settings_IsSafeToRead(bytes.data(), static_cast<long>(bytes.size()), fault ? fault : &ignored);
}

// The text as a Windows editor saves "Unicode": UTF-16 after a byte-order mark (the text's characters are one byte).
std::string Utf16(const std::string& text, bool big_endian) {
    std::string wide = big_endian ? "\xFE\xFF" : "\xFF\xFE";
    for (char c : text) {
        wide += big_endian ? '\0' : c;
        wide += big_endian ? c : '\0';
    }
    return wide;
}

const char LENIENT[] =
    "<?xml version=\"1.0\"?>\n<root><!-- a comment -->text<other a=\"9\"/>\n"
    "<deep><all_settings one=\"1\" two=\"2\" one=\"3\"/></deep>\n"
    "<All_settings three=\"3\"/><all_settings last=\"4\"></all_settings></root>\n";

TEST(SafeToRead, AcceptsWhatTheReaderReadsWithinItsBuffer) {
    std::string shipped = helpers_ShippedConfig();
    ASSERT_FALSE(shipped.empty());
    const std::string accepted[] = {
        shipped, Utf16(shipped, false), Utf16(shipped, true), LENIENT, "<a/>", "\xEF\xBB\xBF<a/>",
        "<a b=\"&lt;&gt;&amp;&quot;&apos;&#49;&#x41;\">&#10;<![CDATA[ <x> & ]] ]]></a>",
        "<a b=\"\xE9t\xE9\"><!-- caf\xC3\xA9 --><\xE9l\xE9ment/></a>",
        // What a stricter reader would refuse and this one reads as it stands.
        "<!DOCTYPE config>\n<config/>", "<!DOCTYPE a [<!ENTITY e \"x\">]><a/>", "<a><!-- a < b > c --></a>",
        "<a><!-- a > b --></a>", "<a>&nbsp;</a>", "<a b=\"&nbsp;\"/>", "<config><all_settings a=\"1\"/>",
        "plain text", "<a>\x01</a>", "<a></b>", "<a/><b/>text", "<a b=1/>", "<a / ", "<a /", "<![CDATA[]]>", "<a><!----></a>",
        // An attribute value left open ends the reader's reading: it stops at the end of its text.
        "<a b=\"1", "<a b=", std::string("\xFF\xFE\0\0", 4),
        std::string("\xFF\xFE<\0a\0 \0\x41\x01\x3E\x01=\0'\0" "1\0'\0/\0>\0", 24),
        // U+013E and U+413D are cut to '>' and '=' when loaded: a save of them is refused, not the start.
        std::string("\xFF\xFE<\0a\0 \0\x3E\x01x\0=\0'\0" "1\0'\0/\0>\0", 24),
        std::string("\xFF\xFE<\0a\0 \0x\0\x3D\x41=\0'\0" "1\0'\0/\0>\0", 24),
        // The reader stops at a NUL in text, before or in a value and in CDATA; it steps over one in a comment.
        std::string("<a>\0</b", 8), std::string("<a b=\0", 6), std::string("<a b='\0'/>", 10),
        std::string("<![CD\0", 6), std::string("<a><!-- \0 --></a>", 17), std::string("<a /\0<b/>", 9),
    };
    for (const std::string& bytes : accepted) EXPECT_TRUE(Check(bytes)) << bytes;
}

struct Refusal {
    std::string bytes;
    long line;
    long column;
    const char* reason;
};

TEST(SafeToRead, RefusesEachFaultAtItsPlace) {
    const Refusal refusals[] = {
        {"</c\n", 1, 1, "the file ends inside a closing tag"},
        {"<a></a", 1, 4, "the file ends inside a closing tag"},
        {"<", 1, 1, "the file ends inside a tag"},
        {"<a>\n  <b x=\"1\"", 2, 3, "the file ends inside a tag"},
        {"<a b", 1, 4, "the file ends inside an attribute's name"},
        {"<a b>", 1, 4, "the file ends inside an attribute's name"},
        {"<a><!-- x", 1, 4, "the file ends inside a comment or declaration"},
        {"<a/><!-- 1 < 2 -->", 1, 5, "the file ends inside a comment or declaration"},
        {"<!", 1, 1, "the file ends inside a comment or declaration"},
        {"<?xml version=\"1.0\"", 1, 1, "the file ends inside a processing instruction"},
        {"<a><!x></a>", 1, 4, "a comment or declaration too short for the reader"},
        {"<a><!--></a>", 1, 4, "a comment or declaration too short for the reader"},
        {"<a><![CDAT]]></a>", 1, 4, "a CDATA section too short for its own markers"},
        {"<a><![CDATA]]></a>", 1, 4, "a CDATA section too short for its own markers"},
        {std::string("<all_settings\0x a='1'/>", 23), 1, 14, "a NUL character in a name"},
        {std::string("<a \0b='1'/>", 11), 1, 4, "a NUL character in a name"},
        {"\xFF\xFE", 1, 1, "UTF-32 text cut inside a character"},
        {std::string("\0\0\xFE\xFF\0\0\0<\0", 9), 1, 2, "UTF-32 text cut inside a character"},
        {Utf16("<a>\r\n<b", false), 2, 1, "the file ends inside a tag"},
        {Utf16("<a>\n</a", true), 2, 1, "the file ends inside a closing tag"},
        // The reader turns big-endian text around only up to a NUL: after it, "-->" holds no '>'.
        {Utf16(std::string("<a><!-- \0 --></a>", 17), true), 1, 4, "the file ends inside a comment or declaration"},
        // Without a byte-order mark, UTF-16 is read byte by byte and its zeros end the reading.
        {Utf16("<a/>", false).substr(2), 1, 2, "a NUL character in a name"},
        {"<a b=\"" + std::string(10000, '&') + "\"/>", 1, 7, "more '&' than the reader can replace in time"},
    };
    for (const Refusal& refusal : refusals) {
        const std::string& bytes = refusal.bytes;
        SettingsFileFault fault = {0, 0, ""};
        EXPECT_FALSE(Check(bytes, &fault)) << bytes;
        EXPECT_EQ(refusal.line, fault.line) << bytes;
        EXPECT_EQ(refusal.column, fault.column) << bytes;
        EXPECT_STREQ(refusal.reason, fault.reason) << bytes;
    }
    EXPECT_TRUE(Check("<a b=\"" + std::string(1000, '&') + "\"/>"));
}

class LoadTest : public ::testing::Test {
protected:
    void SetUp() override {
        settings_Release();
        settings_Allocate();
    }
    void TearDown() override { settings_Release(); }
    // Loads the bytes as config.xml with the engine's buffers against guard pages: a read past them crashes.
    void LoadGuarded(const std::string& bytes) {
        settings_Release();
        settings_Allocate();
        scratch_.write("config.xml", bytes);
        testing::internal::CaptureStdout();
        guard_pages_on = true;
        settings_Load();
        guard_pages_on = false;
        testing::internal::GetCapturedStdout();
    }
    ScratchDirectory scratch_;
    NullDevice null_device_;
};

// The guard pages catch what the sanitizers cannot see inside the engine's library.
TEST_F(LoadTest, GuardPagesCatchTheReaderOutsideItsBuffer) {
    EXPECT_DEATH(
        {
            irr::c8* bytes = new irr::c8[3];
            memcpy(bytes, "</c", 3);
            guard_pages_on = true;
            irr::io::IFileSystem* files = device->getFileSystem();
            irr::io::IReadFile* file = files->createMemoryReadFile(bytes, 3, "config.xml", true);
            irr::io::IXMLReader* reader = files->createXMLReader(file);
            while (reader->read()) continue;
            exit(0);
        },
        "");
}

// Every cut of the shipped file, as written and in UTF-16 both ways: refused, or read by the engine within its
// buffers with no setting or all of them; once the root element is closed, the rest of the file is optional.
TEST_F(LoadTest, EveryTruncationOfTheShippedFileIsRefusedOrReadSafely) {
    std::string shipped = helpers_ShippedConfig();
    size_t root_end = shipped.find("</config>") + 9;
    for (int encoding = 0; encoding < 3; encoding++) {
        std::string file = encoding == 0 ? shipped : Utf16(shipped, encoding == 2);
        size_t complete = encoding == 0 ? root_end : 2 + 2 * root_end;
        int refused = 0;
        for (size_t length = 1; length <= file.size(); length++) {
            std::string cut = file.substr(0, length);
            if (!Check(cut)) {
                refused++;
                EXPECT_LT(length, complete) << "encoding " << encoding << ", cut after " << length;
                continue;
            }
            LoadGuarded(cut);
            if (length >= complete) EXPECT_EQ(20, settings_count) << "encoding " << encoding << ", " << length;
            else EXPECT_TRUE(settings_count == 0 || settings_count == 20) << encoding << ", " << length;
        }
        EXPECT_GT(refused, static_cast<int>(file.size() / 4)) << "encoding " << encoding;
    }
}

TEST_F(LoadTest, FileEndingInAClosingTagNeverReachesTheEngine) {
    scratch_.write("config.xml", "</c\n");
    EXPECT_EXIT(settings_Load(), ::testing::ExitedWithCode(1),
                "^config.xml :CRITICAL ERROR : settings file cannot be read safely "
                "\\(line 1, column 1: the file ends inside a closing tag\\) \n$");
}

TEST_F(LoadTest, TruncatedShippedFileNamesWhereItEnds) {
    std::string shipped = helpers_ShippedConfig();
    scratch_.write("config.xml", shipped.substr(0, shipped.find("\t\t/>")));
    EXPECT_EXIT(settings_Load(), ::testing::ExitedWithCode(1),
                "^config.xml :CRITICAL ERROR : settings file cannot be read safely "
                "\\(line 4, column 3: the file ends inside a tag\\) \n$");
    scratch_.write("config.xml", Utf16(shipped.substr(0, shipped.find("window_size_y") + 6), false));
    EXPECT_EXIT(settings_Load(), ::testing::ExitedWithCode(1),
                "^config.xml :CRITICAL ERROR : settings file cannot be read safely "
                "\\(line 9, column 4: the file ends inside an attribute's name\\) \n$");
}

// The one file that holds nothing, as before: the first read of a key reports it.
TEST_F(LoadTest, EmptyFileLoadsNothing) {
    scratch_.write("config.xml", "");
    settings_Load();
    EXPECT_EQ(0, settings_count);
}

// Only a regular file is opened: a FIFO would block the start for ever, a folder reads as nothing.
TEST_F(LoadTest, OnlyARegularFileIsRead) {
    ASSERT_EQ(0, mkfifo("config.xml", 0644));
    EXPECT_EXIT(settings_Load(), ::testing::ExitedWithCode(1),
                "^config.xml :CRITICAL ERROR : unable to open \\(readonly\\) settings file \n$");
    ASSERT_EQ(0, unlink("config.xml"));
    ASSERT_EQ(0, mkdir("config.xml", 0755));
    EXPECT_EXIT(settings_Load(), ::testing::ExitedWithCode(1),
                "^config.xml :CRITICAL ERROR : unable to open \\(readonly\\) settings file \n$");
    ASSERT_EQ(0, rmdir("config.xml"));
    ASSERT_EQ(0, symlink("/dev/zero", "config.xml"));
    EXPECT_EXIT(settings_Load(), ::testing::ExitedWithCode(1),
                "^config.xml :CRITICAL ERROR : unable to open \\(readonly\\) settings file \n$");
}

// What the check lets through, the engine reads as the settings it holds.
TEST_F(LoadTest, AcceptedKindsLoadTheirValues) {
    const std::string settings = "<all_settings a = '1.5' b=\"2&nbsp;\"\r\n c='-3'/>";
    const std::string files[] = {
        "\xEF\xBB\xBF<?xml version='1.0'?><c><!-- x -->" + settings + "<![CDATA[<all_settings d='4'/>]]></c>\n",
        Utf16("<?xml version=\"1.0\"?>\r\n<c>" + settings + "</c>\r\n", false),
        Utf16("<?xml version=\"1.0\"?>\r\n<c>" + settings + "</c>\r\n", true),
        "<!DOCTYPE c [<!ENTITY e \"x\">]>\n<c>" + settings + "</c>",
        "<c><!-- 1 < 2 > 0 --><!-- 3 > 2 -->" + settings + "</c>",
        "<c>&nbsp;" + settings,
        "plain text, then " + settings,
        "<c>" + settings + std::string("\0</c", 4),
    };
    for (const std::string& file : files) {
        LoadGuarded(file);
        ASSERT_EQ(3, settings_count) << file;
        EXPECT_EQ(1.5, settings_Get("a"));
        EXPECT_EQ(2.0, settings_Get("b"));
        EXPECT_EQ(-3.0, settings_Get("c"));
    }
}

// A file the engine reads without a setting in it ends the start, as a file without all_settings does.
TEST_F(LoadTest, FilesWithoutReadableSettingsEndWithTheUnknownSetting) {
    const std::string files[] = {
        "plain text",
        // The reader pairs the comment's '<' with the next '>': the settings fall inside the comment.
        "<c><!-- 1 < 2 --><all_settings is_french=\"1\"/></c>>",
    };
    for (const std::string& file : files) {
        scratch_.write("config.xml", file);
        EXPECT_EXIT(
            {
                settings_Load();
                settings_Get("is_french");
            },
            ::testing::ExitedWithCode(1), "^is_french :CRITICAL ERROR : setting unknown \n$");
    }
}

}  // namespace

namespace {

// Every value reads as the engine's float reader reads it: "nan", "inf" and their kin as 0, so that what the save writes
// for a NaN or an infinity reads back as 0; "0e99" as a NaN and "1e39" as an infinity, which the finite checks refuse.
TEST(NonFiniteValues, ReadAsTheEnginesReaderReadsThem) {
    helpers_LoadSettings(
        "<c><all_settings a=\"nan\" b=\"-inf\" c=\"inf\" d=\"0e99\" e=\"Nan\" f=\"1e39\" g=\"2.5\"/></c>");
    ASSERT_EQ(7, settings_count);
    for (const char* zero : {"a", "b", "c", "e"}) EXPECT_EQ(0.0, settings_Get(zero)) << zero;
    EXPECT_TRUE(std::isnan(settings_Get("d")));
    EXPECT_EQ(std::numeric_limits<double>::infinity(), settings_Get("f"));
    EXPECT_EQ(2.5, settings_Get("g"));
    settings_Release();
}

}  // namespace
