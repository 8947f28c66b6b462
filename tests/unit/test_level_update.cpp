// Tests of the level's per-frame effects: the wheel zoom, the quake's strength, the moving cube and the player's result.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "app/receiver.h"
#include "app/util.h"
#include "helpers.h"
#include "level/level.h"
#include "player/player.h"
#include "settings/settings.h"
#include "world/tableworld.h"

using namespace irr;

namespace {

// The first-person player as the level makes it; it stands on the table's corner cube until a test moves it.
Player* MakePlayer() {
    settings_Set("is_subjective", 1);
    return player_Create(new Player(), "data/top.3ds");
}

// A level of two cells stacked, the lower one a cube with three empty nodes, the figure standing on it.
class LevelUpdate : public ::testing::Test {
protected:
    NullDevice null_device{800, 600};
    scene::ISceneNode* side = nullptr;

    void SetUp() override {
        helpers_LoadSettings(helpers_ShippedConfig());
        settings_Set("quake_intensity", 0);
        settings_Set("moving_cubes", 0);
        srand(1);
        receiver_Reset();
        fps = 60;
        tableworld_Create(1, 2, 1, 0.0);
        player = MakePlayer();
        player->cursor = nullptr;
        AddNodes(0, 0, 0);
        side = tableworld_side_nodes[tableworld_GetIndex(0, 0, 0)];
        objective2_node = smgr->addCubeSceneNode(20);
        objective2_node->setPosition(core::vector3df(10, 30, 110));
        camera = smgr->addCameraSceneNode();
    }

    void TearDown() override {
        delete player->object;
        delete player;
        player = nullptr;
        camera = nullptr;
        objective2_node = nullptr;
        tableworld_Free();
    }

    // Where one quake step of the given amplitude takes the cube's side node from (10, 10, 10), drawn from
    // the same seed: three offsets and the snap draw of the cube, then three offsets of the free cell above.
    float QuakeX(unsigned seed, double amplitude) {
        srand(seed);
        const double dx = tableworld_GetUnitRandom() - 0.5;
        for (int draw = 0; draw < 6; draw++) tableworld_GetUnitRandom();
        return (float)(10 + amplitude * dx);
    }

    // A seed whose quake step moves the cube noticeably along X and does not snap it home.
    unsigned SeedWithoutSnap() {
        for (unsigned seed = 1;; seed++) {
            srand(seed);
            const double dx = tableworld_GetUnitRandom() - 0.5;
            tableworld_GetUnitRandom();
            tableworld_GetUnitRandom();
            const bool snaps = tableworld_GetUnitRandom() > 0.9;
            if (!snaps && std::abs(dx) > 0.1) return seed;
        }
    }

