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

void PrintTo(const MeshCase& mesh, std::ostream* out) { *out << mesh.file; }

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
                                           MeshCase{"blob.3ds", 0}),
                         [](const ::testing::TestParamInfo<MeshCase>& info) {
                             std::string file = info.param.file;
                             return file.substr(0, file.find('.'));
                         });

std::string ShippedBytes(const std::string& name) {
    std::ifstream shipped(std::string(KORVANIX_GAME_DIR) + "/data/" + name, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(shipped)), std::istreambuf_iterator<char>());
}

bool IsWhole(const std::string& bytes) {
    return util_IsWholeMeshFile(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

// The engine's loader can spin forever on a file cut short: the check must refuse every cut.
TEST(MeshFileCheck, EveryShippedMeshIsWholeAndEveryCutOfItIsNot) {
    for (const char* name : {"side.3ds", "top.3ds", "bottom.3ds", "cube.3ds", "blob.3ds"}) {
        std::string bytes = ShippedBytes(name);
        ASSERT_GT(bytes.size(), 100u) << name;
        EXPECT_TRUE(IsWhole(bytes)) << name;
        EXPECT_TRUE(IsWhole(bytes + "trailing bytes")) << name << " with bytes after its main chunk";
        for (size_t keep = 0; keep < bytes.size(); keep++)
            ASSERT_FALSE(IsWhole(bytes.substr(0, keep))) << name << " cut at " << keep;
    }
}

TEST(MeshFileCheck, ChunksThatDoNotTileTheirParentAreRefused) {
    std::string bytes = ShippedBytes("side.3ds");
    ASSERT_EQ(0x4D, (unsigned char)bytes[0]);
    ASSERT_EQ("\x3d\x3d", bytes.substr(16, 2)) << "the editor chunk follows the version chunk";
    std::string zero_length = bytes;
    zero_length.replace(18, 4, std::string(4, '\0'));
    EXPECT_FALSE(IsWhole(zero_length)) << "a chunk of no length would be read again and again";
    std::string too_long = bytes;
    too_long[18] = (char)((unsigned char)too_long[18] + 1);
    EXPECT_FALSE(IsWhole(too_long)) << "the editor chunk overruns the main chunk";
    std::string not_3ds = bytes;
    not_3ds[0] = 'X';
    EXPECT_FALSE(IsWhole(not_3ds));
    EXPECT_FALSE(IsWhole(std::string("\x4d\x4d\x05\0\0\0", 6))) << "a main chunk shorter than its header";
}

// Counts and indices that the loader trusts: a face naming a vertex past the list, a mapping for fewer
// vertices than the list, a material group naming a face past the list.
TEST(MeshFileCheck, CountsAndIndicesMustAgree) {
    std::string bytes = ShippedBytes("side.3ds");
    size_t vertices = bytes.find("\x10\x41");
    size_t mapping = bytes.find("\x40\x41");
    size_t faces = bytes.find("\x20\x41");
    size_t group = bytes.find("\x30\x41");
    ASSERT_TRUE(vertices != std::string::npos && mapping != std::string::npos && faces != std::string::npos &&
                group != std::string::npos);
    unsigned vertex_count = (unsigned char)bytes[vertices + 6] | (unsigned char)bytes[vertices + 7] << 8;
    ASSERT_GT(vertex_count, 3u);
    std::string bad_face = bytes;
    bad_face[faces + 8] = (char)vertex_count;  // the first corner of the first face
    bad_face[faces + 9] = 0;
    EXPECT_FALSE(IsWhole(bad_face));
    bad_face[faces + 8] = (char)(vertex_count - 1);
    EXPECT_TRUE(IsWhole(bad_face)) << "the last vertex is a vertex";
    std::string short_mapping = bytes;
    short_mapping[mapping + 6] = (char)((unsigned char)short_mapping[mapping + 6] - 1);
    EXPECT_FALSE(IsWhole(short_mapping));
    std::string unknown = bytes;
    unknown[mapping + 1] = 0x50;  // the loader spins in a mesh chunk it does not know
    EXPECT_FALSE(IsWhole(unknown));
    std::string bad_group = bytes;
    size_t group_list = bytes.find('\0', group + 6) + 1;
    bad_group[group_list + 2] = (char)0xff;  // the first face of the group
    bad_group[group_list + 3] = (char)0xff;
    EXPECT_FALSE(IsWhole(bad_group));
}

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
