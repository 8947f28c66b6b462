// Tests of the player's per-frame step on hand-built tables: walking, jumping, looking, the camera and the end of a level.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include <AL/al.h>

#include "app/receiver.h"
#include "app/util.h"
#include "helpers.h"
#include "level/level.h"
#include "player/player.h"
#include "settings/settings.h"
#include "sound/sound.h"
#include "world/tableworld.h"

using namespace irr;

// The sources the game starts, in order. Defined here, this takes the place of OpenAL's own for the game's
// code linked into this test, so every sound_Play that gets through to OpenAL is seen.
static std::vector<ALuint> started_sources;
AL_API void AL_APIENTRY alSourcePlay(ALuint source) {
    started_sources.push_back(source);
}

namespace {

// Stand-ins for the loaded sounds: their sources are 100 + the sound's index.
void LoadSoundsThatCount() {
    for (int index = 0; index < 3; index++) sounds.push_back(new Sound{0, 100u + index});
    started_sources.clear();
}

void ForgetSounds() {
    for (Sound* sound : sounds) delete sound;
    sounds.clear();
}

int CountStarts(int sound) {
    return (int)std::count(started_sources.begin(), started_sources.end(), 100u + sound);
}

// The first-person player as the level makes it; it stands on the table's corner cube until a test moves it.
Player* MakePlayer() {
    settings_Set("is_subjective", 1);
    return player_Create(new Player(), "data/top.3ds");
}

// A level built by hand: an empty table of the given size, a first-person player and the objective cube.
class PlayerUpdate : public ::testing::Test {
protected:
    NullDevice null_device{800, 600};

    void SetUp() override {
        helpers_LoadSettings(helpers_ShippedConfig());
        srand(1);
        receiver_Reset();
        is_mute = false;
        fps = 60;
        MakeTable(5, 5, 5);
        LoadSoundsThatCount();
    }

    void TearDown() override {
        ForgetSounds();
        RemoveLevel();
    }

    void RemoveLevel() {
        if (player) {
            delete player->object;
            delete player;
        }
        player = nullptr;
        camera = nullptr;
        objective2_node = nullptr;
        tableworld_Free();
    }

    // Starts again on an empty table: each test puts its own cubes.
    void MakeTable(int size_x, int size_y, int size_z) {
        RemoveLevel();
        smgr->clear();
        tableworld_Create(size_x, size_y, size_z, 0.0);
        player = MakePlayer();
        tableworld_SetCell(0, 0, 0, 0);
        ASSERT_EQ(tableworld_GetCell(0, 0, 0), 0);
        player->cursor->setPosition(400, 300);
        objective2_node = smgr->addCubeSceneNode(20);
        objective2_node->setPosition(core::vector3df(1000, 1000, 1000));
        camera = smgr->addCameraSceneNode();
    }

    void Floor() {
        for (int x = 0; x < tableworld_size_x; x++)
            for (int z = 0; z < tableworld_size_z; z++) tableworld_SetCell(x, 0, z, 1);
    }

    void Place(float x, float y, float z, float heading = 0) {
        player->object->node->setPosition(core::vector3df(x, y, z));
        player->object->node->setRotation(core::vector3df(0, heading, 0));
    }

    core::vector3df Position() const { return player->object->node->getPosition(); }
    float Heading() const { return player->object->node->getRotation().Y; }

    // The in/out faders on the GUI's root.
    std::vector<gui::IGUIInOutFader*> Faders() const {
        std::vector<gui::IGUIInOutFader*> faders;
        for (gui::IGUIElement* child : guienv->getRootGUIElement()->getChildren())
            if (child->getType() == gui::EGUIET_IN_OUT_FADER) faders.push_back(static_cast<gui::IGUIInOutFader*>(child));
        return faders;
    }

