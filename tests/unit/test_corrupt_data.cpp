// Damaged data files: what the game needs and cannot load safely stops it with its name; no file crashes or blocks it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>
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

bool IsWhole(std::string bytes) {
    return util_PrepareMeshBytes(reinterpret_cast<unsigned char*>(&bytes[0]), bytes.size());
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
    unknown[mapping + 1] = 0x50;  // a mesh chunk the loader does not know, and skips by its length
    EXPECT_TRUE(IsWhole(unknown));
    unknown[mapping + 2] = 5;  // shorter than its own header: the loader would read it again and again
    unknown[mapping + 3] = unknown[mapping + 4] = unknown[mapping + 5] = 0;
    EXPECT_FALSE(IsWhole(unknown));
    std::string bad_group = bytes;
    size_t group_list = bytes.find('\0', group + 6) + 1;
    bad_group[group_list + 2] = (char)0xff;  // the first face of the group
    bad_group[group_list + 3] = (char)0xff;
    EXPECT_FALSE(IsWhole(bad_group));
}

std::string Little16(unsigned value) { return {(char)(value & 0xff), (char)(value >> 8 & 0xff)}; }
std::string Little32(unsigned long value) { return Little16(value & 0xffff) + Little16(value >> 16); }
std::string Chunk(unsigned id, const std::string& body) { return Little16(id) + Little32(6 + body.size()) + body; }
std::string Floats(std::initializer_list<float> values) {
    std::string bytes;
    for (float value : values) bytes.append(reinterpret_cast<const char*>(&value), sizeof value);
    return bytes;
}

// A quad as a modelling program saves it: master scale, a material with a texture map, local axes, point
// flags, smoothing groups and a keyframer, none of which the game's own meshes hold.
std::string ModellerMesh(const std::string& more_material = "", const std::string& more_mesh = "") {
    std::string vertices = Little16(4) + Floats({0, 0, 0, 10, 0, 0, 10, 10, 0, 0, 10, 0});
    std::string mapping = Little16(4) + Floats({0, 0, 1, 0, 1, 1, 0, 1});
    std::string group = Chunk(0x4130, std::string("grey\0", 5) + Little16(2) + Little16(0) + Little16(1));
    std::string faces = Little16(2) + Little16(0) + Little16(1) + Little16(2) + Little16(7) + Little16(0) +
                        Little16(2) + Little16(3) + Little16(7) + group + Chunk(0x4150, Little32(1) + Little32(1));
    std::string mesh = Chunk(0x4110, vertices) + Chunk(0x4111, Little16(4) + std::string(8, '\0')) +
                       Chunk(0x4140, mapping) +
                       Chunk(0x4160, Floats({1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0})) + Chunk(0x4120, faces) + more_mesh;
    std::string material =
        Chunk(0xA000, std::string("grey\0", 5)) + Chunk(0xA020, Chunk(0x0011, "\x96\x96\x96")) +
        Chunk(0xA040, Chunk(0x0030, Little16(20))) + Chunk(0xA081, "") + Chunk(0xA100, Little16(3)) +
        Chunk(0xA200, Chunk(0x0030, Little16(100)) + Chunk(0xA300, std::string("data/1/top.bmp\0", 15))) +
        more_material;
    std::string editor = Chunk(0x3D3E, Little32(3)) + Chunk(0xAFFF, material) + Chunk(0x0100, Floats({1})) +
                         Chunk(0x4000, std::string("quad\0", 5) + Chunk(0x4100, mesh));
    std::string keyframer =
        Chunk(0xB000, Chunk(0xB00A, Little16(5) + std::string("scene\0", 6) + Little32(100)) +
                          Chunk(0xB002, Chunk(0xB030, Little16(0)) +
                                            Chunk(0xB010, std::string("quad\0", 5) + Little16(0) + Little16(0) +
                                                              Little16(0xFFFF)) +
                                            Chunk(0xB013, Floats({0, 0, 0}))));
    return Chunk(0x4D4D, Chunk(0x0002, Little32(3)) + Chunk(0x3D3D, editor) + keyframer);
}

