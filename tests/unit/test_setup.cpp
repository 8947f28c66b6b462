// The console setup wizard driven through its input stream.
#include <gtest/gtest.h>

#include <iostream>
#include <pty.h>
#include <regex>
#include <sstream>
#include <sys/wait.h>

#include "helpers.h"
#include "settings/settings.h"

namespace {

class SetupTest : public ::testing::Test {
protected:
    void SetUp() override { helpers_LoadSettings(helpers_ShippedConfig()); }
    void TearDown() override { settings_Release(); }

    // Runs the wizard on the given input; returns what it printed.
    std::string Run(const std::string& input) {
        std::istringstream stream(input);
        return Run(stream.rdbuf());
    }

    std::string Run(std::streambuf* input) {
        std::streambuf* previous = std::cin.rdbuf(input);
        std::cin.clear();
        testing::internal::CaptureStdout();
        settings_RunSetup();
        std::string output = testing::internal::GetCapturedStdout();
        std::cin.rdbuf(previous);
        std::cin.clear();
        return output;
    }

    // Runs the wizard in a child whose standard output is a terminal in the locale; its CR LF line ends made plain.
    std::string RunOnTerminal(const std::string& input, const char* locale) {
        int terminal = -1;
        pid_t child = forkpty(&terminal, nullptr, nullptr, nullptr);
        if (child == 0) {
            setenv("LC_ALL", locale, 1);
            std::istringstream stream(input);
            std::cin.rdbuf(stream.rdbuf());
            settings_RunSetup();
            _exit(fflush(stdout));
        }
        std::string output;
        char buffer[4096];
        for (ssize_t count; child > 0 && (count = read(terminal, buffer, sizeof buffer)) > 0;)
            output.append(buffer, static_cast<size_t>(count));
        waitpid(child, nullptr, 0);
        return std::regex_replace(output, std::regex("\r\n"), "\n");
    }
};

TEST_F(SetupTest, FullFrenchAnswerSequence) {
    std::string output = Run("b\na\ni\na\nb\nc\na\n");
    // A terminal whose locale speaks UTF-8 gets the accents in UTF-8; any other gets the bytes of the pipe.
    std::string utf8 = std::regex_replace(output, std::regex("\xE9"), "\xC3\xA9");
    EXPECT_EQ(std::regex_replace(utf8, std::regex("\xE8"), "\xC3\xA8"),
              RunOnTerminal("b\na\ni\na\nb\nc\na\n", "C.UTF-8"));
    EXPECT_EQ(output, RunOnTerminal("b\na\ni\na\nb\nc\na\n", "C"));
    // A locale that is named but not installed: its name tells.
    std::string named_utf8 = RunOnTerminal("b\na\ni\na\nb\nc\na\n", "xx.Utf8@x");
    EXPECT_EQ(RunOnTerminal("b\na\ni\na\nb\nc\na\n", "C.UTF-8"), named_utf8);
    EXPECT_EQ(output, RunOnTerminal("b\na\ni\na\nb\nc\na\n", "xx.ISO-8859-1"));
    EXPECT_EQ(1, settings_Get("is_french"));
    EXPECT_EQ(1, settings_Get("difficulty_level"));
    EXPECT_EQ(800, settings_Get("time_counter_speed"));
    EXPECT_EQ(1024, settings_Get("window_size_x"));
    EXPECT_EQ(768, settings_Get("window_size_y"));
    EXPECT_EQ(1, settings_Get("is_fullscreen"));
    EXPECT_EQ(6, settings_Get("driver_type"));
    EXPECT_EQ(4, settings_Get("mouse_rotation_speed"));
    EXPECT_EQ(32, settings_Get("display_bits"));
    EXPECT_EQ(1, settings_Get("moving_cubes"));
    // The later questions speak French, in Latin-1.
    EXPECT_NE(std::string::npos, output.find("\nVeuillez choisir le niveau de difficult\xE9.\n\n"));
    EXPECT_NE(std::string::npos, output.find(" (a) facile\n (b) moyen\n (c) avanc\xE9\n (d) difficile\n"
                                             " (e) transcendant\n\n"));
    EXPECT_NE(std::string::npos, output.find("se d\xE9placent. Choisissez (b) si vous rencontrez des probl\xE8mes"));
    EXPECT_EQ(0u, output.find("\n#################\nApplication setup\n#################\n"
                              "\nPlease select your language :\n\n"
                              " (a) English\n (b) Francais\n (q) quit setup (and save)\n (otherKey) skip this choice\n\n"));
}

TEST_F(SetupTest, TwoLettersOnOneLineAnswerTwoQuestions) {
    std::string output = Run("bc\n");
    EXPECT_EQ(1, settings_Get("is_french"));
    EXPECT_EQ(3.5, settings_Get("difficulty_level"));
    EXPECT_EQ(180, settings_Get("time_counter_speed"));
}

TEST_F(SetupTest, QuitStoresNothingMore) {
    Run("a\nd\nq\n");
    EXPECT_EQ(0, settings_Get("is_french"));
    EXPECT_EQ(5, settings_Get("difficulty_level"));
    EXPECT_EQ(800, settings_Get("window_size_x"));
    EXPECT_EQ(2, settings_Get("driver_type"));
}

TEST_F(SetupTest, QuitAtOnceChangesNothing) {
    Run("q\n");
    EXPECT_EQ(0, settings_Get("is_french"));
    EXPECT_EQ(2, settings_Get("difficulty_level"));
}

TEST_F(SetupTest, OtherKeysSkipTheQuestionAndKeepTheFileLanguage) {
    settings_Set("is_french", 1);
    std::string output = Run("x\nA\nl\n");
    EXPECT_EQ(1, settings_Get("is_french"));
    EXPECT_EQ(2, settings_Get("difficulty_level"));
    EXPECT_EQ(1280, settings_Get("window_size_x"));
    EXPECT_EQ(1024, settings_Get("window_size_y"));
    EXPECT_EQ(1, settings_Get("is_fullscreen"));
    EXPECT_NE(std::string::npos, output.find("Veuillez choisir la resolution d'ecran"));
}

TEST_F(SetupTest, EnglishDifficultyListEndsWithOneLineEnd) {
    std::string output = Run("a\nb\nb\nb\nb\nb\nb\n");
    EXPECT_NE(std::string::npos, output.find(" (d) difficult\n (e) transcendant\n\nPlease select the screen mode"));
    EXPECT_EQ(2, settings_Get("driver_type"));
    EXPECT_EQ(0, settings_Get("moving_cubes"));
}

TEST_F(SetupTest, EndOfInputRepeatsTheLastAnswerUntilTheDriverQuestion) {
    Run("b");
    EXPECT_EQ(1, settings_Get("is_french"));
    EXPECT_EQ(2, settings_Get("difficulty_level"));
    EXPECT_EQ(350, settings_Get("time_counter_speed"));
    EXPECT_EQ(640, settings_Get("window_size_x"));
    EXPECT_EQ(480, settings_Get("window_size_y"));
    EXPECT_EQ(0, settings_Get("is_fullscreen"));
    // The discard step takes the end of input; every later question is skipped.
    EXPECT_EQ(2, settings_Get("driver_type"));
    EXPECT_EQ(4, settings_Get("mouse_rotation_speed"));
    EXPECT_EQ(32, settings_Get("display_bits"));
    EXPECT_EQ(1, settings_Get("moving_cubes"));
}

TEST_F(SetupTest, DiscardStepSwallowsTheCharacterAfterTheScreenMode) {
    // "ia" on one line: the discard step eats the 'a', so the driver question reads 'c'.
    Run("a\na\nia\nc\nb\nb\n");
    EXPECT_EQ(1, settings_Get("driver_type"));
    EXPECT_EQ(4, settings_Get("mouse_rotation_speed"));
    EXPECT_EQ(16, settings_Get("display_bits"));
}

// Standard input from a device of zeros: the discard step gives up after a bounded number of them, as at the end of
// input, and every later question reads a NUL, which no answer is. The stream ends after a million, or a discard
// step without a bound would spin for ever.
class Zeros : public std::streambuf {
public:
    long taken = 0;
protected:
    int_type underflow() override {
        if (taken >= 1000000) return traits_type::eof();
        taken += sizeof zeros_;
        setg(zeros_, zeros_, zeros_ + sizeof zeros_);
        return 0;
    }
private:
    char zeros_[64] = {};
};

TEST_F(SetupTest, EndlessNulCharactersEndTheWizard) {
    Zeros zeros;
    std::string output = Run(&zeros);
    EXPECT_LT(zeros.taken, 10000);
    EXPECT_NE(std::string::npos, output.find("Please select if you want to see the cubes move."));
    EXPECT_EQ(2, settings_Get("driver_type"));
    EXPECT_EQ(1, settings_Get("moving_cubes"));
}

TEST_F(SetupTest, MissingKeyEndsTheWizard) {
    helpers_LoadSettings("<c><all_settings is_french=\"0\"/></c>");
    EXPECT_EXIT(Run("a\na\n"), ::testing::ExitedWithCode(1), "difficulty_level :CRITICAL ERROR : setting unknown");
}

}  // namespace
