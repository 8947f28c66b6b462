// The moving cube and the quake: steps and landing, the choice of cube and destination, and the random draws.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <vector>

#include "app/util.h"
#include "helpers.h"
#include "player/player.h"
#include "world/tableworld.h"

using namespace irr;
using core::vector3df;

namespace {

vector3df Centre(int x, int y, int z) {
    return vector3df(20.0f * x + 10, 20.0f * y + 10, 20.0f * z + 10);
}

// srand(1) on the C library of this platform: rand()'s top 15 bits, draw by draw, and u = value / 32767.
// 1: 27531 (0.840)  2: 12923 (0.394)  3: 25660 (0.783)  4: 26163 (0.798)  5: 29872 (0.912)
// 6: 6473 (0.198)  7: 10984 (0.335)  8: 25173 (0.768)  9: 9102 (0.278)  ...  15: 31202 (0.952)
const int SEED_ONE_DRAWS[15] = {27531, 12923, 25660, 26163, 29872, 6473, 10984, 25173,
                                9102,  18152, 15643, 20606, 11953, 16823, 31202};

// Seeds the generator with 1 after checking that it gives the draws the expectations were worked out from.
void ScriptDrawsFromSeedOne() {
    srand(1);
    for (int draw : SEED_ONE_DRAWS) ASSERT_EQ(draw, tableworld_GetRandom15());
    srand(1);
}

// Empty scene nodes stand in for the cube meshes: only positions matter here.
class MoveTest : public ::testing::Test {
protected:
    void SetUp() override {
        null_device = new NullDevice();
        object = Object{};
        object.node = smgr->addMeshSceneNode(nullptr, nullptr, -1, vector3df(0, 0, 0), vector3df(0, 0, 0),
                                             vector3df(1, 1, 1), true);
        player_record = Player{};
        player_record.object = &object;
        objective = smgr->addEmptySceneNode();
        for (scene::ISceneNode*& node : tableworld_move_nodes) node = nullptr;
        // Every test sees the same draws, whether it runs alone or after the others.
        srand(1);
    }
    void TearDown() override {
        tableworld_Free();
        delete null_device;
    }

    // Gives every cube of the table its three nodes at its cell's centre.
    void AddNodes() {
        for (int x = 0; x < tableworld_size_x; x++)
            for (int y = 0; y < tableworld_size_y; y++)
                for (int z = 0; z < tableworld_size_z; z++)
                    if (tableworld_GetCell(x, y, z)) AddNodesAt(x, y, z);
    }
    void AddNodesAt(int x, int y, int z) {
        int index = tableworld_GetIndex(x, y, z);
        scene::ISceneNode** arrays[3] = {tableworld_side_nodes, tableworld_top_nodes, tableworld_bottom_nodes};
        for (scene::ISceneNode** array : arrays) {
            array[index] = smgr->addEmptySceneNode();
            array[index]->setPosition(Centre(x, y, z));
        }
    }
    // A move of the cube whose nodes are at the given place toward the given cell, as if it had just started.
    void StartMove(int direction, const vector3df& from, int tx, int ty, int tz, double target) {
        for (scene::ISceneNode*& node : tableworld_move_nodes) {
            node = smgr->addEmptySceneNode();
            node->setPosition(from);
        }
        tableworld_move_direction = direction;
        tableworld_move_cell[0] = tx;
        tableworld_move_cell[1] = ty;
        tableworld_move_cell[2] = tz;
        tableworld_move_target = target;
    }
    void ExpectMovingNodesAt(const vector3df& position) {
        for (scene::ISceneNode* node : tableworld_move_nodes) EXPECT_EQ(position, node->getPosition());
    }
    // The nodes recorded for a cell; the moving nodes may already name the next candidate cube.
    void ExpectCellNodesAt(int x, int y, int z, const vector3df& position) {
        int index = tableworld_GetIndex(x, y, z);
        EXPECT_EQ(position, tableworld_side_nodes[index]->getPosition());
        EXPECT_EQ(position, tableworld_top_nodes[index]->getPosition());
        EXPECT_EQ(position, tableworld_bottom_nodes[index]->getPosition());
    }
    int CountCubes() {
        int cubes = 0;
        for (int i = 0; i < tableworld_size_x * tableworld_size_y * tableworld_size_z; i++) cubes += tableworld_cells[i];
        return cubes;
    }

