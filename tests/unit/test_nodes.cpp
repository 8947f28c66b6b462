// The cube nodes: three nodes per cube at the cell centres, their materials, fog and glass, and the objective cube.
#include <gtest/gtest.h>

#include <unistd.h>

#include "app/util.h"
#include "helpers.h"
#include "level/level.h"
#include "world/tableworld.h"

using namespace irr;
using core::vector3df;

namespace {

class NodesTest : public ::testing::Test {
protected:
    void SetUp() override {
        null_device = new NullDevice();
        level_side_texture = driver->addTexture(core::dimension2d<u32>(4, 4), "side texture");
        level_top_texture = driver->addTexture(core::dimension2d<u32>(4, 4), "top texture");
        level_bottom_texture = driver->addTexture(core::dimension2d<u32>(4, 4), "bottom texture");
    }
    void TearDown() override {
        tableworld_Free();
        level_side_texture = level_top_texture = level_bottom_texture = nullptr;
        delete null_device;
    }
    // The material flags and types as the mesh files load them, to tell what the cube build changed.
    video::SMaterial LoadedMaterial(const char* mesh_file) {
        scene::IMeshSceneNode* node = tableworld_AddMeshNode(mesh_file);
        video::SMaterial material = node->getMaterial(0);
        node->remove();
        return material;
    }
    void ExpectCubeMaterials(scene::ISceneNode* node, video::ITexture* texture) {
        ASSERT_GT(node->getMaterialCount(), 0u);
        for (u32 i = 0; i < node->getMaterialCount(); i++) {
            const video::SMaterial& material = node->getMaterial(i);
            EXPECT_EQ(texture, material.TextureLayer[0].Texture);
            EXPECT_EQ(video::SColor(255, 150, 150, 150), material.AmbientColor);
            EXPECT_EQ(video::SColor(255, 150, 150, 150), material.DiffuseColor);
            EXPECT_EQ(video::SColor(0, 0, 0, 0), material.SpecularColor);
            EXPECT_EQ(0.0f, material.Shininess);
            EXPECT_TRUE(material.Lighting);
            EXPECT_TRUE(material.NormalizeNormals);
        }
    }
    size_t CountSceneNodes() { return smgr->getRootSceneNode()->getChildren().size(); }

