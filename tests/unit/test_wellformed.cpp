// The settings file's check before the engine reads it: what passes, what is refused and where, and the load's refusal.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <sys/stat.h>

#include "app/util.h"
#include "helpers.h"
#include "settings/settings.h"

namespace {

bool Check(const std::string& bytes, SettingsFileFault* fault = nullptr) {
    SettingsFileFault ignored = {0, 0, ""};
    return settings_IsWellFormed(bytes.data(), static_cast<long>(bytes.size()), fault ? fault : &ignored);
}

const char LENIENT[] =
    "<?xml version=\"1.0\"?>\n<root><!-- a comment -->text<other a=\"9\"/>\n"
    "<deep><all_settings one=\"1\" two=\"2\" one=\"3\"/></deep>\n"
    "<All_settings three=\"3\"/><all_settings last=\"4\"></all_settings></root>\n";

TEST(WellFormed, AcceptsWhatTheGameWritesAndReads) {
    std::string shipped = helpers_ShippedConfig();
    ASSERT_FALSE(shipped.empty());
    EXPECT_TRUE(Check(shipped));
    EXPECT_TRUE(Check(LENIENT));
    EXPECT_TRUE(Check("<a/>"));
    EXPECT_TRUE(Check("\xEF\xBB\xBF<a/>"));
    EXPECT_TRUE(Check("<a b = '1'\tc=\"2\" />\r\n<!-- after -->\n<?done here?>"));
    EXPECT_TRUE(Check("<a b=\"&lt;&gt;&amp;&quot;&apos;&#49;&#x41;\">&#10;<![CDATA[ <x> & ]] ]]></a>"));
    EXPECT_TRUE(Check("<a b=\"\xE9t\xE9\"><!-- caf\xC3\xA9 --><\xE9l\xE9ment/></a>"));
    EXPECT_TRUE(Check("<a><a><a></a></a>text > and ]] too</a>"));
}

struct Refusal {
    std::string bytes;
    long line;
    long column;
    const char* reason;
};

TEST(WellFormed, RefusesEachFaultAtItsPlace) {
    const Refusal refusals[] = {
        {"</c\n", 1, 1, "the root element is expected"},
        {"", 1, 1, "there is no root element"},
        {"<?xml version=\"1.0\"?>\r\n", 2, 1, "there is no root element"},
        {"garbage", 1, 1, "the root element is expected"},
        {"<a>\x01</a>", 1, 4, "a control character"},
        {std::string("<a>\0</a>", 8), 1, 4, "a control character"},
        {"<a><b></a></b>", 1, 7, "the closing tag does not match the open element"},
        {"<a/><b/>", 1, 5, "content after the root element"},
        {"<a/>text", 1, 5, "content after the root element"},
        {"<a>\n  <b x=\"1\"", 2, 3, "the file ends inside a tag"},
        {"<a b=\"1", 1, 6, "the file ends inside an attribute value"},
        {"<a b=1/>", 1, 6, "an attribute value must be quoted"},
        {"<a b/>", 1, 5, "an attribute without '=' and a value"},
        {"<a b='1'c='2'/>", 1, 9, "a space is expected between attributes"},
        {"<a b='<'/>", 1, 7, "'<' in an attribute value"},
        {"<a>&nbsp;</a>", 1, 4, "an unknown entity reference"},
        {"<a>&#0;</a>", 1, 4, "a bad character reference"},
        {"<a>&#x110000;</a>", 1, 4, "a bad character reference"},
        {"<a>&#;</a>", 1, 4, "a bad character reference"},
        {"<a>]]></a>", 1, 4, "']]>' in text"},
        {"<a><!-- x", 1, 4, "the file ends inside a comment"},
        {"<a><!-- a -- b --></a>", 1, 11, "'--' inside a comment"},
        {"<a><!-- 1 < 2 --></a>", 1, 11, "a comment holds '<' or '>'"},
        {"<a><? x?></a>", 1, 6, "a name is expected"},
        {"<a><?x a>b?></a>", 1, 9, "a processing instruction holds '>'"},
        {"<a><?x ", 1, 4, "the file ends inside a processing instruction"},
        {"<a/><?xml version=\"1.0\"?>", 1, 5, "an XML declaration that is not at the start"},
        {"<!DOCTYPE a><a/>", 1, 1, "a document type declaration, which the settings file never holds"},
        {"<a><!ELEMENT a></a>", 1, 4, "markup the settings file never holds"},
        {"<a><![CDATA[ x </a>", 1, 4, "the file ends inside a CDATA section"},
        {"<a>\r\n<b>\r\n", 3, 1, "the file ends before every element is closed"},
        {"<a></ a>", 1, 6, "a name is expected"},
        {"<a></a", 1, 4, "the file ends inside a closing tag"},
        {"<a></a x>", 1, 8, "'>' is expected to end the closing tag"},
    };
    for (const Refusal& refusal : refusals) {
        const std::string& bytes = refusal.bytes;
        SettingsFileFault fault = {0, 0, ""};
        EXPECT_FALSE(Check(bytes, &fault)) << bytes;
        EXPECT_EQ(refusal.line, fault.line) << bytes;
        EXPECT_EQ(refusal.column, fault.column) << bytes;
        EXPECT_STREQ(refusal.reason, fault.reason) << bytes;
    }
}

// A file cut anywhere before the end of its root element is refused; once the root is closed, the rest is optional.
TEST(WellFormed, EveryTruncationOfTheShippedFileIsRefused) {
    std::string shipped = helpers_ShippedConfig();
    size_t root_end = shipped.find("</config>");
    ASSERT_NE(std::string::npos, root_end);
    root_end += 9;
    for (size_t length = 0; length <= shipped.size(); length++) {
        bool expected = length >= root_end;
        EXPECT_EQ(expected, Check(shipped.substr(0, length))) << "cut after " << length << " bytes";
    }
}

TEST(WellFormed, ReportsTheLineAndColumnOfATruncatedSetting) {
    std::string shipped = helpers_ShippedConfig();
    size_t cut = shipped.find("window_size_y=\"6");
    ASSERT_NE(std::string::npos, cut);
    SettingsFileFault fault = {0, 0, ""};
    EXPECT_FALSE(Check(shipped.substr(0, cut + 16), &fault));
    EXPECT_EQ(9, fault.line);
    EXPECT_EQ(18, fault.column);
    EXPECT_STREQ("the file ends inside an attribute value", fault.reason);
}

class LoadTest : public ::testing::Test {
protected:
    void SetUp() override {
        settings_Release();
        settings_Allocate();
    }
    void TearDown() override { settings_Release(); }
    ScratchDirectory scratch_;
    NullDevice null_device_;
};

TEST_F(LoadTest, FileEndingInAClosingTagNeverReachesTheEngine) {
    scratch_.write("config.xml", "</c\n");
    EXPECT_EXIT(settings_Load(), ::testing::ExitedWithCode(1),
                "^config.xml :CRITICAL ERROR : settings file is not well-formed XML "
                "\\(line 1, column 1: the root element is expected\\) \n$");
}

TEST_F(LoadTest, TruncatedShippedFileNamesWhereItEnds) {
    std::string shipped = helpers_ShippedConfig();
    scratch_.write("config.xml", shipped.substr(0, shipped.find("\t\t/>")));
    EXPECT_EXIT(settings_Load(), ::testing::ExitedWithCode(1),
                "^config.xml :CRITICAL ERROR : settings file is not well-formed XML "
                "\\(line 4, column 3: the file ends inside a tag\\) \n$");
}

TEST_F(LoadTest, GarbageIsRefused) {
    scratch_.write("config.xml", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16));
    EXPECT_EXIT(settings_Load(), ::testing::ExitedWithCode(1),
                "^config.xml :CRITICAL ERROR : settings file is not well-formed XML \\(line 2, column 1: a control "
                "character\\) \n$");
}

