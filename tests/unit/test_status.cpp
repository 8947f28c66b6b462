// Tests of the frame-rate measure, the time left and the status line.
#include <gtest/gtest.h>

#include <string>

#include "app/util.h"
#include "helpers.h"
#include "sound/sound.h"

using namespace irr;

namespace {

std::wstring Line(bool is_french, int lives, int level, int frame_rate, int distance, int time_left) {
    return util_BuildStatusLine(is_french, lives, level, frame_rate, distance, time_left).c_str();
}

TEST(StatusLine, TheExamplesInBothLanguages) {
    EXPECT_EQ(Line(false, 3, 2, 60, 57, 23400), L"life=3, level=2, FPS=60, distance=57, time=23");
    EXPECT_EQ(Line(false, 3, 2, 60, 57, 4200), L"life=3, level=2, FPS=60, distance=57, time=4 !!!");
    EXPECT_EQ(Line(false, 3, 2, 60, 57, TIME_UNLIMITED), L"life=3, level=2, FPS=60, distance=57");
    EXPECT_EQ(Line(true, 3, 2, 60, 57, 23400), L"vie=3, niveau=2, FPS=60, distance=57, temps=23");
    EXPECT_EQ(Line(true, 3, 2, 60, 57, 4200), L"vie=3, niveau=2, FPS=60, distance=57, temps=4 !!!");
    EXPECT_EQ(Line(true, 3, 2, 60, 57, TIME_UNLIMITED), L"vie=3, niveau=2, FPS=60, distance=57");
}

TEST(StatusLine, NumbersArePlainDecimal) {
    EXPECT_EQ(Line(false, 0, 11, 1, -1, 600000), L"life=0, level=11, FPS=1, distance=-1, time=600");
    EXPECT_EQ(Line(false, 10, 1, 1000, -2, 0), L"life=10, level=1, FPS=1000, distance=-2, time=0 !!!");
    EXPECT_EQ(Line(false, -1, 0, 100, 2147483647, -2147483647 - 1),
              L"life=-1, level=0, FPS=100, distance=2147483647, time=-2147483 !!!");
    EXPECT_EQ(Line(false, 1, 1, 100, -2147483647 - 1, 2147483647),
              L"life=1, level=1, FPS=100, distance=-2147483648, time=2147483");
}

TEST(StatusLine, WarningBelowFiveSeconds) {
    EXPECT_EQ(Line(false, 3, 2, 60, 57, 5000), L"life=3, level=2, FPS=60, distance=57, time=5");
    EXPECT_EQ(Line(false, 3, 2, 60, 57, 4999), L"life=3, level=2, FPS=60, distance=57, time=4 !!!");
    for (int time_left = 999; time_left >= -999; --time_left) {
        ASSERT_EQ(Line(false, 3, 2, 60, 57, time_left), L"life=3, level=2, FPS=60, distance=57, time=0 !!!")
            << time_left;
    }
    EXPECT_EQ(Line(false, 3, 2, 60, 57, -1000), L"life=3, level=2, FPS=60, distance=57");
    EXPECT_EQ(Line(false, 3, 2, 60, 57, -1001), L"life=3, level=2, FPS=60, distance=57, time=-1 !!!");
}

// A null device whose timer moves only when the test says so.
class Clock : public testing::Test {
protected:
    void SetUp() override {
        timer->stop();
        timer->setTime(1000);
        fps = 100;
        fps_skipped_stop = false;
        util_StartFrameWindow();
        is_time_unlimited = false;
        is_mute = false;
    }
    void TearDown() override { timer->start(); }
    NullDevice null_device;
};

TEST_F(Clock, TimeLeftCountsDownThroughTheDeadline) {
    level_deadline = 6000;
    EXPECT_EQ(util_GetTimeLeft(), 5000);
    timer->setTime(6000);
    EXPECT_EQ(util_GetTimeLeft(), 0);
    timer->setTime(6999);
    EXPECT_EQ(util_GetTimeLeft(), -999);
    timer->setTime(7000);
    EXPECT_EQ(util_GetTimeLeft(), TIME_UNLIMITED);
    timer->setTime(7001);
    EXPECT_EQ(util_GetTimeLeft(), -1001);
}

TEST_F(Clock, DeadlineAcrossTheTimerWrap) {
    level_deadline = 500;
    timer->setTime(0xFFFFFF00u);
    EXPECT_EQ(util_GetTimeLeft(), 756);
}

TEST_F(Clock, UnlimitedTimeIgnoresTheDeadline) {
    is_time_unlimited = true;
    level_deadline = 0;
    timer->setTime(50000);
    EXPECT_EQ(util_GetTimeLeft(), TIME_UNLIMITED);
}

TEST_F(Clock, FrameRateOfEachHundredMillisecondWindow) {
    for (u32 now = 1000; now < 1100; now += 20) {
        timer->setTime(now);
        util_CountFrame();
        EXPECT_EQ(fps, 100);
        EXPECT_EQ(util_GetFPS(), 100);
    }
    timer->setTime(1100);
    util_CountFrame();
    EXPECT_EQ(fps, 60);
    EXPECT_EQ(frame_count, 0);
    EXPECT_EQ(fps_last_time, 1100);

    // A window stretched by slow frames counts its real length: 3 frames in 290 ms, then in 400 ms.
    for (u32 now : {1150u, 1199u}) {
        timer->setTime(now);
        util_CountFrame();
    }
    EXPECT_EQ(fps, 60);
    timer->setTime(1390);
    util_CountFrame();
    EXPECT_EQ(fps, 10);
    EXPECT_EQ(fps_last_time, 1390);
    for (u32 now : {1400u, 1480u, 1790u}) {
        timer->setTime(now);
        util_CountFrame();
    }
    EXPECT_EQ(fps, 8);
    // A machine that turns slower still: its first frame of a second looks like a stop, the second one is
    // measured and reads one.
    timer->setTime(2790);
    util_CountFrame();
    EXPECT_EQ(fps, 8);
    timer->setTime(3790);
    util_CountFrame();
    EXPECT_EQ(fps, 1);
    // Three seconds at one frame a second reads as zero, which the readers take as one.
    timer->setTime(6790);
    util_CountFrame();
    EXPECT_EQ(fps, 0);
    EXPECT_EQ(util_GetFPS(), 1);
}

// Stopped for five seconds at 50 frames a second, the game goes on at 50: the frame after the stop is not
// measured, and the frames after it are measured from it.
TEST_F(Clock, AStopDoesNotSlowTheMeasure) {
    for (u32 now = 1020; now <= 1100; now += 20) {
        timer->setTime(now);
        util_CountFrame();
    }
    ASSERT_EQ(fps, 50);
    timer->setTime(6100);
    util_CountFrame();
    EXPECT_EQ(fps, 50);
    EXPECT_EQ(fps_last_time, 6100);
    for (u32 now = 6125; now <= 6200; now += 25) {
        timer->setTime(now);
        util_CountFrame();
    }
    EXPECT_EQ(fps, 40);
}

TEST_F(Clock, ANewWindowLeavesOutTheTimeBeforeIt) {
    timer->setTime(1050);
    util_CountFrame();
    // A level takes two seconds to build: the frames after it are measured from its end.
    timer->setTime(3050);
    util_StartFrameWindow();
    EXPECT_EQ(frame_count, 0);
    EXPECT_EQ(fps, 100);
    for (u32 now = 3070; now <= 3150; now += 20) {
        timer->setTime(now);
        util_CountFrame();
    }
    EXPECT_EQ(fps, 50);
    EXPECT_EQ(fps_last_time, 3150);
    // A timer that went back starts a new window instead of never closing this one.
    timer->setTime(100);
    util_CountFrame();
    EXPECT_EQ(fps_last_time, 100);
    timer->setTime(200);
    util_CountFrame();
    EXPECT_EQ(fps, 20);
}

TEST_F(Clock, ZeroFrameRateReadsAsOne) {
    fps = 0;
    EXPECT_EQ(util_GetFPS(), 1);
    fps = 10;
    EXPECT_EQ(util_GetFPS(), 10);
}

TEST_F(Clock, ShownLineUsesTheMeasuredRateAndTheTimer) {
    gui::IGUIStaticText* text = guienv->addStaticText(L"", core::rect<s32>(0, 0, 400, 20));
    ASSERT_NE(text, nullptr);
    level_deadline = 1000 + 23400;
    util_ShowStatusLine(text, false, 3, 2, 57);
    EXPECT_STREQ(text->getText(), L"life=3, level=2, FPS=100, distance=57, time=23");

    fps = 0;
    timer->setTime(level_deadline - 4200);
    util_ShowStatusLine(text, true, 2, 5, -1);
    EXPECT_STREQ(text->getText(), L"vie=2, niveau=5, FPS=1, distance=-1, temps=4 !!!");

    // No sound is loaded here: the alarm request must simply do nothing.
    is_mute = true;
    timer->setTime(level_deadline + 500);
    util_ShowStatusLine(text, false, 1, 1, 0);
    EXPECT_STREQ(text->getText(), L"life=1, level=1, FPS=1, distance=0, time=0 !!!");

    is_time_unlimited = true;
    util_ShowStatusLine(text, false, 1, 1, 0);
    EXPECT_STREQ(text->getText(), L"life=1, level=1, FPS=1, distance=0");
}

}  // namespace