    NullDevice* null_device = nullptr;
    Object object{};
    Player player_record{};
    scene::ISceneNode* objective = nullptr;
};

TEST_F(MoveTest, ACubeSlidesToItsTargetAndTheNextMoveStartsInTheSameCall) {
    tableworld_Create(8, 3, 1, 0.0);
    AddNodes();
    object.node->setPosition(Centre(0, 1, 0));
    objective->setPosition(Centre(0, 1, 0));
    StartMove(1, vector3df(130, 30, 10), 5, 1, 0, 110);
    scene::ISceneNode* side = tableworld_move_nodes[0];

    tableworld_MoveCube(&player_record, objective, 7);
    ExpectMovingNodesAt(vector3df(123, 30, 10));
    tableworld_MoveCube(&player_record, objective, 7);
    ExpectMovingNodesAt(vector3df(116, 30, 10));
    EXPECT_EQ(1, tableworld_move_direction);
    EXPECT_EQ(0, tableworld_GetCell(5, 1, 0));

    srand(4);
    tableworld_MoveCube(&player_record, objective, 7);
    int index = tableworld_GetIndex(5, 1, 0);
    EXPECT_EQ(vector3df(110, 30, 10), side->getPosition());
    EXPECT_EQ(side, tableworld_side_nodes[index]);
    EXPECT_NE(nullptr, tableworld_top_nodes[index]);
    EXPECT_EQ(tableworld_top_nodes[index]->getPosition(), side->getPosition());
    EXPECT_EQ(tableworld_bottom_nodes[index]->getPosition(), side->getPosition());
    // 100 units from the player, the cube just placed is the only one that may move next.
    ASSERT_NE(0, tableworld_move_direction);
    EXPECT_EQ(side, tableworld_move_nodes[0]);
    EXPECT_EQ(0, tableworld_GetCell(5, 1, 0));
    int dx = tableworld_move_cell[0] - 5, dy = tableworld_move_cell[1] - 1, dz = tableworld_move_cell[2];
    EXPECT_EQ(1, std::abs(dx) + std::abs(dy) + std::abs(dz));
}

TEST_F(MoveTest, LandingExactlyOnTheTargetEndsTheMoveOnlyOnTheNextCall) {
    tableworld_Create(8, 3, 1, 0.0);
    AddNodes();
    // Far from every cube, so no next move hides the end of this one.
    object.node->setPosition(vector3df(5000, 5000, 5000));
    StartMove(1, vector3df(130, 30, 10), 5, 1, 0, 110);
    tableworld_MoveCube(&player_record, objective, 20);
    EXPECT_EQ(1, tableworld_move_direction);
    ExpectMovingNodesAt(vector3df(110, 30, 10));
    EXPECT_EQ(0, tableworld_GetCell(5, 1, 0));
    tableworld_MoveCube(&player_record, objective, 20);
    EXPECT_EQ(0, tableworld_move_direction);
    EXPECT_EQ(1, tableworld_GetCell(5, 1, 0));
    ExpectMovingNodesAt(vector3df(110, 30, 10));
    EXPECT_EQ(tableworld_move_nodes[0], tableworld_side_nodes[tableworld_GetIndex(5, 1, 0)]);
}

TEST_F(MoveTest, UpwardMovesEndOncePastTheTarget) {
    tableworld_Create(3, 3, 3, 0.0);
    AddNodes();
    // Far from everything: no next move can start, so the finished cube stays in place.
    object.node->setPosition(vector3df(5000, 5000, 5000));
    StartMove(4, Centre(2, 0, 2), 2, 1, 2, 30);
    tableworld_MoveCube(&player_record, objective, 11);
    ExpectMovingNodesAt(vector3df(50, 21, 50));
    EXPECT_EQ(0, tableworld_GetCell(2, 1, 2));
    tableworld_MoveCube(&player_record, objective, 11);
    ExpectCellNodesAt(2, 1, 2, Centre(2, 1, 2));
    EXPECT_EQ(1, tableworld_GetCell(2, 1, 2));
    EXPECT_EQ(0, tableworld_move_direction);
}

TEST_F(MoveTest, ZeroStepChangesNothingAndDrawsNothing) {
    tableworld_Create(8, 3, 1, 0.0);
    StartMove(2, vector3df(50, 30, 10), 3, 1, 0, 70);
    srand(12);
    int first = rand();
    srand(12);
    tableworld_MoveCube(&player_record, objective, 0);
    EXPECT_EQ(first, rand());
    ExpectMovingNodesAt(vector3df(50, 30, 10));
    tableworld_move_direction = 0;
    srand(12);
    tableworld_MoveCube(&player_record, objective, 0);
    EXPECT_EQ(first, rand());
}

TEST_F(MoveTest, WithNoCubeInRangeTheCallGivesUpAfterItsAttempts) {
    tableworld_Create(2, 2, 1, 0.0);
    AddNodes();
    object.node->setPosition(Centre(0, 1, 0));
    srand(8);
    for (int i = 0; i < 4 * TABLEWORLD_MOVE_ATTEMPTS; i++) rand();
    int after_attempts = rand();
    srand(8);
    tableworld_MoveCube(&player_record, objective, 1);
    EXPECT_EQ(0, tableworld_move_direction);
    EXPECT_EQ(1, tableworld_GetCell(0, 0, 0));
    EXPECT_EQ(after_attempts, rand());
}

TEST_F(MoveTest, TheOnlyCubeMovesWhereverTheTableLetsIt) {
    tableworld_Create(1, 2, 1, 0.0);
    AddNodes();
    object.node->setPosition(vector3df(10, 90, 10));
    objective->setPosition(vector3df(500, 500, 500));
    for (unsigned seed = 1; seed <= 20; seed++) {
        tableworld_Create(1, 2, 1, 0.0);
        AddNodes();
        srand(seed);
        tableworld_MoveCube(&player_record, objective, 1);
        ASSERT_EQ(4, tableworld_move_direction) << seed;
        EXPECT_EQ(0, tableworld_move_cell[0]);
        EXPECT_EQ(1, tableworld_move_cell[1]);
        EXPECT_EQ(0, tableworld_move_cell[2]);
        EXPECT_EQ(30.0, tableworld_move_target);
        EXPECT_EQ(0, tableworld_GetCell(0, 0, 0));
    }
    // From the top layer the one way is down.
    tableworld_Create(1, 2, 1, 0.0);
    tableworld_SetCell(0, 0, 0, 0);
    tableworld_SetCell(0, 1, 0, 1);
    AddNodes();
    object.node->setPosition(vector3df(10, 110, 10));
    tableworld_MoveCube(&player_record, objective, 1);
    EXPECT_EQ(3, tableworld_move_direction);
    EXPECT_EQ(10.0, tableworld_move_target);
}

TEST_F(MoveTest, NoCubeMovesIntoTheObjectivesCell) {
    tableworld_Create(1, 2, 1, 0.0);
    AddNodes();
    object.node->setPosition(vector3df(10, 90, 10));
    objective->setPosition(vector3df(15, 35, 5));
    tableworld_MoveCube(&player_record, objective, 1);
    EXPECT_EQ(0, tableworld_move_direction);
    EXPECT_EQ(1, tableworld_GetCell(0, 0, 0));
}

TEST_F(MoveTest, DistancesOfSixtyAndOneHundredAreAcceptedAndJustBeyondAreNot) {
    const float heights[] = {70, 110, 69.9f, 110.1f};
    const bool moves[] = {true, true, false, false};
    for (int i = 0; i < 4; i++) {
        tableworld_Create(1, 2, 1, 0.0);
        AddNodes();
        object.node->setPosition(vector3df(10, heights[i], 10));
        objective->setPosition(vector3df(500, 500, 500));
        tableworld_MoveCube(&player_record, objective, 1);
        EXPECT_EQ(moves[i], tableworld_move_direction != 0) << heights[i];
    }
}

TEST_F(MoveTest, MovesKeepToTheTableTheFreeCellsAndTheMiddleDistance) {
    srand(17);
    tableworld_Create(7, 4, 7, 0.35);
    AddNodes();
    const int objective_cell[3] = {4, 1, 3};
    object.node->setPosition(Centre(3, 2, 3));
    objective->setPosition(Centre(objective_cell[0], objective_cell[1], objective_cell[2]));
    tableworld_SetCell(objective_cell[0], objective_cell[1], objective_cell[2], 0);
    const int cubes = CountCubes();
    const int count = tableworld_size_x * tableworld_size_y * tableworld_size_z;
    int starts = 0, vertical = 0;
    for (int call = 0; call < 3000; call++) {
        // The quake runs first each frame, so picked cubes are often off their centres.
        tableworld_Quake(call % 3 == 0 ? 2.0 : 0.0);
        int before = tableworld_move_direction;
        int before_cell[3] = {tableworld_move_cell[0], tableworld_move_cell[1], tableworld_move_cell[2]};
        std::vector<unsigned char> cells(tableworld_cells, tableworld_cells + count);
        tableworld_MoveCube(&player_record, objective, 7);
        ASSERT_EQ(cubes, CountCubes() + (tableworld_move_direction != 0 ? 1 : 0));
        bool ended = before != 0 && (tableworld_move_direction == 0 || before_cell[0] != tableworld_move_cell[0] ||
                                     before_cell[1] != tableworld_move_cell[1] ||
                                     before_cell[2] != tableworld_move_cell[2]);
        if (ended) cells[tableworld_GetIndex(before_cell[0], before_cell[1], before_cell[2])] = 1;
        bool started = tableworld_move_direction != 0 && (before == 0 || ended);
        if (!started) continue;
        starts++;

        const int* d = tableworld_move_cell;
        ASSERT_TRUE(d[0] >= 0 && d[1] >= 0 && d[2] >= 0 && d[0] < 7 && d[1] < 4 && d[2] < 7);
        EXPECT_EQ(0, tableworld_GetCell(d[0], d[1], d[2]));
        EXPECT_FALSE(d[0] == objective_cell[0] && d[1] == objective_cell[1] && d[2] == objective_cell[2]);
        int source = -1, emptied = 0;
        for (int i = 0; i < count; i++)
            if (cells[i] == 1 && tableworld_cells[i] == 0) source = i, emptied++;
        ASSERT_EQ(1, emptied);
        int direction = tableworld_move_direction;
        int axis = (direction - 1) / 2, sign = direction % 2 == 1 ? -1 : 1;
        int step[3] = {0, 0, 0};
        step[axis] = sign;
        EXPECT_EQ(source, tableworld_GetIndex(d[0] - step[0], d[1] - step[1], d[2] - step[2]));
        EXPECT_EQ(20.0 * d[axis] + 10, tableworld_move_target);
        EXPECT_EQ(tableworld_side_nodes[source], tableworld_move_nodes[0]);
        vector3df cube = tableworld_move_nodes[0]->getPosition();
        float distance = cube.getDistanceFrom(object.node->getPosition());
        EXPECT_GE(distance, 60.0f);
        EXPECT_LE(distance, 100.0f);
        if (axis == 1) vertical++;
    }
    EXPECT_GT(starts, 50);
    EXPECT_GT(vertical, 5);
}

TEST_F(MoveTest, EachAttemptDrawsTheCubeXYZThenTheDirection) {
    tableworld_Create(5, 5, 5, 0.0);
    tableworld_SetCell(4, 0, 1, 1);
    AddNodesAt(4, 0, 1);
    object.node->setPosition(vector3df(10, 10, 30));  // 80 units from that cube
    objective->setPosition(Centre(0, 1, 0));
    ScriptDrawsFromSeedOne();
    tableworld_MoveCube(&player_record, objective, 1);
    // First attempt: (int)(0.840 * 5) = 4, (int)(0.394 * 5) = 1, (int)(0.783 * 5) = 3, k = (int)(0.798 * 6) = 4:
    // cell (4, 1, 3) holds no cube. Second: (int)(0.912 * 5) = 4, (int)(0.198 * 5) = 0, (int)(0.335 * 5) = 1,
    // k = (int)(0.768 * 6) = 4: the cube (4, 0, 1) moves toward -z into (4, 0, 0).
    EXPECT_EQ(5, tableworld_move_direction);
    EXPECT_EQ(10.0, tableworld_move_target);
    EXPECT_EQ(4, tableworld_move_cell[0]);
    EXPECT_EQ(0, tableworld_move_cell[1]);
    EXPECT_EQ(0, tableworld_move_cell[2]);
    EXPECT_EQ(tableworld_side_nodes[tableworld_GetIndex(4, 0, 1)], tableworld_move_nodes[0]);
    EXPECT_EQ(0, tableworld_GetCell(4, 0, 1));
    EXPECT_EQ(SEED_ONE_DRAWS[8], tableworld_GetRandom15());
}

TEST_F(MoveTest, AMoveWithoutItsCubeIsACriticalError) {
    tableworld_Create(3, 3, 3, 0.0);
    tableworld_move_direction = 2;
    EXPECT_EXIT(tableworld_MoveCube(&player_record, objective, 1), ::testing::ExitedWithCode(1),
                "CRITICAL ERROR : tableworld_MoveCube : pas de cube a bouger");
}

class QuakeTest : public MoveTest {};

TEST_F(QuakeTest, NoStrengthDrawsNothingAndMovesNothing) {
    srand(2);
    tableworld_Create(4, 3, 4, 0.5);
    AddNodes();
    const double amplitudes[] = {0.0, -1.0, std::numeric_limits<double>::quiet_NaN()};
    for (double amplitude : amplitudes) {
        srand(6);
        int first = rand();
        srand(6);
        tableworld_Quake(amplitude);
        EXPECT_EQ(first, rand()) << amplitude;
    }
    for (int x = 0; x < 4; x++)
        for (int y = 0; y < 3; y++)
            for (int z = 0; z < 4; z++)
                if (tableworld_GetCell(x, y, z)) {
                    EXPECT_EQ(Centre(x, y, z), tableworld_side_nodes[tableworld_GetIndex(x, y, z)]->getPosition());
                }
}

TEST_F(QuakeTest, EveryCellDrawsThreeOffsetsAndEveryCubeAFourthInCellOrder) {
    tableworld_Create(1, 2, 2, 0.0);
    tableworld_SetCell(0, 0, 1, 1);
    AddNodes();
    ScriptDrawsFromSeedOne();
    tableworld_Quake(10.0);
    // Cells go (0,0,0), (0,0,1), (0,1,0), (0,1,1). The cube (0,0,0) takes draws 1 to 3 as offsets u - 0.5 and
    // draw 4 (0.798, not above 0.9) keeps it from snapping home: 10 + 10 * (0.840 - 0.5) = 13.402 and so on.
    // The cube (0,0,1) takes draws 5 to 8 the same way; the two free cells take three draws each.
    const vector3df first(13.402f, 8.944f, 12.831f), second(14.116f, 6.975f, 28.352f);
    EXPECT_TRUE(tableworld_side_nodes[tableworld_GetIndex(0, 0, 0)]->getPosition().equals(first, 1e-3f));
    EXPECT_TRUE(tableworld_side_nodes[tableworld_GetIndex(0, 0, 1)]->getPosition().equals(second, 1e-3f));
    EXPECT_EQ(SEED_ONE_DRAWS[14], tableworld_GetRandom15());
}

TEST_F(QuakeTest, CubesWanderByHalfTheStrengthAndSnapHomeAboutOnceInTen) {
    srand(13);
    tableworld_Create(5, 4, 5, 0.5);
    AddNodes();
    // A node parked in a free cell's entry stands for the cube in motion, which must not shake.
    int free_index = tableworld_GetIndex(0, 1, 0);
    tableworld_side_nodes[free_index] = smgr->addEmptySceneNode();
    tableworld_side_nodes[free_index]->setPosition(vector3df(1, 2, 3));
    const double amplitude = 4.0;
    int homes = 0, steps = 0;
    for (int frame = 0; frame < 200; frame++) {
        std::vector<vector3df> before(5 * 4 * 5);
        for (int i = 0; i < 5 * 4 * 5; i++)
            if (tableworld_cells[i]) before[i] = tableworld_side_nodes[i]->getPosition();
        tableworld_Quake(amplitude);
        for (int x = 0; x < 5; x++)
            for (int y = 0; y < 4; y++)
                for (int z = 0; z < 5; z++) {
                    int i = tableworld_GetIndex(x, y, z);
                    if (!tableworld_cells[i]) continue;
                    vector3df now = tableworld_side_nodes[i]->getPosition();
                    ASSERT_EQ(now, tableworld_top_nodes[i]->getPosition());
                    ASSERT_EQ(now, tableworld_bottom_nodes[i]->getPosition());
                    steps++;
                    if (now == Centre(x, y, z)) {
                        homes++;
                        continue;
                    }
                    vector3df moved = now - before[i];
                    ASSERT_LE(std::fabs(moved.X), amplitude / 2 + 1e-3);
                    ASSERT_LE(std::fabs(moved.Y), amplitude / 2 + 1e-3);
                    ASSERT_LE(std::fabs(moved.Z), amplitude / 2 + 1e-3);
                }
    }
    EXPECT_NEAR(0.1, (double)homes / steps, 0.02);
    EXPECT_EQ(vector3df(1, 2, 3), tableworld_side_nodes[free_index]->getPosition());
}

}  // namespace