// The one file that is not XML and still loads, as before: nothing, and the first read of a key reports it.
TEST_F(LoadTest, EmptyFileLoadsNothing) {
    scratch_.write("config.xml", "");
    settings_Load();
    EXPECT_EQ(0, settings_count);
}

TEST_F(LoadTest, FolderNamedLikeTheFileCannotBeRead) {
    ASSERT_EQ(0, mkdir("config.xml", 0755));
    EXPECT_EXIT(settings_Load(), ::testing::ExitedWithCode(1),
                "^config.xml :CRITICAL ERROR : unable to open \\(readonly\\) settings file \n$");
}

// What the check lets through, the engine reads as the settings it holds.
TEST_F(LoadTest, AcceptedSpellingsLoadTheirValues) {
    scratch_.write("config.xml",
                   "\xEF\xBB\xBF<?xml version='1.0'?><c><!-- x --><all_settings a = '1.5' b=\"2\"\r\n c='-3'/>"
                   "<![CDATA[<all_settings d='4'/>]]></c>\n");
    settings_Load();
    ASSERT_EQ(3, settings_count);
    EXPECT_EQ(1.5, settings_Get("a"));
    EXPECT_EQ(2.0, settings_Get("b"));
    EXPECT_EQ(-3.0, settings_Get("c"));
}

}  // namespace

namespace {

// The wizard's save writes every value with "%lf": what it writes for a NaN or an infinity must read back the same.
TEST(NonFiniteValues, SurviveSavingAndLoading) {
    helpers_LoadSettings(
        "<c><all_settings a=\"nan\" b=\"-inf\" c=\"inf\" d=\"0e99\" e=\"Nan\" f=\"1e39\" g=\"2.5\"/></c>");
    ASSERT_EQ(7, settings_count);
    EXPECT_TRUE(std::isnan(settings_Get("a")));
    EXPECT_EQ(-std::numeric_limits<double>::infinity(), settings_Get("b"));
    EXPECT_EQ(std::numeric_limits<double>::infinity(), settings_Get("c"));
    // The engine's own reading of other spellings stays: 0 times an overflowed power of ten, another spelling.
    EXPECT_TRUE(std::isnan(settings_Get("d")));
    EXPECT_EQ(0.0, settings_Get("e"));
    EXPECT_EQ(std::numeric_limits<double>::infinity(), settings_Get("f"));
    std::string saved;
    {
        ScratchDirectory scratch;
        NullDevice null_device;
        settings_Save();
        saved = scratch.read("config.xml");
    }
    EXPECT_NE(std::string::npos, saved.find("\t\t\tb=\"-inf\"\r\n"));
    helpers_LoadSettings(saved);
    ASSERT_EQ(7, settings_count);
    EXPECT_TRUE(std::isnan(settings_Get("a")));
    EXPECT_EQ(-std::numeric_limits<double>::infinity(), settings_Get("b"));
    EXPECT_EQ(std::numeric_limits<double>::infinity(), settings_Get("c"));
    EXPECT_TRUE(std::isnan(settings_Get("d")));
    EXPECT_EQ(0.0, settings_Get("e"));
    EXPECT_EQ(std::numeric_limits<double>::infinity(), settings_Get("f"));
    EXPECT_EQ(2.5, settings_Get("g"));
    settings_Release();
}

}  // namespace