TEST_F(CorruptDataTest, AMeshFromAModellingProgramLoadsWithItsGeometry) {
    Damage("cube.3ds", ModellerMesh());
    testing::internal::CaptureStdout();
    scene::IAnimatedMesh* mesh = util_LoadMesh("data/cube.3ds");
    EXPECT_EQ("", testing::internal::GetCapturedStdout());
    ASSERT_NE(nullptr, mesh);
    scene::IMesh* frame = mesh->getMesh(0);
    ASSERT_EQ(1u, frame->getMeshBufferCount());
    EXPECT_EQ(6u, frame->getMeshBuffer(0)->getIndexCount()) << "two triangles";
    EXPECT_EQ(nullptr, frame->getMeshBuffer(0)->getMaterial().getTexture(0))
        << "the texture map is skipped: the engine would decode the image it names unchecked";
    EXPECT_EQ(core::vector3df(10, 0, 10), frame->getBoundingBox().MaxEdge);
}

// Chunks that the loader reads by its own idea of their size must have exactly that size, or it goes on
// reading inside them; the keyframer and the texture maps are marked for the loader to skip.
TEST(MeshFileCheck, ChunksOfAModellingProgramAreCheckedAsTheLoaderReadsThem) {
    EXPECT_TRUE(IsWhole(ModellerMesh()));
    EXPECT_TRUE(IsWhole(ModellerMesh(Chunk(0xA010, Chunk(0x0050, "xyz"))))) << "a value kind it skips";
    EXPECT_TRUE(IsWhole(ModellerMesh(Chunk(0xA050, Chunk(0x0031, Floats({0.5}))))));
    EXPECT_FALSE(IsWhole(ModellerMesh(Chunk(0xA010, Chunk(0x0011, "abcd"))))) << "a byte colour of four bytes";
    EXPECT_FALSE(IsWhole(ModellerMesh(Chunk(0xA010, Chunk(0x0011, "abc") + Chunk(0x0011, "abc")))));
    EXPECT_FALSE(IsWhole(ModellerMesh(Chunk(0xA010, "")))) << "a colour holding no value";
    EXPECT_FALSE(IsWhole(ModellerMesh(Chunk(0xA050, Chunk(0x0031, Little16(50))))));
    EXPECT_FALSE(IsWhole(ModellerMesh(Chunk(0xA081, "x")))) << "a flag with a body";
    EXPECT_FALSE(IsWhole(ModellerMesh(Chunk(0xA100, Little32(3)))));
    EXPECT_FALSE(IsWhole(ModellerMesh(Chunk(0xA000, "grey")))) << "a name without its end";
    EXPECT_TRUE(IsWhole(ModellerMesh("", Chunk(0x4165, "\x07") + Chunk(0x4700, std::string(40, '\x7f')))));
    EXPECT_FALSE(IsWhole(ModellerMesh("", Chunk(0x4160, Floats({1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0})))));
    EXPECT_FALSE(IsWhole(ModellerMesh("", Chunk(0x4165, "\x07\x07"))));
    EXPECT_FALSE(IsWhole(ModellerMesh("", Chunk(0x4111, Little16(5) + std::string(8, '\0'))))) << "flags";
    EXPECT_FALSE(IsWhole(ModellerMesh("", Chunk(0x4150, Little32(1) + Little32(1))))) << "smoothed twice";
    std::string bytes = ModellerMesh();
    size_t editor = 6 + 10;  // after the main chunk's header and the version chunk
    size_t keyframer = editor + ((unsigned char)bytes[editor + 2] | (unsigned char)bytes[editor + 3] << 8);
    size_t texture_map = bytes.find(Little16(0xA200));
    ASSERT_EQ(Little16(0xB000), bytes.substr(keyframer, 2));
    ASSERT_NE(std::string::npos, texture_map);
    ASSERT_TRUE(util_PrepareMeshBytes(reinterpret_cast<unsigned char*>(&bytes[0]), bytes.size()));
    EXPECT_EQ("\xff\xff", bytes.substr(keyframer, 2));
    EXPECT_EQ("\xff\xff", bytes.substr(texture_map, 2));
}