    // Updates until the result is negative or the frames run out; the result of the last update.
    int RunUntilEnd(int frames, int* used = nullptr) {
        int result = 0;
        int frame = 0;
        while (frame < frames) {
            result = player_Update();
            frame++;
            if (result < 0) break;
        }
        if (used) *used = frame;
        return result;
    }
};

TEST_F(PlayerUpdate, WalkingIntoAWallIsUndoneWhileTurningGoesOn) {
    Floor();
    tableworld_SetCell(1, 1, 2, 1);  // a wall whose face is at X = 40
    Place(43.5f, 26, 50);
    key_down[KEY_UP] = true;
    key_down[KEY_LEFT] = true;
    const double turn = settings_Get("keys_rotation_speed") * 30.0 / 60;
    for (int frame = 1; frame <= 5; frame++) {
        player_Update();
        EXPECT_NEAR(Position().X, 43.5f, 1e-3) << "frame " << frame;
        EXPECT_NEAR(Heading(), -turn * frame, 1e-4);
    }
    EXPECT_FALSE(player->is_airborne);
    EXPECT_EQ(0, CountStarts(SOUND_WALK));  // a blocked step is silent

    // The same walk with the wall gone does move, one unit per frame at 60 fps, and restarts the walk sound.
    tableworld_SetCell(1, 1, 2, 0);
    key_down[KEY_LEFT] = false;
    Place(43.5f, 26, 50);
    player_Update();
    EXPECT_NEAR(Position().X, 42.5f, 1e-4);
    EXPECT_EQ(1, CountStarts(SOUND_WALK));
    EXPECT_EQ(0, CountStarts(SOUND_JUMP));
}

// Each key whose step moves restarts the walk sound once a frame, whatever the frame rate; muted, none does.
TEST_F(PlayerUpdate, EveryStepThatMovesRestartsTheWalkSoundOnce) {
    Floor();
    for (int rate : {60, 30, 5, 1}) {
        fps = rate;
        Place(50, 26, 50);
        receiver_Reset();
        key_down[KEY_UP] = true;
        key_down[KEY_KEY_G] = true;
        started_sources.clear();
        player_Update();
        EXPECT_EQ(2, CountStarts(SOUND_WALK)) << rate;
        EXPECT_NEAR(Position().X, 50 - 60.0 / rate, 1e-3) << rate;
        EXPECT_NEAR(Position().Z, 50 + 40.0 / rate, 1e-3) << rate;
    }
    fps = 60;
    is_mute = true;
    started_sources.clear();
    player_Update();
    EXPECT_TRUE(started_sources.empty());
}

TEST_F(PlayerUpdate, EachStepKeyMovesItsWayAtItsSpeed) {
    Floor();
    struct Case {
        EKEY_CODE key;
        float dx, dz;
    } cases[] = {{KEY_UP, -1, 0}, {KEY_KEY_R, -1, 0}, {KEY_DOWN, 1, 0}, {KEY_KEY_F, 1, 0},
                 {KEY_KEY_D, 0, -2.0f / 3}, {KEY_KEY_G, 0, 2.0f / 3}};
    for (const Case& c : cases) {
        receiver_Reset();
        Place(50, 26, 50);
        key_down[c.key] = true;
        player_Update();
        EXPECT_NEAR(Position().X, 50 + c.dx, 1e-4) << c.key;
        EXPECT_NEAR(Position().Z, 50 + c.dz, 1e-4) << c.key;
    }
    receiver_Reset();
    mouse_left_down = true;
    Place(50, 26, 50, 90);
    player_Update();
    EXPECT_NEAR(Position().Z, 51, 1e-4);  // heading 90 walks toward +Z
    receiver_Reset();
    mouse_middle_down = true;
    player_Update();
    EXPECT_NEAR(Position().Z, 50, 1e-4);
}

TEST_F(PlayerUpdate, PitchKeysAndTurnKeysAtTheirRate) {
    Floor();
    Place(50, 26, 50);
    const double k = settings_Get("keys_rotation_speed");
    key_down[KEY_KEY_L] = true;
    key_down[KEY_RIGHT] = true;
    player_Update();
    EXPECT_DOUBLE_EQ(player->pitch, 20 + k * 0.5);
    EXPECT_NEAR(Heading(), k * 0.5, 1e-5);
    receiver_Reset();
    key_down[KEY_PRIOR] = true;
    key_down[KEY_NEXT] = true;
    player_Update();
    EXPECT_DOUBLE_EQ(player->pitch, 20 + k * 0.5);  // up then down cancel
    receiver_Reset();
    key_down[KEY_KEY_O] = true;
    for (int frame = 0; frame < 100; frame++) player_Update();
    EXPECT_NEAR(player->pitch, 20 + k * 0.5 - 100 * k * 0.5, 1e-9);  // no bounds
}

TEST_F(PlayerUpdate, PadSticksActLikeTheKeysBeyondTheDeadZone) {
    const core::vector3df start = Position();
    const double k = settings_Get("keys_rotation_speed");
    helpers_PostPad(0, {0.19, -0.19, 0, 0.19, -0.19});
    player_Update();
    EXPECT_TRUE(Heading() == 0 && player->pitch == 20 && Position().X == start.X && Position().Z == start.Z);
    helpers_PostPad(0, {0, -0.5, 0, 0.6, -0.6}, 1);
    key_down[KEY_UP] = true;
    player_Update();
    EXPECT_NEAR(Heading(), 0.6 * k * 0.5, 1e-4);
    EXPECT_NEAR(player->pitch, 20 - 0.6 * k * 0.5, 1e-4);
    EXPECT_NEAR(std::hypot(Position().X - start.X, Position().Z - start.Z), 1, 1e-4);
}

TEST_F(PlayerUpdate, APadJumpsOncePerPressOfA) {
    MakeTable(3, 8, 3);
    tableworld_SetCell(1, 0, 1, 1);
    Place(30, 26, 30);
    for (u32 buttons : {1u << PAD_BUTTON_A, 0u, 1u << PAD_BUTTON_A}) {
        helpers_PostPad(buttons);
        for (int frame = 0; frame < 200; frame++) player_Update();
    }
    EXPECT_EQ(2, CountStarts(SOUND_JUMP));
}

TEST_F(PlayerUpdate, AFrameRateOfZeroCountsAsOne) {
    Floor();
    Place(50, 26, 50);
    fps = 0;
    key_down[KEY_KEY_M] = true;
    player_Update();
    EXPECT_NEAR(Heading(), settings_Get("keys_rotation_speed") * 30, 1e-4);
}

TEST_F(PlayerUpdate, AJumpRisesAbout48UnitsAt60Fps) {
    MakeTable(3, 8, 3);
    tableworld_SetCell(1, 0, 1, 1);
    Place(30, 26, 30);
    player_Update();
    ASSERT_FALSE(player->is_airborne);
    key_down[KEY_SPACE] = true;
    player_Update();
    key_down[KEY_SPACE] = false;
    EXPECT_TRUE(player->is_airborne);
    EXPECT_EQ(player->vertical_speed, 200);
    EXPECT_NEAR(Position().Y, 26, 1e-4);  // the jump moves from the next frame on
    float peak = 26;
    for (int frame = 0; frame < 120 && player->is_airborne; frame++) {
        player_Update();
        peak = std::max(peak, Position().Y);
    }
    EXPECT_NEAR(peak - 26, 48.3, 0.3);
    EXPECT_FALSE(player->is_airborne);
    EXPECT_NEAR(Position().Y, 26, 6.7);  // back on the cube, above its top
    EXPECT_GE(Position().Y - 6, 20);
}

TEST_F(PlayerUpdate, LandingWithTheJumpHeldJumpsAgainInTheSameFrame) {
    MakeTable(3, 8, 3);
    tableworld_SetCell(1, 0, 1, 1);
    Place(30, 26, 30);
    mouse_right_down = true;
    player_Update();
    EXPECT_TRUE(player->is_airborne);
    EXPECT_EQ(player->vertical_speed, 200);
    EXPECT_NEAR(Position().Y, 26, 1e-4);

    // While airborne the held button does nothing: the speed only falls.
    mouse_right_down = false;
    key_down[KEY_SHIFT] = true;
    double previous = player->vertical_speed;
    int landings = 0;
    for (int frame = 0; frame < 200 && landings < 2; frame++) {
        player_Update();
        if (player->vertical_speed == 200) {
            landings++;
            EXPECT_TRUE(player->is_airborne);
            EXPECT_GE(Position().Y - 6, 20);
        } else {
            EXPECT_NEAR(player->vertical_speed, previous - 400.0 / 60, 1e-9);
        }
        previous = player->vertical_speed;
    }
    EXPECT_EQ(landings, 2);
    EXPECT_EQ(3, CountStarts(SOUND_JUMP));
}

// However slow the frames, a fall of seven cells onto a cube ends standing on it, and a walk stops at a wall.
TEST_F(PlayerUpdate, NoFrameRateLetsTheFigurePassThroughACube) {
    for (int rate : {1, 5, 10, 30}) {
        MakeTable(3, 9, 3);
        tableworld_SetCell(1, 0, 1, 1);
        Place(30, 150, 30);
        receiver_Reset();
        fps = rate;
        int result = 0;
        for (int frame = 0; frame < 100 && player->is_airborne && result >= 0; frame++) result = player_Update();
        EXPECT_FALSE(player->is_airborne) << rate;
        EXPECT_GE(result, 0) << rate;
        // The probe 6 below the centre rests on the top at 20, or the last part, under a cell, stopped short of it.
        EXPECT_GE(Position().Y, 26) << rate;
        EXPECT_LT(Position().Y, 46) << rate;

        // A walk along a floor of two cubes toward a wall standing on the first, its face at X = 20.
        tableworld_SetCell(2, 0, 1, 1);
        tableworld_SetCell(0, 1, 1, 1);
        Place(50, 26, 30);
        receiver_Reset();
        key_down[KEY_UP] = true;
        for (int frame = 0; frame < 20; frame++) player_Update();
        EXPECT_GE(Position().X, 23) << rate;
        EXPECT_LT(Position().X, 43) << rate;
        EXPECT_FLOAT_EQ(Position().Z, 30) << rate;
    }
}

TEST_F(PlayerUpdate, AHeadOnHitWhileRisingStopsTheRiseButGrantsNoJump) {
    MakeTable(3, 8, 3);
    tableworld_SetCell(1, 0, 1, 1);
    tableworld_SetCell(1, 2, 1, 1);  // a low ceiling from Y = 40
    Place(30, 26, 30);
    key_down[KEY_SPACE] = true;
    player_Update();
    ASSERT_EQ(player->vertical_speed, 200);
    int frame = 0;
    while (frame < 20 && player->vertical_speed > 0) {
        player_Update();
        frame++;
    }
    ASSERT_LT(frame, 20);
    EXPECT_EQ(player->vertical_speed, 0);
    EXPECT_TRUE(player->is_airborne);
    EXPECT_LT(Position().Y + 6, 40);
    EXPECT_GT(Position().Y, 26);
    const float hit_height = Position().Y;
    player_Update();  // the held key cannot jump: the figure starts to fall
    EXPECT_LT(player->vertical_speed, 0);
    EXPECT_LT(Position().Y, hit_height);
}

TEST_F(PlayerUpdate, AFigureInsideACubeCanOnlyTurnAndLook) {
    Floor();
    tableworld_SetCell(2, 1, 2, 1);
    Place(50, 30, 50);
    key_down[KEY_UP] = true;
    key_down[KEY_KEY_G] = true;
    key_down[KEY_RIGHT] = true;
    key_down[KEY_KEY_L] = true;
    player_Update();
    EXPECT_NEAR(Position().X, 50, 1e-4);
    EXPECT_NEAR(Position().Y, 30, 1e-4);
    EXPECT_NEAR(Position().Z, 50, 1e-4);
    EXPECT_GT(Heading(), 0);
    EXPECT_GT(player->pitch, 20);
    EXPECT_FALSE(player->is_airborne);  // the blocked gravity move counts as standing
}

TEST_F(PlayerUpdate, WalkingOffTheTableFallsToMinusOneWithABlackFade) {
    MakeTable(3, 3, 3);
    tableworld_SetCell(1, 0, 1, 1);
    objective2_node->setPosition(core::vector3df(50, 50, 50));
    Place(30, 26, 30);
    key_down[KEY_UP] = true;
    ASSERT_TRUE(Faders().empty());
    int frames = 0;
    int last = 0;
    int result = 0;
    while (frames < 600) {
        result = player_Update();
        frames++;
        if (result < 0) break;
        last = result;
    }
    EXPECT_EQ(result, -1);
    EXPECT_GT(last, 0);
    EXPECT_LT(Position().Y, -50);
    EXPECT_GE(Position().Y, -60);  // the first frame below -50 ends it
    std::vector<gui::IGUIInOutFader*> faders = Faders();
    ASSERT_EQ(faders.size(), 1u);
    EXPECT_EQ(faders[0]->getColor().color & 0xFFFFFF, 0u);
    EXPECT_FALSE(faders[0]->isReady());
}

// The objective in cell (2, 1, 2) with a floor under it, reached walking from each side and falling from above.
TEST_F(PlayerUpdate, ReachingTheObjectivesCellFromAnySideGivesMinusTwoAndAWhiteFade) {
    struct Approach {
        float x, y, z, heading;
    } approaches[] = {{90, 26, 50, 0}, {10, 26, 50, 180}, {50, 26, 10, 90}, {50, 26, 90, -90}, {50, 80, 50, 0}};
    for (const Approach& a : approaches) {
        MakeTable(5, 5, 5);
        Floor();
        objective2_node->setPosition(core::vector3df(50, 30, 50));
        Place(a.x, a.y, a.z, a.heading);
        key_down[KEY_UP] = a.y < 40;
        int frames = 0;
        EXPECT_EQ(RunUntilEnd(300, &frames), -2) << a.x << " " << a.z << " " << a.y;
        EXPECT_GT(frames, 1);
        core::vector3df p = Position();
        EXPECT_EQ((int)(p.X / 20), 2);
        EXPECT_EQ((int)(p.Y / 20), 1);
        EXPECT_EQ((int)(p.Z / 20), 2);
        std::vector<gui::IGUIInOutFader*> faders = Faders();
        ASSERT_FALSE(faders.empty());
        EXPECT_EQ(faders.back()->getColor().color & 0xFFFFFF, 0xFFFFFFu);
    }
    // The white fade lies under the text line, which stays readable over it.
    gui::IGUIElement* root = guienv->getRootGUIElement();
    gui::IGUIStaticText* text = guienv->addStaticText(L"x", core::rect<s32>(0, 0, 10, 10));
    player_FadeScreen(video::SColor(0x00FFFFFF));
    EXPECT_EQ((*root->getChildren().begin())->getType(), gui::EGUIET_IN_OUT_FADER);
    EXPECT_EQ(*root->getChildren().getLast(), text);
}

TEST_F(PlayerUpdate, CellsTruncateTowardZero) {
    // Just below zero on X is still cell 0, where the objective stands.
    objective2_node->setPosition(core::vector3df(10, 30, 10));
    Place(-0.5f, 30, 10);
    EXPECT_EQ(player_Update(), -2);
    // One cell further along Z is not the objective, however close.
    MakeTable(5, 5, 5);
    objective2_node->setPosition(core::vector3df(10, 30, 19.9f));
    Place(10, 30, 20.1f);
    EXPECT_EQ(player_Update(), 0);
}

TEST_F(PlayerUpdate, TheDistanceIsThreeDimensionalUntilF2AndF2WinsOverF3) {
    Floor();
    Place(30, 26, 30);
    objective2_node->setPosition(core::vector3df(90.7f, 90, 30));
    ASSERT_TRUE(player->is_distance_3d);
    EXPECT_EQ(player_Update(), 88);  // sqrt(60.7^2 + 64^2) = 88.2
    key_down[KEY_F2] = true;
    key_down[KEY_F3] = true;
    EXPECT_EQ(player_Update(), 60);
    EXPECT_FALSE(player->is_distance_3d);
    key_down[KEY_F2] = false;
    EXPECT_EQ(player_Update(), 88);
    key_down[KEY_F3] = false;
    key_down[KEY_F2] = true;
    EXPECT_EQ(player_Update(), 60);
    key_down[KEY_F2] = false;
    objective2_node->setPosition(core::vector3df(33, 500, 34));
    EXPECT_EQ(player_Update(), 5);  // horizontal stays without the keys: 3, 4 apart
}

TEST_F(PlayerUpdate, TheMouseInsideTheDeadZoneDoesNothing) {
    Floor();
    Place(50, 26, 50);
    gui::ICursorControl* cursor = player->cursor;
    ASSERT_NE(cursor, nullptr);
    const int corners[][2] = {{395, 295}, {405, 305}, {395, 305}, {405, 295}, {400, 300}};
    for (const auto& c : corners) {
        cursor->setPosition(c[0], c[1]);
        player_Update();
        EXPECT_FLOAT_EQ(Heading(), 0);
        EXPECT_DOUBLE_EQ(player->pitch, 20);
        EXPECT_EQ(cursor->getPosition(), core::position2d<s32>(400, 300));
    }
}

TEST_F(PlayerUpdate, TheMouseOutsideTheDeadZoneTurnsAndTiltsAndIsRecentred) {
    Floor();
    Place(50, 26, 50);
    gui::ICursorControl* cursor = player->cursor;
    ASSERT_NE(cursor, nullptr);
    const double m = settings_Get("mouse_rotation_speed");
    cursor->setPosition(394, 300);  // left turns like the left key
    player_Update();
    EXPECT_NEAR(Heading(), (800 - 394 - 5) * (m * 1.5) / 60 / -5, 1e-4);
    EXPECT_LT(Heading(), 0);
    EXPECT_EQ(cursor->getPosition(), core::position2d<s32>(400, 300));
    Place(50, 26, 50);
    cursor->setPosition(406, 300);
    player_Update();
    EXPECT_NEAR(Heading(), (406 - 800 - 5) * (m * 1.5) / 60 / -5, 1e-4);
    EXPECT_GT(Heading(), 0);
    cursor->setPosition(400, 294);  // up looks up
    player_Update();
    EXPECT_NEAR(player->pitch, 20 - (600 - 294 - 5) * m / 60 / 5, 1e-9);
    player->pitch = 20;
    cursor->setPosition(400, 306);
    player_Update();
    EXPECT_NEAR(player->pitch, 20 - (306 - 600 - 5) * m / 60 / 5, 1e-9);
    EXPECT_GT(player->pitch, 20);
}

TEST_F(PlayerUpdate, WithoutACursorTheMouseIsLeftAlone) {
    Floor();
    Place(50, 26, 50);
    player->cursor = nullptr;
    key_down[KEY_UP] = true;
    EXPECT_GE(player_Update(), 0);
    EXPECT_FLOAT_EQ(Heading(), 0);
    EXPECT_NEAR(Position().X, 49, 1e-4);
}

TEST_F(PlayerUpdate, TheFirstPersonCameraLooksAlongTheHeadingWithThePitch) {
    Floor();
    Place(50, 26, 50);
    player->pitch = 0;
    player_Update();
    // Heading 0 looks toward -X, level.
    EXPECT_EQ(camera->getPosition(), Position());
    core::vector3df look = camera->getTarget() - camera->getPosition();
    EXPECT_NEAR(look.X, -100, 1e-3);
    EXPECT_NEAR(look.Y, 0, 1e-3);
    EXPECT_NEAR(look.Z, 0, 1e-3);
    EXPECT_NEAR(camera->getUpVector().Y, 1, 1e-5);

    // Pitch 30 looks down by 30 degrees; heading 90 looks toward +Z, where the figure walks.
    player->pitch = 30;
    Place(50, 26, 50, 90);
    player_Update();
    look = camera->getTarget() - camera->getPosition();
    EXPECT_NEAR(look.Y, -50, 1e-3);
    EXPECT_NEAR(look.Z, 100 * std::cos(30 * 3.141592653589793 / 180), 1e-3);
    EXPECT_NEAR(look.X, 0, 1e-3);
}

TEST_F(PlayerUpdate, TheTopDownCameraLooksStraightDownWithForwardUp) {
    Floor();
    player->is_subjective = false;
    player->pitch = 45;  // ignored in this view
    Place(50, 26, 50, 90);
    player_Update();
    const core::vector3df p = Position();
    EXPECT_NEAR(camera->getPosition().X, p.X, 1e-4);
    EXPECT_NEAR(camera->getPosition().Y, p.Y + 50, 1e-4);
    EXPECT_NEAR(camera->getPosition().Z, p.Z, 1e-4);
    EXPECT_NEAR(camera->getTarget().X, p.X, 1e-3);
    EXPECT_NEAR(camera->getTarget().Y, p.Y, 1e-3);
    EXPECT_NEAR(camera->getTarget().Z, p.Z, 1e-3);
    const core::vector3df up = camera->getUpVector();
    EXPECT_NEAR(up.X, 0, 1e-5);  // forward at heading 90 is +Z
    EXPECT_NEAR(up.Y, 0, 1e-5);
    EXPECT_NEAR(up.Z, 1, 1e-5);
}

// A corridor along -X with a step up halfway and the objective on the step; forward is held throughout and
// the jump pressed whenever the figure is stopped.
TEST_F(PlayerUpdate, AScriptedWalkUpAStepReachesTheObjective) {
    MakeTable(8, 5, 3);
    for (int x = 0; x < 8; x++) {
        tableworld_SetCell(x, 0, 1, 1);
        for (int y = 1; y < 5; y++) {
            tableworld_SetCell(x, y, 0, 1);
            tableworld_SetCell(x, y, 2, 1);
        }
    }
    for (int x = 0; x < 4; x++) tableworld_SetCell(x, 1, 1, 1);  // the step, its top at Y = 40
    objective2_node->setPosition(core::vector3df(30, 50, 30));
    Place(150, 26, 30);
    key_down[KEY_UP] = true;
    int result = 0;
    int frames = 0;
    bool jumped = false;
    float previous_x = Position().X;
    while (frames < 600) {
        result = player_Update();
        frames++;
        if (result < 0) break;
        EXPECT_GT(result, 0);
        const bool stopped = Position().X == previous_x;
        key_down[KEY_SPACE] = stopped;
        jumped = jumped || stopped;
        previous_x = Position().X;
    }
    EXPECT_EQ(result, -2);
    EXPECT_TRUE(jumped);
    EXPECT_GE(Position().Y, 40);  // on top of the step
    EXPECT_FLOAT_EQ(Position().Z, 30);
    EXPECT_LT(frames, 300);
}

TEST_F(PlayerUpdate, FinishedFadersGoWhileFreshOnesStay) {
    gui::IGUIStaticText* text = guienv->addStaticText(L"status", core::rect<s32>(0, 0, 10, 10));
    player_FadeScreen(video::SColor(0));
    player_FadeScreen(video::SColor(0x00FFFFFF));
    ASSERT_EQ(Faders().size(), 2u);
    player_RemoveFinishedFaders();
    EXPECT_EQ(Faders().size(), 2u);  // both still fading

    // The engine calls a fade over once its second has fully passed.
    timer->setTime(timer->getTime() + 1001);
    player_FadeScreen(video::SColor(0));  // the next fade clears the finished ones first
    std::vector<gui::IGUIInOutFader*> faders = Faders();
    ASSERT_EQ(faders.size(), 1u);
    EXPECT_FALSE(faders[0]->isReady());

    timer->setTime(timer->getTime() + 1000);
    player_RemoveFinishedFaders();
    EXPECT_EQ(Faders().size(), 1u);
    timer->setTime(timer->getTime() + 1);
    player_RemoveFinishedFaders();
    EXPECT_TRUE(Faders().empty());
    // Other elements stay.
    ASSERT_EQ(guienv->getRootGUIElement()->getChildren().size(), 1u);
    EXPECT_EQ(*guienv->getRootGUIElement()->getChildren().begin(), text);

    // Safe with no GUI at all.
    gui::IGUIEnvironment* saved = guienv;
    guienv = nullptr;
    player_RemoveFinishedFaders();
    player_FadeScreen(video::SColor(0));
    guienv = saved;
    EXPECT_TRUE(Faders().empty());
}

TEST_F(PlayerUpdate, ManyEndsOfLevelDoNotPileUpFaders) {
    objective2_node->setPosition(core::vector3df(10, 30, 10));
    for (int end = 0; end < 50; end++) {
        Place(10, 30, 10);
        ASSERT_EQ(player_Update(), -2);
        timer->setTime(timer->getTime() + 1500);
    }
    EXPECT_EQ(Faders().size(), 1u);
}

}  // namespace
