// Building and removing levels on the null driver with the real data.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "app/util.h"
#include "helpers.h"
#include "level/level.h"
#include "player/player.h"
#include "settings/settings.h"
#include "world/tableworld.h"

using namespace irr;

namespace {

class LevelTest : public ::testing::Test {
protected:
    void SetUp() override {
        helpers_LoadSettings(helpers_ShippedConfig());
        null_device = new NullDevice();
        timer->stop();
        timer->setTime(1000);
        srand(7);
    }
    void TearDown() override {
        if (player) level_Remove();
        delete null_device;
        settings_Release();
    }
    // Turns the auto-configuration off and sets the table from the given values.
    void SetWorld(double x, double y, double z, double probability) {
        settings_Set("is_autoconfigure", 0);
        settings_Set("size_x_world", x);
        settings_Set("size_y_world", y);
        settings_Set("size_z_world", z);
        settings_Set("probability_cube", probability);
    }
    std::string Create(int level_number) {
        testing::internal::CaptureStdout();
        level_Create(level_number, nullptr);
        return testing::internal::GetCapturedStdout();
    }
    NullDevice* null_device = nullptr;
};

TEST_F(LevelTest, BuildsEveryPieceAndPrintsItsLines) {
    frame_count = 5;
    fps_last_time = 0;
    std::string output = Create(1);
    // The frame rate of play is measured from the end of the build.
    EXPECT_EQ(0, frame_count);
    EXPECT_EQ(1000.0, fps_last_time);
    EXPECT_EQ(0u, output.find("Creating level...\n"));
    EXPECT_EQ(output.size() - 6, output.rfind("done.\n"));
    ASSERT_NE(nullptr, player);
    ASSERT_NE(nullptr, objective_node);
    ASSERT_NE(nullptr, objective2_node);
    ASSERT_NE(nullptr, camera);
    EXPECT_EQ(camera, smgr->getActiveCamera());
    EXPECT_FALSE(camera->isInputReceiverEnabled());
    EXPECT_NE(nullptr, level_side_texture);
    EXPECT_EQ(7, tableworld_size_x);
    // The two objective cubes coincide; only the one that counts is lit.
    EXPECT_EQ(objective2_node->getPosition(), objective_node->getPosition());
    EXPECT_EQ(core::vector3df(0.51f, 0.51f, 0.51f), objective_node->getScale());
    EXPECT_EQ(video::EMT_TRANSPARENT_ALPHA_CHANNEL, objective_node->getMaterial(0).MaterialType);
    EXPECT_EQ(video::EMT_TRANSPARENT_ALPHA_CHANNEL, objective2_node->getMaterial(0).MaterialType);
    EXPECT_FALSE(objective_node->getMaterial(0).Lighting);
    EXPECT_TRUE(objective2_node->getMaterial(0).Lighting);
    EXPECT_EQ(video::SColor(255, 255, 255, 255), smgr->getAmbientLight().toSColor());
}

TEST_F(LevelTest, CeilingHasOneTilePerColumnJustAboveTheTable) {
    SetWorld(4, 3, 5, 0.3);
    Create(3);
    int tiles = 0;
    // The cube batch adopts the tiles: the whole tree is searched.
    std::vector<scene::ISceneNode*> nodes(1, smgr->getRootSceneNode());
    for (size_t next = 0; next < nodes.size(); next++)
        for (scene::ISceneNode* child : nodes[next]->getChildren()) nodes.push_back(child);
    for (scene::ISceneNode* node : nodes) {
        if (node->getType() != scene::ESNT_MESH || node->getPosition().Y != 70) continue;
        tiles++;
        core::vector3df position = node->getPosition();
        EXPECT_EQ(10, static_cast<int>(position.X) % 20);
        EXPECT_EQ(10, static_cast<int>(position.Z) % 20);
        EXPECT_LE(position.X, 70);
        EXPECT_LE(position.Z, 90);
        EXPECT_EQ(level_top_texture, node->getMaterial(0).TextureLayer[0].Texture);
        EXPECT_EQ(video::EMT_TRANSPARENT_ADD_COLOR, node->getMaterial(0).MaterialType);
        EXPECT_FALSE(node->getMaterial(0).Lighting);
    }
    EXPECT_EQ(20, tiles);
}

TEST_F(LevelTest, ViewModeChoosesTheFigure) {
    SetWorld(5, 5, 5, 0.3);
    settings_Set("is_subjective", 1);
    Create(1);
    EXPECT_FALSE(player->object->node->isVisible());
    EXPECT_NE(std::string::npos,
              std::string(smgr->getMeshCache()->getMeshName(player->object->mesh).getPath().c_str()).find("top.3ds"));
    level_Remove();
    settings_Set("is_subjective", 0);
    Create(1);
    EXPECT_TRUE(player->object->node->isVisible());
    EXPECT_NE(std::string::npos,
              std::string(smgr->getMeshCache()->getMeshName(player->object->mesh).getPath().c_str()).find("blob.3ds"));
}

TEST_F(LevelTest, DeadlineIsDistanceTimesTheTimeFactor) {
    SetWorld(6, 6, 6, 0.3);
    settings_Set("time_counter_speed", 150.9);
    Create(2);
    EXPECT_FALSE(is_time_unlimited);
    EXPECT_EQ(1000u + static_cast<u32>(player_DistanceTo(player, objective2_node)) * 150u, level_deadline);
}

TEST_F(LevelTest, TimeIsUnlimitedOnlyWithoutAutoConfiguration) {
    SetWorld(6, 6, 6, 0.3);
    settings_Set("time_counter_speed", 0);
    Create(2);
    EXPECT_TRUE(is_time_unlimited);
    EXPECT_EQ(TIME_UNLIMITED, util_GetTimeLeft());
    level_Remove();
    settings_Set("time_counter_speed", -5);
    Create(2);
    EXPECT_TRUE(is_time_unlimited);
    level_Remove();
    // Auto-configured, a tiny positive factor still limits the time: it truncates to no time at all.
    settings_Set("is_autoconfigure", 1);
    settings_Set("difficulty_level", 1e9);
    Create(2);
    EXPECT_FALSE(is_time_unlimited);
    EXPECT_EQ(1000u, level_deadline);
}

TEST_F(LevelTest, HugeTimeFactorGivesTheLongestTimeTheClockCanTell) {
    SetWorld(6, 6, 6, 0.3);
    settings_Set("time_counter_speed", 1e12);
    Create(2);
    EXPECT_FALSE(is_time_unlimited);
    EXPECT_EQ(1000u + 2147483647u, level_deadline);
    EXPECT_EQ(2147483647, util_GetTimeLeft());
}

TEST_F(LevelTest, FailedMazeIsBuiltAnew) {
    SetWorld(6, 2, 6, 0.6);
    bool rebuilt = false;
    for (unsigned seed = 1; seed < 60 && !rebuilt; seed++) {
        srand(seed);
        std::string output = Create(4);
        rebuilt = output.find("Creating level...\nRemoving level...\ndone.\nCreating level...\n") == 0;
        EXPECT_EQ(output.size() - 6, output.rfind("done.\n"));
        level_Remove();
    }
    EXPECT_TRUE(rebuilt);
}

TEST_F(LevelTest, RemovalLeavesAnEmptyScene) {
    Create(1);
    testing::internal::CaptureStdout();
    level_Remove();
    EXPECT_EQ("Removing level...\ndone.\n", testing::internal::GetCapturedStdout());
    EXPECT_EQ(0u, smgr->getRootSceneNode()->getChildren().size());
    EXPECT_EQ(nullptr, player);
    EXPECT_EQ(nullptr, tableworld_cells);
    EXPECT_EQ(nullptr, level_top_texture);
}

TEST_F(LevelTest, LevelsLeaveNoTextureBehind) {
    u32 before = driver->getTextureCount();
    Create(3);
    EXPECT_GE(driver->getTextureCount(), before + 9) << "three world textures and six sky faces";
    for (video::ITexture* texture : level_sky_textures) ASSERT_NE(nullptr, texture);
    EXPECT_NE(std::string::npos, std::string(level_sky_textures[5]->getName().getPath().c_str())
                                     .find("data/3/sky_back.bmp"));
    testing::internal::CaptureStdout();
    level_Remove();
    testing::internal::GetCapturedStdout();
    for (video::ITexture* texture : level_sky_textures) EXPECT_EQ(nullptr, texture);
    // What stays cached is shared by every level (the objective's images), so it does not grow.
    u32 after_one = driver->getTextureCount();
    for (int number = 4; number <= 11; number++) {
        Create(number);
        testing::internal::CaptureStdout();
        level_Remove();
        testing::internal::GetCapturedStdout();
    }
    EXPECT_EQ(after_one, driver->getTextureCount());
}

TEST_F(LevelTest, EveryLevelBuildsFromItsOwnFolder) {
    for (int number = 1; number <= 11; number++) {
        Create(number);
        ASSERT_NE(nullptr, player) << number;
        EXPECT_NE(std::string::npos, std::string(level_side_texture->getName().getPath().c_str())
                                         .find("data/" + std::to_string(number) + "/side.bmp"));
        level_Remove();
    }
}

TEST_F(LevelTest, UnplayableSettingsEndWithAClearError) {
    SetWorld(5, 5, 5, 0);
    EXPECT_EXIT(Create(1), ::testing::ExitedWithCode(1),
                "CRITICAL ERROR : no playable level can be built with these settings");
}

TEST_F(LevelTest, TableSizesAreCheckedBeforeAnythingIsAllocated) {
    SetWorld(5, 1, 5, 0.5);
    EXPECT_EXIT(Create(1), ::testing::ExitedWithCode(1), "size_y_world :CRITICAL ERROR : ");
    SetWorld(1e30, 5, 5, 0.5);
    EXPECT_EXIT(Create(1), ::testing::ExitedWithCode(1), "size_x_world :CRITICAL ERROR : ");
}

TEST_F(LevelTest, MissingLevelFolderNamesTheFile) {
    SetWorld(5, 5, 5, 0.5);
    EXPECT_EXIT(Create(12), ::testing::ExitedWithCode(1),
                "^data/12/side.bmp : CRITICAL ERROR : Can't find this file \n$");
}

TEST(LevelPoints, CloseMeansWithinTheToleranceOnEveryAxis) {
    core::vector3df b(10, 20, 30);
    EXPECT_TRUE(level_ArePointsClose(core::vector3df(10.5f, 19.5f, 30.5f), b, 0.5f));
    EXPECT_FALSE(level_ArePointsClose(core::vector3df(10.6f, 20, 30), b, 0.5f));
    EXPECT_FALSE(level_ArePointsClose(core::vector3df(10, 20, 29.4f), b, 0.5f));
    EXPECT_TRUE(level_ArePointsClose(b, b, 0));
}

}  // namespace
