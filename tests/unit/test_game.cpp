// The level loop's rules: the order of outcomes, Tab's latch, lives, muting, the screens' texts.
#include <gtest/gtest.h>

#include <cstdlib>

#include "app/game.h"
#include "app/receiver.h"
#include "app/util.h"
#include "helpers.h"
#include "level/level.h"
#include "player/player.h"
#include "settings/settings.h"
#include "sound/sound.h"

using namespace irr;

namespace {

TEST(GameOutcome, FallThenTimeOutThenObjective) {
    EXPECT_EQ(FRAME_FELL, game_JudgeFrame(-1, -5));
    EXPECT_EQ(FRAME_TIMED_OUT, game_JudgeFrame(-2, -1));
    EXPECT_EQ(FRAME_OBJECTIVE, game_JudgeFrame(-2, TIME_UNLIMITED));
    EXPECT_EQ(FRAME_OBJECTIVE, game_JudgeFrame(-2, 0));
    EXPECT_EQ(FRAME_GOES_ON, game_JudgeFrame(57, TIME_UNLIMITED));
    EXPECT_EQ(FRAME_GOES_ON, game_JudgeFrame(57, 0));
    EXPECT_EQ(FRAME_TIMED_OUT, game_JudgeFrame(57, -999));
}

TEST(GameMessages, EnglishAndFrench) {
    EXPECT_EQ(core::stringw(L"Korvanix 2.0.0, a game by Ostravel. Press Return Key to play."),
              game_GetMessage(MESSAGE_TITLE, false));
    EXPECT_EQ(core::stringw(L"Korvanix 2.0.0, a game by Ostravel. Appuyez sur Entree pour jouer."),
              game_GetMessage(MESSAGE_TITLE, true));
    EXPECT_EQ(core::stringw(L"You lost all your lifes ! Press Return Key to retry."),
              game_GetMessage(MESSAGE_LOST_ALL, false));
    EXPECT_EQ(core::stringw(L"Vous avez perdu toutes vos vies ! Appuyez sur Entree pour Reessayer."),
              game_GetMessage(MESSAGE_LOST_ALL, true));
    EXPECT_EQ(core::stringw(L"To quit the game, press ESCAPE. To continue, press Return."),
              game_GetMessage(MESSAGE_PAUSE, false));
    EXPECT_EQ(core::stringw(L"Pour quitter le jeu, appuyez sur ECHAP. Pour continuer, pressez Entree."),
              game_GetMessage(MESSAGE_PAUSE, true));
    EXPECT_EQ(core::stringw(L"You finished the game ! Press Return Key to exit."),
              game_GetMessage(MESSAGE_FINISHED, false));
    EXPECT_EQ(core::stringw(L"Vous avez fini le jeu ! Appuyez sur Entree pour quitter."),
              game_GetMessage(MESSAGE_FINISHED, true));
}

class GameFrameTest : public ::testing::Test {
protected:
    void SetUp() override {
        helpers_LoadSettings(helpers_ShippedConfig());
        settings_Set("moving_cubes", 0);
        null_device = new NullDevice();
        timer->stop();
        timer->setTime(5000);
        srand(3);
        receiver_Reset();
        status_text = guienv->addStaticText(L"", core::rect<s32>(10, 575, 600, 600));
        lives = 3;
        level = 1;
        tab_latch = false;
        is_mute = false;
        fps = 60;
        testing::internal::CaptureStdout();
        level_Create(level, status_text);
    }
    void TearDown() override {
        level_Remove();
        testing::internal::GetCapturedStdout();
        receiver_Reset();
        delete null_device;
        settings_Release();
    }
    void Rebuild() {
        level_Remove();
        level_Create(level, status_text);
    }
    NullDevice* null_device = nullptr;
    gui::IGUIStaticText* status_text = nullptr;
};

TEST_F(GameFrameTest, AFrameShowsTheStatusLine) {
    EXPECT_EQ(FRAME_GOES_ON, game_PlayFrame(status_text, false));
    EXPECT_EQ(0, core::stringw(status_text->getText()).find(L"life=3, level=1, FPS="));
    // The objective is drawn on top of everything from now on.
    EXPECT_EQ(0, objective_node->getMaterial(0).ZBuffer);
}

TEST_F(GameFrameTest, TabHeldAbandonsOneLevelOnly) {
    key_down[KEY_TAB] = true;
    EXPECT_EQ(FRAME_ABANDONED, game_PlayFrame(status_text, false));
    EXPECT_EQ(2, lives);
    EXPECT_EQ(1, level);
    Rebuild();
    EXPECT_EQ(FRAME_GOES_ON, game_PlayFrame(status_text, false));
    EXPECT_EQ(FRAME_GOES_ON, game_PlayFrame(status_text, false));
    EXPECT_EQ(2, lives);
    key_down[KEY_TAB] = false;
    EXPECT_EQ(FRAME_GOES_ON, game_PlayFrame(status_text, false));
    key_down[KEY_TAB] = true;
    EXPECT_EQ(FRAME_ABANDONED, game_PlayFrame(status_text, false));
    EXPECT_EQ(1, lives);
}

TEST_F(GameFrameTest, ReachingTheObjectiveAddsALifeAndALevel) {
    player->object->node->setPosition(objective2_node->getPosition());
    EXPECT_EQ(FRAME_OBJECTIVE, game_PlayFrame(status_text, false));
    EXPECT_EQ(4, lives);
    EXPECT_EQ(2, level);
}

TEST_F(GameFrameTest, TimeOutWinsOverTheObjective) {
    player->object->node->setPosition(objective2_node->getPosition());
    timer->setTime(level_deadline + 1);
    EXPECT_EQ(FRAME_TIMED_OUT, game_PlayFrame(status_text, false));
    EXPECT_EQ(2, lives);
    EXPECT_EQ(1, level);
}

TEST_F(GameFrameTest, AHugeTimeFactorMakesAVeryLongLevel) {
    settings_Set("is_autoconfigure", 0);
    settings_Set("time_counter_speed", 1e12);
    Rebuild();
    EXPECT_EQ(FRAME_GOES_ON, game_PlayFrame(status_text, false));
    EXPECT_NE(-1, core::stringw(status_text->getText()).find(L", time=2147483"));
    // Three weeks later the level still goes on.
    timer->setTime(timer->getTime() + 21u * 24 * 3600 * 1000);
    EXPECT_EQ(FRAME_GOES_ON, game_PlayFrame(status_text, false));
    EXPECT_NE(-1, core::stringw(status_text->getText()).find(L", time=333"));
}

TEST_F(GameFrameTest, FallingLosesALife) {
    player->object->node->setPosition(core::vector3df(-100, -49.99f, -100));
    EXPECT_EQ(FRAME_FELL, game_PlayFrame(status_text, false));
    EXPECT_EQ(2, lives);
}

TEST_F(GameFrameTest, NMutesBUnmutesBothLeaveSoundOn) {
    key_down[KEY_KEY_N] = true;
    game_PlayFrame(status_text, false);
    EXPECT_TRUE(is_mute);
    key_down[KEY_KEY_B] = true;
    game_PlayFrame(status_text, false);
    EXPECT_FALSE(is_mute);
}

TEST_F(GameFrameTest, ClosedWindowEndsWithStatusZero) {
    device->closeDevice();
    EXPECT_EXIT(game_PlayFrame(status_text, false), ::testing::ExitedWithCode(0), "");
}

TEST_F(GameFrameTest, FinishedScreenAfterTheLastLevelEndsTheGame) {
    level = LAST_LEVEL + 1;
    key_down[KEY_RETURN] = true;
    EXPECT_EXIT(game_RunLevelLoop(status_text, false), ::testing::ExitedWithCode(0), "");
}

TEST_F(GameFrameTest, MessageScreenReturnsAtOnceWhenReturnIsHeld) {
    key_down[KEY_RETURN] = true;
    EXPECT_TRUE(util_WaitForReturn());
    key_down[KEY_RETURN] = false;
    key_down[KEY_ESCAPE] = true;
    EXPECT_FALSE(util_WaitForReturn());
}

TEST_F(GameFrameTest, PadBackAbandonsOnlyWhenHeldASecond) {
    for (u32 time : {5000u, 5999u, 6000u, 6500u, 7499u, 7500u}) {
        helpers_PostPad(time == 6000 ? 0 : 1u << PAD_BUTTON_BACK);
        timer->setTime(time);
        EXPECT_EQ(time == 7500 ? FRAME_ABANDONED : FRAME_GOES_ON, game_PlayFrame(status_text, false)) << time;
    }
}

}  // namespace
