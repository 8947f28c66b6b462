// Tests of game objects, their movement and collision probes, and the player record.
#include <gtest/gtest.h>

#include <string>

#include "app/util.h"
#include "helpers.h"
#include "player/player.h"
#include "settings/settings.h"
#include "world/tableworld.h"

using namespace irr;

namespace {

class Objects : public testing::Test {
protected:
    void SetUp() override {
        // An empty table: each test puts its own cubes.
        tableworld_Create(4, 4, 4, 0.0);
        for (int x = 0; x < 4; ++x)
            for (int y = 0; y < 4; ++y)
                for (int z = 0; z < 4; ++z) tableworld_SetCell(x, y, z, 0);
        cube_mesh = smgr->getGeometryCreator()->createCubeMesh();
    }
    void TearDown() override {
        cube_mesh->drop();
        tableworld_Free();
    }

    // A figure with the player's half-extents, built without a mesh file.
    Object Figure(const core::vector3df& position) {
        Object object{nullptr, smgr->addMeshSceneNode(cube_mesh), 3, 6};
        object.node->setPosition(position);
        return object;
    }

    bool CollidesAt(float x, float y, float z) {
        Object object = Figure(core::vector3df(x, y, z));
        bool collides = object_Collides(&object);
        object.node->remove();
        return collides;
    }

