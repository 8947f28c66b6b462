// The cube table and the maze test: random filling, fixed cells, border answers, standing places, connectivity.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <vector>

#include "settings/settings.h"
#include "world/tableworld.h"

using irr::core::vector3df;

namespace {

class TableTest : public ::testing::Test {
protected:
    void TearDown() override { tableworld_Free(); }
};

int CountCubes() {
    int cubes = 0;
    for (int x = 0; x < tableworld_size_x; x++)
        for (int y = 0; y < tableworld_size_y; y++)
            for (int z = 0; z < tableworld_size_z; z++) cubes += tableworld_GetCell(x, y, z);
    return cubes;
}

// A place where the figure can stand: the centre of a free cell of the table, on top of a cube.
void ExpectStandingPlace(const vector3df& position) {
    int x = (int)(position.X / 20), y = (int)(position.Y / 20), z = (int)(position.Z / 20);
    ASSERT_TRUE(x >= 0 && x < tableworld_size_x && z >= 0 && z < tableworld_size_z) << position.X << " " << position.Z;
    ASSERT_TRUE(y >= 1 && y < tableworld_size_y) << position.Y;
    EXPECT_EQ(vector3df(20.0f * x + 10, 20.0f * y + 10, 20.0f * z + 10), position);
    EXPECT_EQ(0, tableworld_GetCell(x, y, z));
    EXPECT_EQ(1, tableworld_GetCell(x, y - 1, z));
}

TEST_F(TableTest, DrawsAreFifteenBitsAndReachOneOnlyAtTheTop) {
    const int draws = 2000000;
    srand(11);
    std::vector<int> values(draws);
    for (int& value : values) value = tableworld_GetRandom15();
    srand(11);
    int lowest = 32767, highest = 0, ones = 0, zeros = 0;
    float below_one = 0;
    for (int value : values) {
        float u = tableworld_GetUnitRandom();
        lowest = std::min(lowest, value);
        highest = std::max(highest, value);
        ASSERT_GE(u, 0.0f);
        ASSERT_LE(u, 1.0f);
        ASSERT_EQ(value == 32767, u == 1.0f) << value;
        ASSERT_EQ(value == 0, u == 0.0f) << value;
        if (value == 32767) ones++;
        if (value == 0) zeros++;
        if (value == 32766) below_one = u;
    }
    EXPECT_EQ(0, lowest);
    EXPECT_EQ(32767, highest);
    EXPECT_GT(ones, 0);
    EXPECT_GT(zeros, 0);
    EXPECT_GT(below_one, 0.9999f);
}

TEST_F(TableTest, IndexRunsXFastestAndZSlowest) {
    tableworld_Create(4, 3, 5, 0.0);
    EXPECT_EQ(59, tableworld_GetIndex(3, 2, 4));
    EXPECT_EQ(45, tableworld_GetIndex(1, 2, 3));
    tableworld_SetCell(1, 2, 3, 1);
    EXPECT_EQ(1, tableworld_cells[45]);
    tableworld_SetCell(3, 2, 4, 1);
    EXPECT_EQ(1, tableworld_cells[59]);
    EXPECT_EQ(3, CountCubes());
}

// srand(1) on the C library of this platform; each value is rand()'s top 15 bits and u = value / 32767.
const int SEED_ONE_DRAWS[] = {27531, 12923, 25660, 26163, 29872, 6473, 10984};

// Seeds the generator with 1 after checking that it gives the draws the expectations were worked out from.
void ScriptDrawsFromSeedOne() {
    srand(1);
    for (int draw : SEED_ONE_DRAWS) ASSERT_EQ(draw, tableworld_GetRandom15());
    srand(1);
}

TEST_F(TableTest, DrawsOneValuePerCellWithXOutermostAndZInnermost) {
    ScriptDrawsFromSeedOne();
    tableworld_Create(2, 2, 2, 0.5);
    // A cube when u > 0.5, that is a draw of 16384 or more. Cells (0, 0, 0) and (0, 1, 0) draw nothing; the
    // others take the draws in the order (0,0,1) 27531 cube, (0,1,1) 12923 free, (1,0,0) 25660 cube,
    // (1,0,1) 26163 cube, (1,1,0) 29872 cube, (1,1,1) 6473 free.
    const unsigned char expected[8] = {1, 1, 0, 1, 1, 1, 0, 0};  // index (z * 2 + y) * 2 + x
    for (int i = 0; i < 8; i++) {
        EXPECT_EQ(expected[i], tableworld_cells[i]) << "entry " << i;
        EXPECT_EQ(0, tableworld_visited[i]);
    }
    EXPECT_EQ(SEED_ONE_DRAWS[6], tableworld_GetRandom15());
}

TEST_F(TableTest, ARandomPositionDrawsXThenYThenZForEachAttempt) {
    tableworld_Create(5, 5, 5, 0.0);
    tableworld_SetCell(4, 2, 3, 1);
    tableworld_SetCell(3, 1, 0, 1);
    ScriptDrawsFromSeedOne();
    // First attempt: x = (int)(0.840 * 5) = 4, y = (int)(0.394 * 4 + 1) = 2, z = (int)(0.783 * 5) = 3: a cube,
    // so it starts again. Second: x = (int)(0.798 * 5) = 3, y = (int)(0.912 * 4 + 1) = 4, z = (int)(0.198 * 5)
    // = 0, and the first cube below (3, 4, 0) is (3, 1, 0): the figure stands on it.
    EXPECT_EQ(vector3df(70, 50, 10), tableworld_GetRandomPosition());
    EXPECT_EQ(SEED_ONE_DRAWS[6], tableworld_GetRandom15());
}

TEST_F(TableTest, ProbabilityZeroLeavesOnlyTheCornerCube) {
    srand(3);
    tableworld_Create(6, 5, 7, 0.0);
    EXPECT_EQ(1, CountCubes());
    EXPECT_EQ(1, tableworld_GetCell(0, 0, 0));
    for (int i = 0; i < 2000; i++) ASSERT_EQ(vector3df(10, 30, 10), tableworld_GetRandomPosition());
}

TEST_F(TableTest, ProbabilityOneKeepsTheStandingPlaceAboveTheCorner) {
    srand(5);
    tableworld_Create(10, 10, 10, 1.0);
    EXPECT_EQ(0, tableworld_GetCell(0, 1, 0));
    EXPECT_EQ(1, tableworld_GetCell(0, 0, 0));
    // Only a draw of exactly 0 leaves a drawn cell free: at most a handful of 998 cells.
    EXPECT_GE(CountCubes(), 990);
    for (int i = 0; i < 200; i++) ExpectStandingPlace(tableworld_GetRandomPosition());
}

TEST_F(TableTest, OneByTwoByOneIsExactlyTheFixedPairAndDrawsNothing) {
    srand(9);
    int first = rand();
    srand(9);
    tableworld_Create(1, 2, 1, 0.5);
    EXPECT_EQ(first, rand());
    EXPECT_EQ(1, tableworld_cells[0]);
    EXPECT_EQ(0, tableworld_cells[1]);
    EXPECT_EQ(vector3df(10, 30, 10), tableworld_GetRandomPosition());
}

TEST_F(TableTest, EveryRandomPositionIsAStandingPlace) {
    const double probabilities[] = {0.1, 0.4, 0.8};
    for (double probability : probabilities) {
        srand(21);
        tableworld_Create(7, 5, 6, probability);
        for (int i = 0; i < 3000; i++) ExpectStandingPlace(tableworld_GetRandomPosition());
    }
}

TEST_F(TableTest, BordersAnswerFreeBesideAndBelowButSolidAbove) {
    tableworld_Create(4, 3, 5, 0.0);
    EXPECT_EQ(1, tableworld_GetCell(0, 3, 0));
    EXPECT_EQ(0, tableworld_GetCell(0, -1, 0));
    EXPECT_EQ(0, tableworld_GetCell(4, 3, 0));
    EXPECT_EQ(0, tableworld_GetCell(-1, 3, 0));
    EXPECT_EQ(0, tableworld_GetCell(0, 3, 5));
    EXPECT_EQ(0, tableworld_GetCell(0, 3, -1));
    EXPECT_EQ(1, tableworld_GetCell(3, 3, 4));
    EXPECT_EQ(0, tableworld_GetCell(3, 2, 4));
    EXPECT_EQ(0, tableworld_GetCell(4, 0, 0));
    EXPECT_EQ(0, tableworld_GetCell(0, 0, 5));
}

TEST_F(TableTest, SetCellIgnoresCellsOutsideTheTable) {
    tableworld_Create(4, 3, 5, 0.0);
    tableworld_SetCell(-1, 0, 0, 1);
    tableworld_SetCell(4, 0, 0, 1);
    tableworld_SetCell(0, 3, 0, 1);
    tableworld_SetCell(0, 0, 5, 1);
    tableworld_SetCell(0, -1, 0, 1);
    EXPECT_EQ(1, CountCubes());
    tableworld_SetCell(0, 0, 0, 0);
    EXPECT_EQ(0, CountCubes());
}

TEST_F(TableTest, WorldPositionsMapToTheirCells) {
    tableworld_Create(4, 3, 5, 0.0);
    tableworld_SetCell(0, 1, 0, 1);
    tableworld_SetCell(1, 0, 0, 1);
    EXPECT_EQ(1, tableworld_GetCellAt(0.5f, 30, 10));
    EXPECT_EQ(0, tableworld_GetCellAt(-0.5f, 30, 10));
    EXPECT_EQ(0, tableworld_GetCellAt(10, -0.5f, 10));
    EXPECT_EQ(0, tableworld_GetCellAt(10, 30, -0.5f));
    EXPECT_EQ(1, tableworld_GetCellAt(20, 0, 0));
    EXPECT_EQ(0, tableworld_GetCellAt(40, 0, 0));
    EXPECT_EQ(0, tableworld_GetCellAt(30, 20, 10));
    EXPECT_EQ(1, tableworld_GetCellAt(30, 60, 10));
    EXPECT_EQ(0, tableworld_GetCellAt(30, 59.9f, 10));
    // Far away and not-a-number positions get the border answers instead of overflowing.
    EXPECT_EQ(1, tableworld_GetCellAt(30, 1e30f, 10));
    EXPECT_EQ(0, tableworld_GetCellAt(1e30f, 10, 10));
    EXPECT_EQ(0, tableworld_GetCellAt(std::numeric_limits<float>::quiet_NaN(), 10, 10));
    EXPECT_EQ(0, tableworld_ToCell(-19.9f));
    EXPECT_EQ(-1, tableworld_ToCell(-20));
    EXPECT_LT(tableworld_ToCell(-1e30f), 0);
    EXPECT_GE(tableworld_ToCell(std::numeric_limits<float>::infinity()), TABLEWORLD_MAX_SIZE);
}

TEST_F(TableTest, FreeNullsTheArraysAndMayRunTwice) {
    tableworld_Create(2, 2, 2, 0.5);
    tableworld_Free();
    EXPECT_EQ(nullptr, tableworld_cells);
    EXPECT_EQ(nullptr, tableworld_visited);
    EXPECT_EQ(nullptr, tableworld_side_nodes);
    EXPECT_EQ(nullptr, tableworld_top_nodes);
    EXPECT_EQ(nullptr, tableworld_bottom_nodes);
    tableworld_Free();
    EXPECT_EQ(nullptr, tableworld_cells);
}

TEST_F(TableTest, CreationResetsTheMoveInProgress) {
    tableworld_move_direction = 4;
    tableworld_Create(2, 2, 2, 0.5);
    EXPECT_EQ(0, tableworld_move_direction);
}

class SizeCheckTest : public ::testing::Test {
protected:
    void SetUp() override {
        settings_Release();
        settings_Allocate();
    }
    void TearDown() override { settings_Release(); }
};

TEST_F(SizeCheckTest, AcceptsSizesFromTheMinimumToTheBound) {
    settings_Add("size_y_world", 2.0);
    settings_Add("size_x_world", 64.9);
    settings_Add("size_z_world", 1.0);
    EXPECT_EQ(2, tableworld_CheckSize("size_y_world", 2));
    EXPECT_EQ(64, tableworld_CheckSize("size_x_world", 1));
    EXPECT_EQ(1, tableworld_CheckSize("size_z_world", 1));
}

TEST_F(SizeCheckTest, RefusesSizesThatCannotMakeAPlayableTable) {
    const double refused[] = {1.9, 0.0, -3.0, 65.0, 1e30, std::numeric_limits<double>::quiet_NaN(),
                              std::numeric_limits<double>::infinity()};
    for (double value : refused) {
        settings_Release();
        settings_Allocate();
        settings_Add("size_y_world", value);
        EXPECT_EXIT(tableworld_CheckSize("size_y_world", 2), ::testing::ExitedWithCode(1),
                    "size_y_world :CRITICAL ERROR : must be a whole number of cells from 2 to 64")
            << value;
    }
}

TEST_F(SizeCheckTest, AMissingKeyIsTheSettingsError) {
    EXPECT_EXIT(tableworld_CheckSize("size_x_world", 1), ::testing::ExitedWithCode(1), "size_x_world :CRITICAL ERROR");
}

// The maze test, written the straightforward recursive way, to compare answers with.
bool ReferenceSearch(int x, int y, int z, int tx, int ty, int tz, std::vector<char>& seen) {
    seen[tableworld_GetIndex(x, y, z)] = 1;
    if (x == tx && y == ty && z == tz) return true;
    const int steps[6][3] = {{-1, 0, 0}, {1, 0, 0}, {0, -1, 0}, {0, 1, 0}, {0, 0, -1}, {0, 0, 1}};
    for (const auto& step : steps) {
        int nx = x + step[0], ny = y + step[1], nz = z + step[2];
        if (nx < 0 || ny < 0 || nz < 0 || nx >= tableworld_size_x || ny >= tableworld_size_y || nz >= tableworld_size_z)
            continue;
        if (tableworld_GetCell(nx, ny, nz) || seen[tableworld_GetIndex(nx, ny, nz)]) continue;
        if (ReferenceSearch(nx, ny, nz, tx, ty, tz, seen)) return true;
    }
    return false;
}

// A 3 x 3 x depth table whose column x = 1 is solid in the front layer, cells (1, 0..2, 0).
void CreateWalledTable(int depth) {
    tableworld_Create(3, 3, depth, 0.0);
    for (int y = 0; y < 3; y++) tableworld_SetCell(1, y, 0, 1);
}

TEST_F(TableTest, SameCellIsConnectedEvenInsideACube) {
    tableworld_Create(3, 3, 1, 0.0);
    EXPECT_TRUE(tableworld_SearchPath(0, 0, 0, 0, 0, 0));
    EXPECT_TRUE(tableworld_TestMaze(vector3df(12, 14, 3), vector3df(1, 19.5f, 19)));
}

TEST_F(TableTest, ACubeTargetCannotBeEntered) {
    tableworld_Create(3, 3, 1, 0.0);
    EXPECT_FALSE(tableworld_SearchPath(0, 1, 0, 0, 0, 0));
    tableworld_Create(3, 3, 1, 0.0);
    tableworld_SetCell(2, 2, 0, 1);
    EXPECT_FALSE(tableworld_SearchPath(0, 2, 0, 2, 2, 0));
}

TEST_F(TableTest, AWallAcrossTheTableSeparatesItsSides) {
    CreateWalledTable(1);
    EXPECT_FALSE(tableworld_SearchPath(0, 2, 0, 2, 2, 0));
    CreateWalledTable(1);
    tableworld_SetCell(1, 2, 0, 0);
    EXPECT_TRUE(tableworld_SearchPath(0, 2, 0, 2, 2, 0));
    // The same wall with a second layer behind it: the way around goes through z = 1.
    CreateWalledTable(2);
    EXPECT_TRUE(tableworld_SearchPath(0, 2, 0, 2, 2, 0));
    CreateWalledTable(1);
    EXPECT_FALSE(tableworld_TestMaze(vector3df(10, 50, 10), vector3df(50, 50, 10)));
}

TEST_F(TableTest, TargetsOnTheLowBordersAreReached) {
    tableworld_Create(3, 3, 3, 0.0);
    EXPECT_TRUE(tableworld_SearchPath(1, 1, 0, 0, 1, 0));
    tableworld_Create(3, 3, 3, 0.0);
    EXPECT_TRUE(tableworld_SearchPath(2, 2, 2, 2, 0, 0));
    tableworld_Create(3, 3, 3, 0.0);
    EXPECT_TRUE(tableworld_SearchPath(2, 2, 2, 0, 2, 2));
}

TEST_F(TableTest, AWayThroughEmptySpaceCounts) {
    // Column x = 1 solid up to y = 2; the only way climbs through air over its top.
    tableworld_Create(3, 4, 1, 0.0);
    for (int y = 0; y < 3; y++) tableworld_SetCell(1, y, 0, 1);
    EXPECT_TRUE(tableworld_SearchPath(0, 1, 0, 2, 0, 0));
    tableworld_Create(3, 4, 1, 0.0);
    for (int y = 0; y < 4; y++) tableworld_SetCell(1, y, 0, 1);
    EXPECT_FALSE(tableworld_SearchPath(0, 1, 0, 2, 0, 0));
}

TEST_F(TableTest, SearchMarksTheCellsItEntered) {
    CreateWalledTable(1);
    EXPECT_FALSE(tableworld_SearchPath(0, 2, 0, 2, 2, 0));
    EXPECT_EQ(1, tableworld_visited[tableworld_GetIndex(0, 2, 0)]);
    EXPECT_EQ(1, tableworld_visited[tableworld_GetIndex(0, 1, 0)]);
    EXPECT_EQ(0, tableworld_visited[tableworld_GetIndex(0, 0, 0)]);
    EXPECT_EQ(0, tableworld_visited[tableworld_GetIndex(2, 2, 0)]);
}

TEST_F(TableTest, AnswersAsTheRecursiveSearchOnRandomTables) {
    srand(31);
    int connected = 0, separated = 0;
    for (int round = 0; round < 300; round++) {
        double probability = 0.2 + 0.5 * (round % 4) / 3.0;
        tableworld_Create(2 + round % 5, 2 + round % 4, 2 + round % 3, probability);
        vector3df from = tableworld_GetRandomPosition();
        vector3df to = tableworld_GetRandomPosition();
        std::vector<char> seen(tableworld_size_x * tableworld_size_y * tableworld_size_z, 0);
        bool expected = ReferenceSearch((int)(from.X / 20), (int)(from.Y / 20), (int)(from.Z / 20), (int)(to.X / 20),
                                        (int)(to.Y / 20), (int)(to.Z / 20), seen);
        ASSERT_EQ(expected, tableworld_TestMaze(from, to)) << "round " << round;
        (expected ? connected : separated)++;
    }
    EXPECT_GT(connected, 30);
    EXPECT_GT(separated, 30);
}

TEST_F(TableTest, LargestOpenTablesAreSearchedWithoutRunningOutOfStack) {
    tableworld_Create(20, 20, 20, 0.0);
    EXPECT_TRUE(tableworld_SearchPath(0, 1, 0, 19, 19, 19));
    tableworld_Create(TABLEWORLD_MAX_SIZE, TABLEWORLD_MAX_SIZE, TABLEWORLD_MAX_SIZE, 0.0);
    // A target sealed in by cubes: the search has to visit every other free cell before answering.
    int m = TABLEWORLD_MAX_SIZE - 1;
    tableworld_SetCell(m - 1, m, m, 1);
    tableworld_SetCell(m, m - 1, m, 1);
    tableworld_SetCell(m, m, m - 1, 1);
    EXPECT_FALSE(tableworld_SearchPath(0, 1, 0, m, m, m));
    EXPECT_EQ(1, tableworld_visited[tableworld_GetIndex(m - 2, m, m)]);
}

}  // namespace
