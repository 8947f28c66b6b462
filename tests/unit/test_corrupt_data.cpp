// Damaged data files: a mesh that does not load stops the game with its name, a damaged image never crashes it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

#include "app/util.h"
#include "helpers.h"
#include "level/level.h"
#include "player/player.h"
#include "settings/settings.h"
#include "world/tableworld.h"

using namespace irr;

namespace {

// A scratch folder with its own copy of the data, free to be damaged.
class CorruptDataTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string copy = "rm data && cp -r '" + std::string(KORVANIX_GAME_DIR) + "/data' data";
        ASSERT_EQ(0, system(copy.c_str()));
        helpers_LoadSettings(helpers_ShippedConfig());
        null_device = new NullDevice();
        srand(11);
    }
    void TearDown() override {
        if (player) level_Remove();
        delete null_device;
        settings_Release();
    }
    // Keeps the first bytes of the shipped file, or none.
    void Truncate(const std::string& name, size_t keep) {
        std::ifstream shipped(std::string(KORVANIX_GAME_DIR) + "/data/" + name, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(shipped)), std::istreambuf_iterator<char>());
        ASSERT_GT(bytes.size(), keep) << name;
        scratch.write("data/" + name, bytes.substr(0, keep));
    }
    void Damage(const std::string& name, const std::string& bytes) { scratch.write("data/" + name, bytes); }
    void Create(int level_number) {
        testing::internal::CaptureStdout();
        level_Create(level_number, nullptr);
        testing::internal::GetCapturedStdout();
    }
    ScratchDirectory scratch;
    NullDevice* null_device = nullptr;
};

// Each mesh the level loads, with the view mode that loads it.
struct MeshCase {
    const char* file;
    double is_subjective;
};

class CorruptMeshTest : public CorruptDataTest, public ::testing::WithParamInterface<MeshCase> {};

TEST_P(CorruptMeshTest, AnEmptyOrTruncatedMeshIsNamedAndStopsTheGame) {
    const MeshCase& mesh = GetParam();
    settings_Set("is_autoconfigure", 0);  // level 1 would choose the first-person view
    settings_Set("is_subjective", mesh.is_subjective);
    std::string expected = std::string("^data/") + mesh.file + " : CRITICAL ERROR : Can't load this file \n$";
    Truncate(mesh.file, 0);
    EXPECT_EXIT(Create(1), ::testing::ExitedWithCode(1), expected) << "empty " << mesh.file;
    // Cut inside the first chunk header, then inside the chunk list: the loader finds no triangles either way.
    for (size_t keep : {3, 6, 40}) {
        Truncate(mesh.file, keep);
        EXPECT_EXIT(Create(1), ::testing::ExitedWithCode(1), expected) << mesh.file << " cut at " << keep;
    }
    Damage(mesh.file, std::string(200, '\x7f'));
    EXPECT_EXIT(Create(1), ::testing::ExitedWithCode(1), expected) << "garbage in " << mesh.file;
}

INSTANTIATE_TEST_SUITE_P(EveryMesh, CorruptMeshTest,
                         ::testing::Values(MeshCase{"side.3ds", 1}, MeshCase{"top.3ds", 1},
                                           MeshCase{"bottom.3ds", 1}, MeshCase{"cube.3ds", 1},
                                           MeshCase{"blob.3ds", 0}));

TEST_F(CorruptDataTest, DamagedImagesLeaveTheLevelWithoutThemButWhole) {
    for (const char* name : {"1/side.bmp", "1/top.bmp", "1/sky_top.bmp", "objectiv.png"}) Truncate(name, 0);
    for (const char* name : {"1/bottom.bmp", "1/sky_left.bmp", "objectiv2.png"}) Truncate(name, 30);
    Damage("1/sky_back.bmp", "BM" + std::string(100, '\xff'));
    Create(1);
    ASSERT_NE(nullptr, player);
    EXPECT_EQ(nullptr, level_side_texture) << "an empty image gives no texture";
    for (int frame = 0; frame < 3; frame++) {
        level_Update();
        ASSERT_TRUE(driver->beginScene(true, true, video::SColor(255, 0, 0, 0)));
        smgr->drawAll();
        driver->endScene();
    }
    level_Remove();
    EXPECT_EQ(nullptr, player);
}

}  // namespace