    NullDevice null_device;
    scene::IMesh* cube_mesh = nullptr;
};

void ExpectPosition(const Object& object, float x, float y, float z) {
    core::vector3df position = object.node->getPosition();
    EXPECT_NEAR(position.X, x, 1e-4);
    EXPECT_NEAR(position.Y, y, 1e-4);
    EXPECT_NEAR(position.Z, z, 1e-4);
}

TEST_F(Objects, ProbesReachThreeUnitsAcrossAndSixUnitsUp) {
    // The one cube spans [20, 40) on every axis.
    tableworld_SetCell(1, 1, 1, 1);
    EXPECT_FALSE(CollidesAt(10, 30, 30));
    EXPECT_TRUE(CollidesAt(30, 30, 30));

    EXPECT_FALSE(CollidesAt(16.9f, 30, 30));
    EXPECT_TRUE(CollidesAt(17, 30, 30));
    EXPECT_TRUE(CollidesAt(42.9f, 30, 30));
    EXPECT_FALSE(CollidesAt(43, 30, 30));

    EXPECT_FALSE(CollidesAt(30, 30, 16.9f));
    EXPECT_TRUE(CollidesAt(30, 30, 17));
    EXPECT_TRUE(CollidesAt(30, 30, 42.9f));
    EXPECT_FALSE(CollidesAt(30, 30, 43));

    EXPECT_FALSE(CollidesAt(30, 13.9f, 30));
    EXPECT_TRUE(CollidesAt(30, 14, 30));
    EXPECT_TRUE(CollidesAt(30, 45.9f, 30));
    EXPECT_FALSE(CollidesAt(30, 46, 30));

    // Vertically the reach is six, not three.
    EXPECT_TRUE(CollidesAt(30, 15, 30));
    EXPECT_FALSE(CollidesAt(15, 30, 30));
}

TEST_F(Objects, DiagonalCornerIsEnteredWithoutCollision) {
    tableworld_SetCell(1, 1, 1, 1);
    // Two units from the cube's corner along both X and Z: the figure overlaps it, yet no probe is inside.
    EXPECT_FALSE(CollidesAt(18, 30, 18));
    EXPECT_FALSE(CollidesAt(42, 30, 42));
    EXPECT_FALSE(CollidesAt(18, 15, 18));
    EXPECT_TRUE(CollidesAt(18, 30, 21));
}

TEST_F(Objects, MovesFollowTheHeading) {
    Object object = Figure(core::vector3df(100, 50, 100));
    object_MoveForward(&object, 10);
    ExpectPosition(object, 90, 50, 100);
    object_MoveSideways(&object, 10);
    ExpectPosition(object, 90, 50, 110);
    object_MoveUp(&object, -2.5);
    ExpectPosition(object, 90, 47.5f, 110);

    object.node->setRotation(core::vector3df(0, 90, 0));
    object_MoveForward(&object, 10);
    ExpectPosition(object, 90, 47.5f, 120);
    object_MoveSideways(&object, 10);
    ExpectPosition(object, 100, 47.5f, 120);

    object.node->setRotation(core::vector3df(0, 45, 0));
    object_MoveForward(&object, -2);
    ExpectPosition(object, 101.414214f, 47.5f, 118.585786f);
}

TEST_F(Objects, TurnsAccumulateWithoutWrapping) {
    Object object = Figure(core::vector3df(0, 0, 0));
    object.node->setRotation(core::vector3df(5, 0, 7));
    object_Turn(&object, 350);
    object_Turn(&object, 20);
    EXPECT_FLOAT_EQ(object.node->getRotation().Y, 370);
    EXPECT_FLOAT_EQ(object.node->getRotation().X, 5);
    EXPECT_FLOAT_EQ(object.node->getRotation().Z, 7);
    object_Turn(&object, -400);
    EXPECT_FLOAT_EQ(object.node->getRotation().Y, -30);
}

TEST_F(Objects, DistancesInSinglePrecisionTruncated) {
    Object figure = Figure(core::vector3df(0, 0, 0));
    Player player{};
    player.object = &figure;
    scene::ISceneNode* target = smgr->addEmptySceneNode();
    target->setPosition(core::vector3df(3, 4, 0));
    EXPECT_EQ(player_DistanceTo(&player, target), 5);
    target->setPosition(core::vector3df(-3, 0, -4));
    EXPECT_EQ(player_DistanceTo(&player, target), 5);
    target->setPosition(core::vector3df(0.9f, 0, 0));
    EXPECT_EQ(player_DistanceTo(&player, target), 0);
    target->setPosition(core::vector3df(1, 2, 2));
    EXPECT_EQ(player_DistanceTo(&player, target), 3);
    target->setPosition(core::vector3df(0, 5.99f, 0));
    EXPECT_EQ(player_DistanceTo(&player, target), 5);
    // In double precision this is 4.9999999; in single precision it rounds to 5.
    target->setPosition(core::vector3df(2.99999094f, 4.00000668f, 0));
    EXPECT_EQ(player_DistanceTo(&player, target), 5);
    EXPECT_EQ(util_GetDistance(0, 0, 0, 2.99999094f, 4.00000668f, 0), 5.0f);

    EXPECT_EQ(util_GetDistance(0, 0, 0, 3, 4, 0), 5.0f);
    EXPECT_EQ(util_GetDistance(1, 2, 3, 1, 2, 3), 0.0f);
    EXPECT_EQ(util_GetDistance(10, 10, 10, 11, 12, 12), 3.0f);
}

TEST_F(Objects, CreatedOnAStandingPositionScaledAndUnlit) {
    // Every cell of the floor layer holds a cube, so the figure stands in the layer above.
    for (int x = 0; x < 4; ++x)
        for (int z = 0; z < 4; ++z) tableworld_SetCell(x, 0, z, 1);
    Object object;
    ASSERT_EQ(object_Create(&object, "data/blob.3ds", 2.5, 4.5, true), &object);
    EXPECT_EQ(object.half_extent_xz, 2.5);
    EXPECT_EQ(object.half_extent_y, 4.5);
    EXPECT_EQ(object.mesh, smgr->getMesh("data/blob.3ds"));
    ASSERT_NE(object.node, nullptr);
    EXPECT_EQ(object.node->getMesh(), object.mesh->getMesh(0));
    EXPECT_TRUE(object.node->isVisible());
    EXPECT_EQ(object.node->getScale(), core::vector3df(0.1f, 0.1f, 0.1f));
    EXPECT_EQ(object.node->getRotation(), core::vector3df(0, 0, 0));
    ASSERT_GT(object.node->getMaterialCount(), 0u);
    for (u32 i = 0; i < object.node->getMaterialCount(); ++i) EXPECT_FALSE(object.node->getMaterial(i).Lighting);
    core::vector3df position = object.node->getPosition();
    EXPECT_EQ(position.Y, 30);
    EXPECT_EQ(static_cast<int>(position.X) % 20, 10);
    EXPECT_EQ(static_cast<int>(position.Z) % 20, 10);
    EXPECT_EQ(object.node->getParent(), smgr->getRootSceneNode());

    Object hidden;
    object_Create(&hidden, "data/top.3ds", 3, 6, false);
    EXPECT_FALSE(hidden.node->isVisible());
}

TEST_F(Objects, MissingMeshIsACriticalError) {
    tableworld_SetCell(0, 0, 0, 1);
    Object object;
    EXPECT_EXIT(object_Create(&object, nullptr, 3, 6, true), testing::ExitedWithCode(1),
                "CRITICAL ERROR : Object don't has any mesh");
    EXPECT_EXIT(object_Create(&object, "data/nothing.3ds", 3, 6, true), testing::ExitedWithCode(1),
                "data/nothing.3ds : CRITICAL ERROR : Can't find this file");
}

// The player reads its settings from the shipped file with the view mode given.
class Players : public Objects {
protected:
    void LoadWithViewMode(const char* is_subjective) {
        std::string config = helpers_ShippedConfig();
        std::string key = "is_subjective=\"";
        size_t at = config.find(key);
        ASSERT_NE(at, std::string::npos);
        size_t end = config.find('"', at + key.size());
        config.replace(at + key.size(), end - at - key.size(), is_subjective);
        config.replace(config.find("mouse_rotation_speed=\"") + 22, 1, "7");
        helpers_LoadSettings(config);
        tableworld_SetCell(2, 1, 3, 1);
    }
    void TearDown() override {
        settings_Release();
        Objects::TearDown();
    }
};

TEST_F(Players, TopDownViewShowsTheBlob) {
    LoadWithViewMode("0");
    Player player;
    ASSERT_EQ(player_Create(&player, "data/blob.3ds"), &player);
    EXPECT_FALSE(player.is_subjective);
    EXPECT_TRUE(player.object->node->isVisible());
    EXPECT_EQ(player.object->mesh, smgr->getMesh("data/blob.3ds"));
    EXPECT_EQ(player.object->half_extent_xz, 3);
    EXPECT_EQ(player.object->half_extent_y, 6);
    EXPECT_EQ(player.vertical_speed, 0);
    EXPECT_TRUE(player.is_airborne);
    EXPECT_TRUE(player.is_distance_3d);
    EXPECT_EQ(player.pitch, 20);
    EXPECT_EQ(player.mouse_rotation_speed, 7);
    EXPECT_EQ(player.keys_rotation_speed, settings_Get("keys_rotation_speed"));
    EXPECT_EQ(player.cursor, device->getCursorControl());
    EXPECT_EQ(player.screen_width, 800);
    EXPECT_EQ(player.screen_height, 600);
    // The only standing place is on top of the one cube.
    EXPECT_EQ(player.object->node->getPosition(), core::vector3df(50, 50, 70));
    delete player.object;
}

TEST_F(Players, FirstPersonViewHidesTheFigure) {
    LoadWithViewMode("1");
    window_width = 1024;
    window_height = 768;
    Player player;
    player_Create(&player, "data/top.3ds");
    EXPECT_TRUE(player.is_subjective);
    EXPECT_FALSE(player.object->node->isVisible());
    EXPECT_EQ(player.object->mesh, smgr->getMesh("data/top.3ds"));
    EXPECT_EQ(player.screen_width, 1024);
    EXPECT_EQ(player.screen_height, 768);
    delete player.object;
}

TEST_F(Players, AnyNonZeroViewModeIsFirstPerson) {
    LoadWithViewMode("0.25");
    Player player;
    player_Create(&player, "data/top.3ds");
    EXPECT_TRUE(player.is_subjective);
    delete player.object;
}

}  // namespace
