// The real binary's command line: the one option, its refusals, and the wizard rewriting config.xml.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <sys/wait.h>

#include "helpers.h"

namespace {

struct GameRun {
    int status;
    std::string output;  // standard output and standard error, in order
};

// Runs the game in the current (scratch) folder without a display, so that it ends at the window.
GameRun RunGame(const std::string& arguments, const std::string& input = "") {
    std::string command = "printf '" + input + "' | env -u DISPLAY " + KORVANIX_GAME_DIR "/korvanix " +
                          arguments + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    GameRun run{-1, ""};
    if (!pipe) return run;
    char buffer[4096];
    size_t length;
    while ((length = fread(buffer, 1, sizeof buffer, pipe)) > 0) run.output.append(buffer, length);
    int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

const char REFUSAL[] = "The only option is --setup. Read the readme.html for more help.\n";

TEST(CommandLine, AnythingButSetupIsRefused) {
    ScratchDirectory scratch;
    scratch.write("config.xml", helpers_ShippedConfig());
    for (const char* argument : {"--Setup", "-setup", "--setup=1", "--SETUP", "setup", "x"}) {
        GameRun run = RunGame(argument);
        EXPECT_EQ(1, run.status) << argument;
        EXPECT_EQ(std::string("Getting settings from file config.xml\n") + REFUSAL, run.output) << argument;
    }
}

TEST(CommandLine, MissingSettingsFileEndsBeforeAnyWindow) {
    ScratchDirectory scratch;
    GameRun run = RunGame("");
    EXPECT_EQ(1, run.status);
    EXPECT_EQ("Getting settings from file config.xml\n"
              "config.xml :CRITICAL ERROR : unable to open (readonly) settings file \n",
              run.output);
}

TEST(CommandLine, SetupRewritesTheFileByteForByte) {
    ScratchDirectory scratch;
    std::string shipped = helpers_ShippedConfig();
    scratch.write("config.xml", shipped);
    // Arguments after --setup are ignored.
    GameRun run = RunGame("--setup extra", "b\\na\\ni\\na\\nb\\nc\\na\\n");
    EXPECT_NE(std::string::npos, run.output.find("\nWriting on disk...\nWriting settings in file config.xml\n"
                                                 "\nLaunching game, please wait...\n"));
    std::string expected = shipped;
    auto replace = [&expected](const std::string& from, const std::string& to) {
        size_t at = expected.find(from);
        ASSERT_NE(std::string::npos, at) << from;
        expected.replace(at, from.size(), to);
    };
    replace("is_french=\"0.000000\"", "is_french=\"1.000000\"");
    replace("difficulty_level=\"2.000000\"", "difficulty_level=\"1.000000\"");
    replace("time_counter_speed=\"350.000000\"", "time_counter_speed=\"800.000000\"");
    replace("window_size_x=\"800.000000\"", "window_size_x=\"1024.000000\"");
    replace("window_size_y=\"600.000000\"", "window_size_y=\"768.000000\"");
    replace("is_fullscreen=\"0.000000\"", "is_fullscreen=\"1.000000\"");
    replace("driver_type=\"2.000000\"", "driver_type=\"6.000000\"");
    EXPECT_EQ(expected, scratch.read("config.xml"));
}

TEST(CommandLine, WithoutSetupTheFileIsNeverWritten) {
    ScratchDirectory scratch;
    std::string shipped = helpers_ShippedConfig();
    scratch.write("config.xml", shipped);
    GameRun run = RunGame("");
    EXPECT_EQ(std::string::npos, run.output.find("Writing on disk"));
    EXPECT_EQ(std::string::npos, run.output.find("Launching game"));
    EXPECT_EQ(shipped, scratch.read("config.xml"));
}

}  // namespace