    NullDevice* null_device = nullptr;
};

TEST_F(NodesTest, EveryCubeGetsThreeNodesAtItsCellCentre) {
    tableworld_Create(3, 2, 4, 0.0);
    tableworld_SetCell(2, 1, 3, 1);
    tableworld_SetCell(1, 0, 2, 1);
    size_t before = CountSceneNodes();
    tableworld_AddAllCubes(false, false);
    EXPECT_EQ(before + 9, CountSceneNodes());

    const int cubes[3][3] = {{0, 0, 0}, {2, 1, 3}, {1, 0, 2}};
    const vector3df centres[3] = {vector3df(10, 10, 10), vector3df(50, 30, 70), vector3df(30, 10, 50)};
    for (int c = 0; c < 3; c++) {
        int index = tableworld_GetIndex(cubes[c][0], cubes[c][1], cubes[c][2]);
        scene::ISceneNode* nodes[3] = {tableworld_side_nodes[index], tableworld_top_nodes[index],
                                       tableworld_bottom_nodes[index]};
        for (scene::ISceneNode* node : nodes) {
            ASSERT_NE(nullptr, node);
            EXPECT_EQ(centres[c], node->getPosition());
            EXPECT_EQ(vector3df(0.51f, 0.51f, 0.51f), node->getScale());
            EXPECT_EQ(vector3df(0, 0, 0), node->getRotation());
        }
        EXPECT_NE(nodes[0], nodes[1]);
        EXPECT_NE(nodes[1], nodes[2]);
        ExpectCubeMaterials(nodes[0], level_side_texture);
        ExpectCubeMaterials(nodes[1], level_top_texture);
        ExpectCubeMaterials(nodes[2], level_bottom_texture);
    }
    // Free cells keep empty entries.
    EXPECT_EQ(nullptr, tableworld_side_nodes[tableworld_GetIndex(0, 1, 0)]);
}

TEST_F(NodesTest, TheThreeFacesComeFromTheirOwnMeshes) {
    tableworld_Create(1, 2, 1, 0.0);
    tableworld_AddAllCubes(false, false);
    scene::IMesh* side = smgr->getMesh("data/side.3ds")->getMesh(0);
    scene::IMesh* top = smgr->getMesh("data/top.3ds")->getMesh(0);
    scene::IMesh* bottom = smgr->getMesh("data/bottom.3ds")->getMesh(0);
    EXPECT_EQ(side, static_cast<scene::IMeshSceneNode*>(tableworld_side_nodes[0])->getMesh());
    EXPECT_EQ(top, static_cast<scene::IMeshSceneNode*>(tableworld_top_nodes[0])->getMesh());
    EXPECT_EQ(bottom, static_cast<scene::IMeshSceneNode*>(tableworld_bottom_nodes[0])->getMesh());
}

TEST_F(NodesTest, FogAndGlassChangeOnlyWhatTheyAreFor) {
    video::SMaterial side = LoadedMaterial("data/side.3ds");
    video::SMaterial top = LoadedMaterial("data/top.3ds");
    video::SMaterial bottom = LoadedMaterial("data/bottom.3ds");
    // Without the flags the materials keep the fog and the type that the meshes load with.
    tableworld_Create(1, 2, 1, 0.0);
    tableworld_AddAllCubes(false, false);
    EXPECT_EQ(side.FogEnable, tableworld_side_nodes[0]->getMaterial(0).FogEnable);
    EXPECT_EQ(top.FogEnable, tableworld_top_nodes[0]->getMaterial(0).FogEnable);
    EXPECT_EQ(side.MaterialType, tableworld_side_nodes[0]->getMaterial(0).MaterialType);
    EXPECT_EQ(top.MaterialType, tableworld_top_nodes[0]->getMaterial(0).MaterialType);
    EXPECT_EQ(bottom.MaterialType, tableworld_bottom_nodes[0]->getMaterial(0).MaterialType);
    ASSERT_NE(video::EMT_TRANSPARENT_ADD_COLOR, top.MaterialType);

    tableworld_Create(1, 2, 1, 0.0);
    tableworld_AddAllCubes(true, true);
    scene::ISceneNode* nodes[3] = {tableworld_side_nodes[0], tableworld_top_nodes[0], tableworld_bottom_nodes[0]};
    for (scene::ISceneNode* node : nodes)
        for (u32 i = 0; i < node->getMaterialCount(); i++) EXPECT_TRUE(node->getMaterial(i).FogEnable);
    for (u32 i = 0; i < nodes[0]->getMaterialCount(); i++)
        EXPECT_EQ(side.MaterialType, nodes[0]->getMaterial(i).MaterialType);
    for (scene::ISceneNode* node : {nodes[1], nodes[2]})
        for (u32 i = 0; i < node->getMaterialCount(); i++)
            EXPECT_EQ(video::EMT_TRANSPARENT_ADD_COLOR, node->getMaterial(i).MaterialType);

    // Fog alone leaves the tops opaque.
    tableworld_Create(1, 2, 1, 0.0);
    tableworld_AddAllCubes(true, false);
    EXPECT_TRUE(tableworld_top_nodes[0]->getMaterial(0).FogEnable);
    EXPECT_EQ(top.MaterialType, tableworld_top_nodes[0]->getMaterial(0).MaterialType);
}

TEST_F(NodesTest, ACubeOutsideTheTableIsDrawnButNotRecorded) {
    tableworld_Create(1, 2, 1, 0.0);
    size_t before = CountSceneNodes();
    tableworld_AddCube(level_top_texture, 100, 0, 0, level_side_texture, level_bottom_texture, false, false);
    EXPECT_EQ(before + 3, CountSceneNodes());
    EXPECT_EQ(nullptr, tableworld_side_nodes[0]);
    EXPECT_EQ(nullptr, tableworld_side_nodes[1]);
}

TEST_F(NodesTest, TheObjectiveCubeKeepsScaleOneAndNoLighting) {
    vector3df position(50, 30, 70);
    scene::ISceneNode* node = util_AddTexturedCube("data/objectiv.png", false, position);
    ASSERT_NE(nullptr, node);
    EXPECT_EQ(position, node->getPosition());
    EXPECT_EQ(vector3df(1, 1, 1), node->getScale());
    EXPECT_EQ(smgr->getMesh("data/cube.3ds")->getMesh(0), static_cast<scene::IMeshSceneNode*>(node)->getMesh());
    video::ITexture* texture = driver->getTexture("data/objectiv.png");
    ASSERT_NE(nullptr, texture);
    bool loaded_fog = LoadedMaterial("data/cube.3ds").FogEnable;
    for (u32 i = 0; i < node->getMaterialCount(); i++) {
        EXPECT_EQ(texture, node->getMaterial(i).TextureLayer[0].Texture);
        EXPECT_FALSE(node->getMaterial(i).Lighting);
        EXPECT_EQ(loaded_fog, node->getMaterial(i).FogEnable);
    }
    scene::ISceneNode* foggy = util_AddTexturedCube("data/objectiv2.png", true, position);
    for (u32 i = 0; i < foggy->getMaterialCount(); i++) EXPECT_TRUE(foggy->getMaterial(i).FogEnable);
}

TEST_F(NodesTest, AMissingMeshIsNamedBeforeTheCriticalError) {
    ScratchDirectory scratch;
    ASSERT_EQ(0, unlink("data"));
    tableworld_Create(1, 2, 1, 0.0);
    EXPECT_EXIT(tableworld_AddAllCubes(false, false), ::testing::ExitedWithCode(1),
                "data/side.3ds : CRITICAL ERROR : Can't find this file");
    EXPECT_EXIT(util_AddTexturedCube("data/objectiv.png", false, vector3df()), ::testing::ExitedWithCode(1),
                "data/cube.3ds : CRITICAL ERROR : Can't find this file");
}

}  // namespace