// A hang shows as the alarm, an invalid access as the sanitizer's report: either ends the child otherwise. The
// alarm is set again before each load, so that it waits for the next load to end, never for the whole run, which
// takes many times longer under valgrind on a busy machine; one load takes milliseconds even there.
template <typename Run> void ExpectNoHangNoReport(Run run) {
    EXPECT_EXIT(
        {
            run();
            exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}
void ExpectLoadEnds() { alarm(60); }

// Feeds the engine's 3DS loader, from memory, every mutant the check lets through.
int LoadAcceptedMutants(const std::string& original, unsigned seed, int mutants) {
    static const unsigned chunk_ids[] = {0x0000, 0x0002, 0x0010, 0x0011, 0x0030, 0x0100, 0x3D3D, 0x3D3E,
                                         0x4000, 0x4100, 0x4110, 0x4111, 0x4120, 0x4130, 0x4140, 0x4150,
                                         0x4160, 0x4165, 0xA000, 0xA020, 0xA040, 0xA081, 0xA100, 0xA200,
                                         0xA300, 0xA351, 0xAFFF, 0xB000, 0xB00A, 0xB002, 0xB010, 0x5040};
    srand(seed);
    int accepted = 0;
    for (int i = 0; i < mutants; i++) {
        std::string bytes = original;
        for (int change = 0, changes = 1 + rand() % 3; change < changes; change++) {
            size_t at = rand() % (bytes.size() - 1);
            switch (rand() % 5) {
            case 0: bytes[at] = (char)rand(); break;
            case 1: bytes.replace(at, 2, Little16(chunk_ids[rand() % (sizeof chunk_ids / sizeof chunk_ids[0])])); break;
            case 2: bytes[at] = (char)(bytes[at] + (rand() % 2 ? 1 : -1)); break;
            case 3: bytes.erase(at, 1 + rand() % 8); break;
            default: bytes.insert(at, std::string(1 + rand() % 8, (char)rand())); break;
            }
        }
        std::vector<unsigned char> prepared(bytes.begin(), bytes.end());
        if (!util_PrepareMeshBytes(prepared.data(), prepared.size())) continue;
        accepted++;
        ExpectLoadEnds();
        std::string name = "mutant" + std::to_string(i) + ".3ds";
        io::IReadFile* file = device->getFileSystem()->createMemoryReadFile(prepared.data(), prepared.size(),
                                                                             name.c_str(), false);
        scene::IAnimatedMesh* mesh = smgr->getMesh(file);
        file->drop();
        if (mesh) smgr->getMeshCache()->removeMesh(mesh);
    }
    return accepted;
}

TEST_F(CorruptDataTest, NoMutantOfAMeshThatPassesTheCheckHangsOrReadsOutOfBounds) {
    ExpectNoHangNoReport([] {
        testing::internal::CaptureStdout();
        int accepted = 0, tried = 0;
        for (const char* name : {"side.3ds", "cube.3ds", "blob.3ds"}) {
            accepted += LoadAcceptedMutants(ShippedBytes(name), 7, 3000);
            tried += 3000;
        }
        accepted += LoadAcceptedMutants(ModellerMesh(), 8, 12000);
        tried += 12000;
        testing::internal::GetCapturedStdout();
        // Most mutants must reach the loader, or the run tests nothing.
        if (accepted < tried / 10) exit(2);
    });
}

// A folder, a FIFO and a sparse file of 100 GB named like a mesh: no buffer is sized from them, nothing blocks.
TEST_F(CorruptDataTest, AMeshThatIsNoRegularFileOrIsHugeStopsTheGameWithItsName) {
    ASSERT_EQ(0, system("rm data/cube.3ds && mkdir data/cube.3ds"));
    EXPECT_EXIT(util_LoadMesh("data/cube.3ds"), ::testing::ExitedWithCode(1),
                "^data/cube.3ds : CRITICAL ERROR : Can't find this file \n$");
    ASSERT_EQ(0, system("rmdir data/cube.3ds && mkfifo data/cube.3ds"));
    EXPECT_EXIT(util_LoadMesh("data/cube.3ds"), ::testing::ExitedWithCode(1),
                "^data/cube.3ds : CRITICAL ERROR : Can't find this file \n$");
    ASSERT_EQ(0, system("rm data/cube.3ds && truncate -s 100G data/cube.3ds"));
    EXPECT_EXIT(util_LoadMesh("data/cube.3ds"), ::testing::ExitedWithCode(1),
                "^data/cube.3ds : CRITICAL ERROR : Can't load this file \n$");
}

std::string Big32(unsigned long value) {
    return {(char)(value >> 24), (char)(value >> 16 & 0xff), (char)(value >> 8 & 0xff), (char)(value & 0xff)};
}

// A PNG of the given header, image data that is not really compressed and an end; checksums left wrong.
std::string Png(unsigned long width, unsigned long height, std::string data) {
    return std::string("\x89PNG\r\n\x1a\n", 8) + Big32(13) + "IHDR" + Big32(width) + Big32(height) +
           std::string("\x08\x06\0\0\0", 5) + Big32(0) + Big32(data.size()) + "IDAT" + data + Big32(0) +
           Big32(0) + "IEND" + Big32(0);
}

bool IsWholeImage(const std::string& bytes) {
    return util_IsWholeImage(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

std::string Bytes(std::initializer_list<int> values) { return std::string(values.begin(), values.end()); }
std::string Pixels(size_t count) { return std::string(count, '\x11'); }

// A bitmap file: its header (HEADER bytes after the file's own), the palette and the pixels. The header states
// the pixels' size and place truly unless DATA_SIZE or OFFSET is given.
std::string Bitmap(long width, long height, unsigned bits, const std::string& palette, const std::string& pixels,
                   unsigned header = 40, unsigned compression = 0, long data_size = -1, long offset = -1) {
    if (data_size < 0) data_size = pixels.size();
    if (offset < 0) offset = 14 + header + palette.size();
    std::string info = Little32(header) + Little32(width) + Little32(height) + Little16(1) + Little16(bits) +
                       Little32(compression) + Little32(data_size) + std::string(header - 24, '\0');
    return "BM" + Little32(14 + header + palette.size() + pixels.size()) + Little32(0) + Little32(offset) + info +
           palette + pixels;
}

// A bitmap as a paint program saves it: three rows alike, each padded to whole words.
std::string Painted(long width, long height, unsigned bits, const std::string& palette, std::string row,
                    unsigned header = 40, unsigned compression = 0) {
    row.resize((row.size() + 3) / 4 * 4, '\0');
    return Bitmap(width, height, bits, palette, row + row + row, header, compression);
}

// Every kind of bitmap the engine decodes safely and truly, small, with odd widths where rows are padded.
std::vector<std::pair<std::string, std::string>> DecodedBitmaps() {
    return {{"8-bit of 256 colours", Painted(5, 3, 8, std::string(1024, 'p'), Bytes({0, 64, 128, 192, 255}))},
            {"8-bit of 16 colours", Painted(5, 3, 8, std::string(64, 'p'), Bytes({0, 3, 7, 11, 15}))},
            {"4-bit of 5 colours, a nibble unused", Painted(5, 3, 4, std::string(20, 'p'), Bytes({0x01, 0x23, 0x4f}))},
            {"1-bit", Painted(13, 3, 1, Bytes({0, 0, 0, 0, 255, 255, 255, 0}), Bytes({0xaa, 0xa8}))},
            {"16-bit", Painted(4, 3, 16, "", Bytes({0, 0x7c, 0xe0, 0x03, 0x1f, 0, 0xff, 0x7f}))},
            {"24-bit with a header of 124 bytes", Painted(3, 3, 24, "", std::string(9, 'x'), 124)},
            {"32-bit", Painted(2, 3, 32, "", std::string(8, 'x'))}};
}

// What the engine decodes is accepted; what it reads or writes out of bounds, or draws in other colours, is not.
TEST(ImageFileCheck, CraftedHeadersAreRefusedAndTheShippedImagesPass) {
    for (const auto& bitmap : DecodedBitmaps()) EXPECT_TRUE(IsWholeImage(bitmap.second)) << bitmap.first;
    EXPECT_FALSE(IsWholeImage(Painted(5, 3, 16, "", std::string(10, 'x')))) << "16-bit of an odd width";
    EXPECT_FALSE(IsWholeImage(Painted(5, 3, 8, std::string(64, 'p'), Bytes({0, 3, 16, 11, 15})))) << "past palette";
    EXPECT_FALSE(IsWholeImage(Painted(5, 3, 4, std::string(20, 'p'), Bytes({0x01, 0x25, 0x4f})))) << "past palette";
    EXPECT_FALSE(IsWholeImage(Painted(5, 3, 8, std::string(1024, 'p'), "xxxxx", 124))) << "palette after 124 bytes";
    EXPECT_FALSE(IsWholeImage(Painted(13, 3, 1, Bytes({255, 255, 255, 0, 0, 0, 0, 0}), "xx"))) << "white, black";
    EXPECT_FALSE(IsWholeImage(Painted(2, 3, 32, std::string(12, 'm'), "12345678", 40, 3))) << "bit fields";
    EXPECT_FALSE(IsWholeImage(Painted(5, -3, 8, std::string(1024, 'p'), "12345"))) << "top-down";
    const std::string rows_16 = Pixels(16 * 48);  // 16 rows of 16 pixels of three bytes
    EXPECT_TRUE(IsWholeImage(Bitmap(16, 16, 24, "", rows_16)));
    EXPECT_TRUE(IsWholeImage(Bitmap(16, 16, 24, "", rows_16, 40, 0, 0))) << "a data size of 0 is the rest of the file";
    EXPECT_FALSE(IsWholeImage(Bitmap(64, 64, 8, std::string(1024, '\0'), Pixels(4000), 40, 1))) << "8-bit RLE";
    EXPECT_FALSE(IsWholeImage(Bitmap(64, 64, 4, std::string(64, '\0'), Pixels(2000), 40, 2))) << "4-bit RLE";
    EXPECT_FALSE(IsWholeImage(Bitmap(64, 64, 24, "", rows_16, 40, 0, 0))) << "says 64x64, holds 16x16";
    EXPECT_FALSE(IsWholeImage(Bitmap(16, 16, 24, "", rows_16, 40, 0, 64 * 192))) << "data size past the end";
    EXPECT_FALSE(IsWholeImage(Bitmap(16, 16, 24, "", rows_16, 40, 0, -1, 0))) << "pixels at offset 0";
    EXPECT_FALSE(IsWholeImage(Bitmap(0, 16, 24, "", rows_16, 40, 0, 0)));
    EXPECT_FALSE(IsWholeImage(Bitmap(5000, 1, 24, "", Pixels(15000), 40, 0, 0)));
    EXPECT_TRUE(IsWholeImage(Png(16, 16, "data")));
    EXPECT_FALSE(IsWholeImage(Png(32768, 32768, "data")));
    EXPECT_FALSE(IsWholeImage(Png(60000, 60000, std::string(437000, 'x'))));
    EXPECT_FALSE(IsWholeImage(Png(16, 0, "data")));
    std::string no_end = Png(16, 16, "data");
    EXPECT_FALSE(IsWholeImage(no_end.substr(0, no_end.size() - 12))) << "cut before its end";
    for (const char* name : {"1/side.bmp", "textback.bmp", "fontcourier.bmp", "objectiv.png", "objectiv2.png"}) {
        std::string bytes = ShippedBytes(name);
        ASSERT_GT(bytes.size(), 100u) << name;
        EXPECT_TRUE(IsWholeImage(bytes)) << name;
        for (size_t keep = 0; keep < bytes.size(); keep += 1 + keep / 8)
            ASSERT_FALSE(IsWholeImage(bytes.substr(0, keep))) << name << " cut at " << keep;
    }
}

// Bytes mutated in the shipped images' headers and anywhere in every kind of bitmap: whatever passes the check,
// the engine decodes without fault; each kind unmutated it decodes.
TEST_F(CorruptDataTest, NoMutantOfAnImageThatPassesTheCheckCrashesTheEngine) {
    ExpectNoHangNoReport([] {
        std::vector<std::pair<std::string, std::string>> originals = DecodedBitmaps();
        for (const char* name : {"textback.bmp", "objectiv.png"}) originals.push_back({name, ShippedBytes(name)});
        srand(5);
        int accepted = 0;
        for (const auto& original : originals) {
            size_t span = original.second.size() < 2000 ? original.second.size() : 64;
            for (int i = 0; i < 1000; i++) {
                std::string bytes = original.second;
                for (int change = 0; i > 0 && change < 1 + rand() % 2; change++) {
                    char& byte = bytes[rand() % span];
                    byte = rand() % 2 ? (char)rand() : (char)(byte + (rand() % 2 ? 1 : -1));
                }
                if (!IsWholeImage(bytes)) continue;
                accepted++;
                ExpectLoadEnds();
                io::IReadFile* file = device->getFileSystem()->createMemoryReadFile(
                    &bytes[0], bytes.size(), original.first.c_str(), false);
                video::IImage* image = driver->createImageFromFile(file);
                file->drop();
                if (i == 0 && !image) exit(3);
                if (image) image->drop();
            }
        }
        if (accepted < 3000) exit(2);
    });
}

// A damaged image is left out, never fatal: only a missing one that the level needs stops the game.
TEST_F(CorruptDataTest, ADamagedImageIsLeftOutAndOnlyAMissingOneStopsTheGame) {
    Damage("textback.bmp", Bitmap(64, 64, 8, std::string(1024, '\0'), Pixels(4000), 40, 1));
    Damage("objectiv.png", Png(32768, 32768, "data"));
    ASSERT_EQ(0, system("rm data/objectiv2.png && mkfifo data/objectiv2.png"));
    Damage("1/side.bmp", Bitmap(64, 64, 4, std::string(64, '\0'), Pixels(2000), 40, 2));
    Damage("1/sky_back.bmp", Bitmap(16, 16, 24, "", Pixels(768), 40, 0, -1, 0));
    EXPECT_EQ(nullptr, util_LoadTexture("data/textback.bmp"));
    EXPECT_EQ(nullptr, util_LoadTexture("data/objectiv.png"));
    EXPECT_EQ(nullptr, util_LoadTexture("data/objectiv2.png"));
    EXPECT_EQ(nullptr, util_LoadTexture("data/nothing.png"));
    EXPECT_NE(nullptr, util_LoadTexture("data/1/top.bmp"));
    Create(1);
    ASSERT_NE(nullptr, player);
    EXPECT_EQ(nullptr, objective_node->getMaterial(0).getTexture(0));
    EXPECT_TRUE(!level_side_texture && level_top_texture) << "the side texture alone is left out";
    EXPECT_TRUE(!level_sky_textures[5] && level_sky_textures[4]) << "the back of the sky alone is left out";
    for (int frame = 0; frame < 3; frame++) {
        level_Update();
        ASSERT_TRUE(driver->beginScene(true, true, video::SColor(255, 0, 0, 0)));
        smgr->drawAll();
        driver->endScene();
    }
    level_Remove();
    ASSERT_EQ(0, system("rm data/1/sky_left.bmp && mkfifo data/1/sky_left.bmp"));
    EXPECT_EXIT(Create(1), ::testing::ExitedWithCode(1), "^data/1/sky_left.bmp : CRITICAL ERROR : Can't find this file \n$");
}

}  // namespace