    // The three empty nodes of a cube, at its cell's centre.
    void AddNodes(int x, int y, int z) {
        const int index = tableworld_GetIndex(x, y, z);
        const core::vector3df centre((f32)(20 * x + 10), (f32)(20 * y + 10), (f32)(20 * z + 10));
        tableworld_side_nodes[index] = smgr->addEmptySceneNode();
        tableworld_top_nodes[index] = smgr->addEmptySceneNode();
        tableworld_bottom_nodes[index] = smgr->addEmptySceneNode();
        tableworld_side_nodes[index]->setPosition(centre);
        tableworld_top_nodes[index]->setPosition(centre);
        tableworld_bottom_nodes[index]->setPosition(centre);
    }
};

TEST_F(LevelUpdate, TheWheelIsClampedAndWrittenBackBeforeTheFieldOfView) {
    EXPECT_EQ(level_Update(), 100);
    EXPECT_EQ(mouse_wheel, 15);
    EXPECT_FLOAT_EQ(camera->getFOV(), (float)(5.3407076597213745 / 2.5));
    EXPECT_NEAR(camera->getFOV(), 2.1363, 1e-4);

    mouse_wheel -= 20;  // twenty notches down
    level_Update();
    EXPECT_EQ(mouse_wheel, 1);
    EXPECT_EQ(camera->getFOV(), (float)(5.3407076597213745 / 9.5));
    EXPECT_NEAR(camera->getFOV(), 0.5622, 1e-4);

    mouse_wheel += 1;  // one notch up from the bottom, not from -5
    level_Update();
    EXPECT_EQ(mouse_wheel, 2);
    EXPECT_EQ(camera->getFOV(), (float)(5.3407076597213745 / 9));

    mouse_wheel = 40;
    level_Update();
    EXPECT_EQ(mouse_wheel, 16);
    EXPECT_NEAR(camera->getFOV(), 2.6704, 1e-4);

    mouse_wheel = 7.5f;  // inside the range a value is kept as it is
    level_Update();
    EXPECT_EQ(mouse_wheel, 7.5f);
    EXPECT_EQ(camera->getFOV(), (float)(5.3407076597213745 / 6.25));
}

TEST_F(LevelUpdate, WithoutQuakeOrMovingCubesOnlyTheZoomAndThePlayerRun) {
    srand(42);
    const int next = rand();
    srand(42);
    const core::vector3df before = side->getPosition();
    key_down[KEY_RIGHT] = true;
    EXPECT_EQ(level_Update(), 100);
    EXPECT_EQ(rand(), next);  // no random draw
    EXPECT_EQ(side->getPosition(), before);
    EXPECT_EQ(tableworld_move_direction, 0);
    EXPECT_GT(player->object->node->getRotation().Y, 0);  // the player did its step
}

TEST_F(LevelUpdate, TheQuakeStrengthIsScaledByThirtyOverTheFrameRate) {
    settings_Set("quake_intensity", 2);
    const unsigned seed = SeedWithoutSnap();

    const float expected_60 = QuakeX(seed, 2 * 30.0 / 60);
    srand(seed);
    level_Update();
    EXPECT_FLOAT_EQ(side->getPosition().X, expected_60);

    // A frame rate of 0 counts as 1: thirty times the intensity.
    side->setPosition(core::vector3df(10, 10, 10));
    fps = 0;
    const float expected_0 = QuakeX(seed, 2 * 30.0);
    srand(seed);
    level_Update();
    EXPECT_FLOAT_EQ(side->getPosition().X, expected_0);
    EXPECT_GT(std::abs(expected_0 - 10), 1.5f);
}

// A cube on its way from cell (4, 1, 0) to (5, 1, 0): each update moves it by 30 / F when the setting is on.
TEST_F(LevelUpdate, TheMovingCubeAdvancesOnlyWhenTheSettingIsOn) {
    TearDown();
    smgr->clear();
    tableworld_Create(6, 3, 6, 0.0);
    AddNodes(0, 0, 0);
    AddNodes(4, 1, 0);
    player = MakePlayer();
    player->cursor = nullptr;
    objective2_node = smgr->addCubeSceneNode(20);
    objective2_node->setPosition(core::vector3df(110, 30, 110));
    camera = smgr->addCameraSceneNode();
    const int source = tableworld_GetIndex(4, 1, 0);
    scene::ISceneNode* moving = tableworld_side_nodes[source];
    tableworld_move_nodes[0] = moving;
    tableworld_move_nodes[1] = tableworld_top_nodes[source];
    tableworld_move_nodes[2] = tableworld_bottom_nodes[source];
    tableworld_move_direction = 2;
    tableworld_move_target = 110;
    tableworld_move_cell[0] = 5;
    tableworld_move_cell[1] = 1;
    tableworld_move_cell[2] = 0;

    level_Update();
    EXPECT_EQ(moving->getPosition().X, 90);
    EXPECT_EQ(tableworld_move_direction, 2);

    settings_Set("moving_cubes", 1);
    level_Update();
    EXPECT_FLOAT_EQ(moving->getPosition().X, 90.5f);
    EXPECT_FLOAT_EQ(tableworld_top_nodes[source]->getPosition().X, 90.5f);

    // At a frame rate of 0, counted as 1, one update carries it past its target: it settles in its cell.
    fps = 0;
    level_Update();
    EXPECT_EQ(moving->getPosition().X, 110);
    EXPECT_EQ(tableworld_GetCell(5, 1, 0), 1);
}

TEST_F(LevelUpdate, ThePlayersResultIsReturnedUnchanged) {
    objective2_node->setPosition(core::vector3df(10, 30, 10));
    EXPECT_EQ(level_Update(), -2);
    objective2_node->setPosition(core::vector3df(70, 30, 10));
    EXPECT_EQ(level_Update(), 60);
    player->object->node->setPosition(core::vector3df(-100, -60, 10));
    EXPECT_EQ(level_Update(), -1);
}

}  // namespace
