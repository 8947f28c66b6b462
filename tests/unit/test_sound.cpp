// Tests of the sound effects, heard through OpenAL Soft's wave-file output in a child process.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>
#include <sys/stat.h>
#include <unistd.h>

#include <AL/alut.h>

#include "app/util.h"
#include "helpers.h"
#include "sound/sound.h"

namespace {

// Loudest sample of a capture. The writer may not have finished the length fields, so the data chunk
// is read to the end of the file. Returns -1 when the file is not a wave capture.
double PeakOf(const std::string& bytes) {
    if (bytes.size() < 12 || bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(8, 4, "WAVE") != 0) return -1;
    int bits = 0;
    size_t at = 12;
    while (at + 8 <= bytes.size()) {
        uint32_t size = 0;
        memcpy(&size, bytes.data() + at + 4, 4);
        if (bytes.compare(at, 4, "fmt ") == 0 && at + 24 <= bytes.size()) {
            uint16_t bits_per_sample = 0;
            memcpy(&bits_per_sample, bytes.data() + at + 22, 2);
            bits = bits_per_sample;
        } else if (bytes.compare(at, 4, "data") == 0) {
            double peak = 0;
            for (size_t sample = at + 8; sample + bits / 8 <= bytes.size() && bits > 0; sample += bits / 8) {
                double value = 0;
                if (bits == 32) {
                    float f;
                    memcpy(&f, bytes.data() + sample, 4);
                    value = f;
                } else if (bits == 16) {
                    int16_t i;
                    memcpy(&i, bytes.data() + sample, 2);
                    value = i / 32768.0;
                } else {
                    return -1;
                }
                peak = std::fmax(peak, std::fabs(value));
            }
            return bits ? peak : -1;
        }
        at += 8 + size + (size & 1);
    }
    return -1;
}

const char* const CAPTURE = "out.wav";

// The wave writer mixes in real time, and later on a busy machine: waits until the capture holds SECONDS more
// of sound than now, time enough for what was started to be heard.
void WaitForMixing(double seconds) {
    auto written = [] {
        struct stat status;
        return stat(CAPTURE, &status) == 0 ? (double)status.st_size : 0.0;
    };
    double start = written(), bytes_per_second = 0;
    while (bytes_per_second <= 0) {
        std::string header(36, '\0');
        FILE* file = fopen(CAPTURE, "rb");
        if (file && fread(&header[0], 1, header.size(), file) == header.size() && header.compare(12, 4, "fmt ") == 0)
            bytes_per_second = (unsigned char)header[28] | (unsigned char)header[29] << 8 | (unsigned char)header[30] << 16;
        if (file) fclose(file);
        if (bytes_per_second <= 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    while (written() < start + seconds * bytes_per_second) std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

// The body runs in a child with OpenAL writing into the scratch folder's capture (or, without a capture
// file, with no audio device at all). Console lines go to the error stream, where EXPECT_EXIT reads them.
[[noreturn]] void RunWithAudio(const ScratchDirectory& scratch, bool has_device, const std::function<void()>& body) {
    std::string config = "[general]\ndrivers=wave\n";
    if (has_device) config += "[wave]\nfile=" + scratch.path() + "/" + CAPTURE + "\n";
    scratch.write("alsoft.conf", config);
    setenv("ALSOFT_CONF", (scratch.path() + "/alsoft.conf").c_str(), 1);
    dup2(STDERR_FILENO, STDOUT_FILENO);
    int argc = 1;
    char name[] = "test_sound";
    char* argv[] = {name, nullptr};
    bool initialised = alutInit(&argc, argv);
    if (initialised != has_device) {
        fprintf(stderr, "audio device %s\n", initialised ? "opened" : "missing");
        exit(2);
    }
    body();
    if (initialised) WaitForMixing(0.4);
    if (initialised) alutExit();
    // The game never releases its sounds; skip the teardown so the child ends as the game would.
    fflush(nullptr);
    _exit(0);
}

void LoadAll() {
    sounds.push_back(sound_Load("data/jump.wav"));
    sounds.push_back(sound_Load("data/walk.wav"));
    sounds.push_back(sound_Load("data/alarm.wav"));
}

const char* const THREE_LINES =
    "Loaded sound: data/jump.wav;[1-9][0-9]*;[1-9][0-9]*\n"
    "Loaded sound: data/walk.wav;[1-9][0-9]*;[1-9][0-9]*\n"
    "Loaded sound: data/alarm.wav;[1-9][0-9]*;[1-9][0-9]*\n";

TEST(Sound, ThreeLoadsInOrderThenTheJumpIsHeard) {
    ScratchDirectory scratch;
    EXPECT_EXIT(RunWithAudio(scratch, true,
                             [] {
                                 LoadAll();
                                 sound_Play(SOUND_JUMP);
                             }),
                testing::ExitedWithCode(0), THREE_LINES);
    EXPECT_GT(PeakOf(scratch.read(CAPTURE)), 0.01);
}

TEST(Sound, LoadingAloneIsSilent) {
    ScratchDirectory scratch;
    EXPECT_EXIT(RunWithAudio(scratch, true, LoadAll), testing::ExitedWithCode(0), THREE_LINES);
    double peak = PeakOf(scratch.read(CAPTURE));
    EXPECT_GE(peak, 0);
    EXPECT_LT(peak, 1e-6);
}

TEST(Sound, MutedPlaysNothing) {
    ScratchDirectory scratch;
    EXPECT_EXIT(RunWithAudio(scratch, true,
                             [] {
                                 LoadAll();
                                 is_mute = true;
                                 for (int index : {SOUND_JUMP, SOUND_WALK, SOUND_WALK, SOUND_ALARM}) sound_Play(index);
                             }),
                testing::ExitedWithCode(0), THREE_LINES);
    double peak = PeakOf(scratch.read(CAPTURE));
    EXPECT_GE(peak, 0);
    EXPECT_LT(peak, 1e-6);
}

// A FIFO named like a sound would hold ALUT's blocking open for ever; it and a folder are as good as missing.
TEST(Sound, MissingFileOrNoRegularFileLoadsAsBufferZeroAndStaysSilent) {
    ScratchDirectory scratch;
    ASSERT_EQ(0, mkfifo("fifo.wav", 0600));
    ASSERT_EQ(0, mkdir("folder.wav", 0700));
    EXPECT_EXIT(RunWithAudio(scratch, true,
                             [] {
                                 alarm(60);
                                 sounds.push_back(sound_Load("data/jump.wav"));
                                 for (const char* name : {"data/nothing.wav", "fifo.wav", "folder.wav"})
                                     sounds.push_back(sound_Load(name));
                                 for (int index : {1, 2, 3}) sound_Play(index);
                             }),
                testing::ExitedWithCode(0),
                "Loaded sound: data/jump.wav;[1-9][0-9]*;[1-9][0-9]*\n"
                "Loaded sound: data/nothing.wav;0;[1-9][0-9]*\n"
                "Loaded sound: fifo.wav;0;[1-9][0-9]*\n"
                "Loaded sound: folder.wav;0;[1-9][0-9]*\n");
    double peak = PeakOf(scratch.read(CAPTURE));
    EXPECT_GE(peak, 0);
    EXPECT_LT(peak, 1e-6);
}

TEST(Sound, WithoutAudioDeviceTheGameGoesOnSilent) {
    ScratchDirectory scratch;
    EXPECT_EXIT(RunWithAudio(scratch, false,
                             [] {
                                 LoadAll();
                                 const int indices[] = {SOUND_JUMP, SOUND_WALK, SOUND_ALARM, 3, -1};
                                 for (int index : indices) sound_Play(index);
                             }),
                testing::ExitedWithCode(0),
                "Loaded sound: data/jump.wav;0;0\nLoaded sound: data/walk.wav;0;0\n"
                "Loaded sound: data/alarm.wav;0;0\n");
}

// A sound cut short, or a bare AU header, must not lead ALUT past the bytes read; memcheck runs this case, with the
// wave writer as the audio device ALUT needs before it reads anything. A data part longer than the file loads what
// is there.
TEST(Sound, DamagedFilesLoadWhatTheyHoldAndNoMore) {
    ScratchDirectory scratch;
    std::string wav = scratch.read("data/jump.wav");
    std::string au = std::string(".snd\0\0\0\x18\x7f\0\0\0\0\0\0\x03\0\0\x56\x22\0\0\0\x01", 24) + wav.substr(44);
    std::vector<std::string> files{au, au.substr(0, 16)};
    for (size_t cut = 1; cut <= 44; cut++) files.insert(files.begin(), wav.substr(0, wav.size() - cut));
    auto load_all = [&] { for (auto& bytes : files) scratch.write("cut", bytes), sound_Load("cut"); };
    EXPECT_EXIT(RunWithAudio(scratch, true, load_all),
                testing::ExitedWithCode(0), "(Loaded sound: cut;[1-9][0-9]*;[1-9][0-9]*\n){45}Loaded sound: cut;0;");
}

// The status line's alarm, heard: it sounds below five seconds left and only then.
void ShowStatusWithTimeLeft(int milliseconds) {
    NullDevice null_device;
    LoadAll();
    is_time_unlimited = false;
    level_deadline = timer->getTime() + milliseconds;
    irr::gui::IGUIStaticText* text = guienv->addStaticText(L"", irr::core::rect<irr::s32>(0, 0, 400, 20));
    util_ShowStatusLine(text, false, 3, 1, 10);
}

TEST(Sound, StatusLineSoundsTheAlarmWhenTimeIsShort) {
    ScratchDirectory scratch;
    EXPECT_EXIT(RunWithAudio(scratch, true, [] { ShowStatusWithTimeLeft(4000); }), testing::ExitedWithCode(0),
                THREE_LINES);
    EXPECT_GT(PeakOf(scratch.read(CAPTURE)), 0.01);
}

TEST(Sound, StatusLineStaysQuietWithTimeToSpareOrMuted) {
    ScratchDirectory scratch;
    EXPECT_EXIT(RunWithAudio(scratch, true,
                             [] {
                                 ShowStatusWithTimeLeft(60000);
                                 is_mute = true;
                                 ShowStatusWithTimeLeft(1000);
                                 is_mute = false;
                                 is_time_unlimited = true;
                                 util_ShowStatusLine(nullptr, false, 3, 1, 10);
                             }),
                testing::ExitedWithCode(0), THREE_LINES);
    double peak = PeakOf(scratch.read(CAPTURE));
    EXPECT_GE(peak, 0);
    EXPECT_LT(peak, 1e-6);
}

}  // namespace
