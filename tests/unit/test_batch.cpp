// The batch that draws the cube pieces: what it holds after the build, a move, the quake and the level's removal.
#include <gtest/gtest.h>

#include <cstdlib>

#include "app/util.h"
#include "helpers.h"
#include "level/level.h"
#include "player/player.h"
#include "settings/settings.h"
#include "world/tableworld.h"

using namespace irr;
using core::vector3df;

namespace {

class BatchTest : public ::testing::Test {
protected:
    void SetUp() override {
        unsetenv("KORVANIX_DRAW_NODES");
        helpers_LoadSettings(helpers_ShippedConfig());
        null_device = new NullDevice();
        timer->stop();
        timer->setTime(1000);
        fps = 60;
        srand(11);
    }
    void TearDown() override {
        if (player) level_Remove();
        unsetenv("KORVANIX_DRAW_NODES");
        delete null_device;
        settings_Release();
    }
    void Create(int level_number) {
        testing::internal::CaptureStdout();
        level_Create(level_number, nullptr);
        testing::internal::GetCapturedStdout();
        player->cursor = nullptr;
    }
    int CountCubes() {
        int cubes = 0;
        for (int i = 0; i < tableworld_size_x * tableworld_size_y * tableworld_size_z; i++) cubes += tableworld_cells[i];
        return cubes;
    }
    // The batch's copy of each of the three nodes of every cube stands where the node stands now: the vertices
    // read back from the buffers span the piece's 20.4 units around the node's position.
    void ExpectPiecesAtTheirNodes(const char* when) {
        smgr->getRootSceneNode()->OnAnimate(timer->getTime());
        for (int i = 0; i < tableworld_size_x * tableworld_size_y * tableworld_size_z; i++) {
            if (!tableworld_cells[i]) continue;
            scene::ISceneNode* nodes[3] = {tableworld_side_nodes[i], tableworld_top_nodes[i], tableworld_bottom_nodes[i]};
            const char* meshes[3] = {"data/side.3ds", "data/top.3ds", "data/bottom.3ds"};
            for (int k = 0; k < 3; k++) {
                int count = 0;
                core::aabbox3df box = tableworld_GetBatchPieceBox(nodes[k], &count);
                ASSERT_EQ(smgr->getMesh(meshes[k])->getMesh(0)->getMeshBuffer(0)->getVertexCount(), (u32)count) << when;
                vector3df position = nodes[k]->getPosition();
                // Drawn node by node, the node stands where it is: its absolute place follows its moves.
                EXPECT_EQ(position, nodes[k]->getAbsolutePosition()) << when;
                EXPECT_NEAR(position.X - 10.2f, box.MinEdge.X, 1e-3) << when;
                EXPECT_NEAR(position.X + 10.2f, box.MaxEdge.X, 1e-3) << when;
                EXPECT_NEAR(position.Z - 10.2f, box.MinEdge.Z, 1e-3) << when;
                EXPECT_NEAR(position.Z + 10.2f, box.MaxEdge.Z, 1e-3) << when;
                // The sides span the height, the top and bottom lie at its two ends.
                EXPECT_NEAR(position.Y + (k == 2 ? -10.2f : -10.2f + 20.4f * (k == 1)), box.MinEdge.Y, 1e-3) << when;
                EXPECT_NEAR(position.Y + (k == 2 ? -10.2f : 10.2f), box.MaxEdge.Y, 1e-3) << when;
            }
        }
    }
    NullDevice* null_device = nullptr;
};

TEST_F(BatchTest, HoldsEveryPieceWhereItsNodeStands) {
    Create(1);
    int cubes = CountCubes();
    ASSERT_GT(cubes, 10);
    // Three pieces per cube and the ceiling's tiles above every column.
    EXPECT_EQ(3 * cubes + tableworld_size_x * tableworld_size_z, tableworld_CountBatchPieces());
    // Sides, tops, bottoms and the ceiling: one merged buffer each for a table of this size.
    EXPECT_EQ(4, tableworld_CountBatchBuffers());
    ExpectPiecesAtTheirNodes("built");
    // The nodes keep what the rules and the tests read: their visibility and their materials.
    scene::ISceneNode* top = tableworld_top_nodes[tableworld_GetIndex(0, 0, 0)];
    for (int i = 0; i < tableworld_size_x * tableworld_size_y * tableworld_size_z; i++)
        if (tableworld_cells[i]) top = tableworld_top_nodes[i];
    EXPECT_TRUE(top->isVisible());
    EXPECT_EQ(level_top_texture, top->getMaterial(0).TextureLayer[0].Texture);
    EXPECT_TRUE(top->getMaterial(0).Lighting);
    // Adopted by the batch, which stands at the origin unturned: drawn node by node they are where they were.
    top->updateAbsolutePosition();
    EXPECT_EQ(top->getPosition(), top->getAbsolutePosition());
}

TEST_F(BatchTest, FollowsTheMovingCubeAndTheQuake) {
    Create(10);
    ASSERT_NE(0, settings_GetFlag("moving_cubes"));
    int moving_frames = 0;
    for (int frame = 0; frame < 200; frame++) {
        if (level_Update() < 0) player->object->node->setPosition(tableworld_GetRandomPosition());
        if (tableworld_move_direction == 0) continue;
        moving_frames++;
        // Mid-move the cube belongs to no cell: its pieces are checked through the nodes that carry it.
        for (scene::ISceneNode* node : tableworld_move_nodes) {
            int count = 0;
            core::aabbox3df box = tableworld_GetBatchPieceBox(node, &count);
            ASSERT_GT(count, 0);
            EXPECT_NEAR(node->getPosition().X, box.getCenter().X, 1e-3);
            EXPECT_NEAR(node->getPosition().Z, box.getCenter().Z, 1e-3);
        }
    }
    EXPECT_GT(moving_frames, 20);
    ExpectPiecesAtTheirNodes("after the moves");

    settings_Set("quake_intensity", 3);
    for (int frame = 0; frame < 5; frame++) level_Update();
    int away = 0;
    for (int i = 0; i < tableworld_size_x * tableworld_size_y * tableworld_size_z; i++)
        if (tableworld_cells[i] && tableworld_side_nodes[i]->getPosition().X != 10 + 20 * (i % tableworld_size_x)) away++;
    EXPECT_GT(away, 0);
    ExpectPiecesAtTheirNodes("shaken");
}

// Three cubes in a row: the four faces where they touch lie inside a neighbour and are left out, cut down to
// what a shaken cube shows of them, and brought back whole when a gap opens or the camera comes into a cube.
// Faces seen from behind are left out too: from above, in front and at the middle cube's x, each cube shows its
// top and its front (two triangles each), and each end cube the face it turns toward the middle one.
TEST_F(BatchTest, LeavesOutTheFacesBetweenNeighboursWhileNothingCanSeeThem) {
    level_side_texture = driver->addTexture(core::dimension2d<u32>(4, 4), "side");
    level_top_texture = driver->addTexture(core::dimension2d<u32>(4, 4), "top");
    level_bottom_texture = driver->addTexture(core::dimension2d<u32>(4, 4), "bottom");
    tableworld_Create(3, 2, 1, 0.0);
    for (int x = 0; x < 3; x++) tableworld_SetCell(x, 0, 0, 1);
    tableworld_AddAllCubes(false, false);
    tableworld_CreateBatch();
    camera = smgr->addCameraSceneNode(nullptr, vector3df(30, 200, -300), vector3df(30, 10, 10));
    auto drawn = [] {
        smgr->drawAll();
        return tableworld_CountBatchTriangles();
    };
    const int seen = 3 * 2 * 2;
    EXPECT_EQ(seen, drawn());

    // Shaken off its centre, the middle cube shows strips of the four faces beyond its neighbours' sides, and
    // those strips alone are drawn, of the faces turned toward the camera: the neighbours' faces toward the
    // middle cube, two strips each, one along each axis it was shaken on across the row.
    scene::ISceneNode* middle[3] = {tableworld_side_nodes[1], tableworld_top_nodes[1], tableworld_bottom_nodes[1]};
    for (scene::ISceneNode* node : middle) node->setPosition(vector3df(30.3f, 9.7f, 10.3f));
    tableworld_UpdateBatch();
    EXPECT_EQ(seen + 2 * 2 * 2, drawn());
    // Shaken along the row farther than the overlap, it opens a gap on one side, where the left cube's face comes
    // back whole (the middle cube's, facing away, stays out), and goes deeper into the neighbour on the other,
    // where the faces stay left out.
    for (scene::ISceneNode* node : middle) node->setPosition(vector3df(30.5f, 10, 10));
    tableworld_UpdateBatch();
    EXPECT_EQ(seen + 2, drawn());
    for (scene::ISceneNode* node : middle) node->setPosition(vector3df(30, 10, 10));
    tableworld_UpdateBatch();
    EXPECT_EQ(seen, drawn());

    // From inside the middle cube its neighbours' faces toward it are in view, and nothing else faces the eye.
    camera->setPosition(vector3df(30, 12, 10));
    camera->updateAbsolutePosition();
    EXPECT_EQ(2 * 2, drawn());
    tableworld_RemoveBatch();
    tableworld_Free();
    smgr->clear();
    camera = nullptr;
    level_side_texture = level_top_texture = level_bottom_texture = nullptr;
}

TEST_F(BatchTest, GoesWithTheLevelAndComesBackWithTheNext) {
    Create(2);
    int cubes = CountCubes();
    EXPECT_EQ(3 * cubes + tableworld_size_x * tableworld_size_z, tableworld_CountBatchPieces());
    testing::internal::CaptureStdout();
    level_Remove();
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(0, tableworld_CountBatchPieces());
    EXPECT_EQ(0, tableworld_CountBatchBuffers());
    EXPECT_EQ(0u, smgr->getRootSceneNode()->getChildren().size());
    Create(3);
    EXPECT_EQ(3 * CountCubes() + tableworld_size_x * tableworld_size_z, tableworld_CountBatchPieces());
    ExpectPiecesAtTheirNodes("next level");
}

}  // namespace
