// The generated data through the engine and ALUT: meshes, images, the bitmap font and the sounds.
#include <gtest/gtest.h>

#include <AL/alut.h>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "app/util.h"
#include "helpers.h"
#include "sound/sound.h"
#include "tools/contrast.h"
#include "world/tableworld.h"

using namespace irr;

namespace {

scene::IMesh* loadMesh(const char* file) {
    scene::IAnimatedMesh* mesh = smgr->getMesh(file);
    return mesh ? mesh->getMesh(0) : nullptr;
}

struct Triangle {
    core::vector3df a, b, c;
    const video::S3DVertex* vertices[3];
    core::vector3df normal() const { return (b - a).crossProduct(c - a).normalize(); }
    core::vector3df centre() const { return (a + b + c) / 3; }
};

std::vector<Triangle> triangles(scene::IMesh* mesh) {
    std::vector<Triangle> out;
    for (u32 i = 0; i < mesh->getMeshBufferCount(); ++i) {
        scene::IMeshBuffer* buffer = mesh->getMeshBuffer(i);
        if (buffer->getVertexType() != video::EVT_STANDARD) continue;
        auto* vertices = static_cast<const video::S3DVertex*>(buffer->getVertices());
        const u16* indices = buffer->getIndices();
        for (u32 k = 0; k + 2 < buffer->getIndexCount(); k += 3) {
            const video::S3DVertex* v[3] = {&vertices[indices[k]], &vertices[indices[k + 1]], &vertices[indices[k + 2]]};
            out.push_back(Triangle{v[0]->Pos, v[1]->Pos, v[2]->Pos, {v[0], v[1], v[2]}});
        }
    }
    return out;
}

u32 faceCount(scene::IMesh* mesh) {
    u32 count = 0;
    for (u32 i = 0; i < mesh->getMeshBufferCount(); ++i) count += mesh->getMeshBuffer(i)->getIndexCount() / 3;
    return count;
}

// Enclosed volume by the divergence theorem: positive when every triangle faces outward the way
// the engine culls (its normals are (b - a) x (c - a)), negative when the winding is inside out.
float signedVolume(scene::IMesh* mesh) {
    float volume = 0;
    for (const Triangle& t : triangles(mesh)) volume += t.a.dotProduct(t.b.crossProduct(t.c)) / 6;
    return volume;
}

void expectBox(scene::IMesh* mesh, core::vector3df min, core::vector3df max) {
    const core::aabbox3df& box = mesh->getBoundingBox();
    EXPECT_TRUE(box.MinEdge.equals(min, 0.01f)) << box.MinEdge.X << " " << box.MinEdge.Y << " " << box.MinEdge.Z;
    EXPECT_TRUE(box.MaxEdge.equals(max, 0.01f)) << box.MaxEdge.X << " " << box.MaxEdge.Y << " " << box.MaxEdge.Z;
}

class Data : public ::testing::Test {
protected:
    NullDevice null_device;
};

// ---- meshes ---------------------------------------------------------------------------------

TEST_F(Data, CubePiecesSpanFortyUnitsWithTheirFaceCounts) {
    struct Case {
        const char* file;
        u32 faces;
        core::vector3df min, max;
    } cases[] = {
        {"data/side.3ds", 8, {-20, -20, -20}, {20, 20, 20}},
        {"data/top.3ds", 2, {-20, 20, -20}, {20, 20, 20}},
        {"data/bottom.3ds", 2, {-20, -20, -20}, {20, -20, 20}},
        {"data/cube.3ds", 12, {-20, -20, -20}, {20, 20, 20}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        scene::IMesh* mesh = loadMesh(c.file);
        ASSERT_NE(mesh, nullptr);
        EXPECT_EQ(faceCount(mesh), c.faces);
        expectBox(mesh, c.min, c.max);
    }
}

// A texture coordinate that follows a world axis once per cell: along one axis, in one direction, it differs
// from the position in cells by a whole number, so it wraps at every cell border.
bool repeatsOncePerCell(const Triangle& t, float core::vector2df::*coordinate) {
    for (int axis = 0; axis < 3; ++axis) {
        for (float direction : {-1.0f, 1.0f}) {
            bool follows = true;
            for (const video::S3DVertex* v : t.vertices) {
                // The piece of the cube in cell (0, 0, 0), placed and scaled as the game does.
                float world = (&v->Pos.X)[axis] * TABLEWORLD_PIECE_SCALE + 10;
                float offset = v->TCoords.*coordinate - direction * world / 20;
                follows = follows && std::fabs(offset - std::round(offset)) < 1e-4f;
            }
            if (follows) return true;
        }
    }
    return false;
}

// Every face of a cube piece is seen from outside, lit from outside, and shows its image upright. Where
// neighbouring pieces overlap, both show the same texel: the image repeats once per cell in world space.
// The objective's cube shows its whole image, frame and all, once on each face.
TEST_F(Data, CubePieceFacesPointOutwardWithUprightImagesThatRepeatOncePerCell) {
    for (const char* file : {"data/side.3ds", "data/top.3ds", "data/bottom.3ds", "data/cube.3ds"}) {
        SCOPED_TRACE(file);
        const bool objective = std::string(file) == "data/cube.3ds";
        scene::IMesh* mesh = loadMesh(file);
        ASSERT_NE(mesh, nullptr);
        for (const Triangle& t : triangles(mesh)) {
            core::vector3df n = t.normal();
            core::vector3df outward = t.centre();
            EXPECT_GT(n.dotProduct(outward.normalize()), 0.5f) << "a face looks inward at " << t.centre().X << " "
                                                                << t.centre().Y << " " << t.centre().Z;
            if (!objective) {
                EXPECT_TRUE(repeatsOncePerCell(t, &core::vector2df::X)) << "U does not wrap at the cell borders";
                EXPECT_TRUE(repeatsOncePerCell(t, &core::vector2df::Y)) << "V does not wrap at the cell borders";
            }
            for (const video::S3DVertex* v : t.vertices) {
                EXPECT_TRUE(v->Normal.equals(n, 0.01f)) << "the lighting normal is not the face's";
                if (objective) {
                    EXPECT_TRUE(v->TCoords.X == 0 || v->TCoords.X == 1);
                    EXPECT_TRUE(v->TCoords.Y == 0 || v->TCoords.Y == 1);
                }
                // On the sides the image's top row sits at the cube's top edge.
                if (std::fabs(n.Y) < 0.5f) {
                    EXPECT_EQ(v->TCoords.Y < 0.5f, v->Pos.Y > 0);
                }
            }
        }
    }
    scene::IMesh* cube = loadMesh("data/cube.3ds");
    ASSERT_NE(cube, nullptr);
    EXPECT_NEAR(signedVolume(cube), 40.0f * 40 * 40, 1.0f);
}

TEST_F(Data, FigureIsAboutSixtyWideAndOneHundredTwentyTallFacingMinusX) {
    scene::IMesh* blob = loadMesh("data/blob.3ds");
    ASSERT_NE(blob, nullptr);
    const core::aabbox3df& box = blob->getBoundingBox();
    core::vector3df size = box.getExtent();
    EXPECT_GE(size.X, 55);
    EXPECT_LE(size.X, 75);
    EXPECT_GE(size.Z, 55);
    EXPECT_LE(size.Z, 65);
    EXPECT_NEAR(size.Y, 120, 6);
    EXPECT_NEAR(box.MinEdge.Y + box.MaxEdge.Y, 0, 1) << "the figure is centred on its position";
    EXPECT_GT(-box.MinEdge.X, box.MaxEdge.X + 5) << "the nose sticks out towards -X, the heading's forward";
    // Closed parts wound outward: the volume is about that of the 30 x 60 x 30 body.
    float body = 4.0f / 3 * 3.14159f * 30 * 60 * 30;
    EXPECT_GT(signedVolume(blob), body * 0.9f);
    EXPECT_LT(signedVolume(blob), body * 1.3f);
}

// Drawn unlit and untextured, the figure shows its vertex colours: several, none of them white.
TEST_F(Data, FigureCarriesSeveralVertexColours) {
    scene::IMesh* blob = loadMesh("data/blob.3ds");
    ASSERT_NE(blob, nullptr);
    std::vector<u32> colours;
    u32 front_colour = 0;
    float front_x = 0;
    for (const Triangle& t : triangles(blob)) {
        for (const video::S3DVertex* v : t.vertices) {
            u32 c = v->Color.color;
            if (std::find(colours.begin(), colours.end(), c) == colours.end()) colours.push_back(c);
            if (v->Pos.X < front_x) {
                front_x = v->Pos.X;
                front_colour = c;
            }
        }
    }
    EXPECT_GE(colours.size(), 4u);
    u32 body_colour = triangles(blob).front().vertices[0]->Color.color;
    EXPECT_NE(body_colour, 0xFFFFFFFFu);
    EXPECT_NE(front_colour, body_colour) << "the nose stands out from the body";
}

// ---- images ---------------------------------------------------------------------------------

struct Image {
    video::IImage* image = nullptr;
    explicit Image(const std::string& file) { image = driver->createImageFromFile(file.c_str()); }
    ~Image() {
        if (image) image->drop();
    }
    core::dimension2du size() const { return image->getDimension(); }
    video::SColor at(u32 x, u32 y) const { return image->getPixel(x, y); }
};

float difference(video::SColor a, video::SColor b) {
    return (std::abs(int(a.getRed()) - int(b.getRed())) + std::abs(int(a.getGreen()) - int(b.getGreen())) +
            std::abs(int(a.getBlue()) - int(b.getBlue()))) / (3 * 255.0f);
}

core::vector3df meanColour(const Image& image) {
    core::vector3df sum;
    for (u32 y = 0; y < image.size().Height; ++y)
        for (u32 x = 0; x < image.size().Width; ++x) {
            video::SColor c = image.at(x, y);
            sum += core::vector3df(c.getRed(), c.getGreen(), c.getBlue()) / 255.0f;
        }
    return sum / float(image.size().Width * image.size().Height);
}

// How much a texture jumps where it wraps, against how much it changes between neighbours inside.
float seamRatio(const Image& image) {
    const u32 n = image.size().Width;
    float inside = 0, seam = 0;
    for (u32 i = 0; i < n; ++i) {
        seam += difference(image.at(n - 1, i), image.at(0, i)) + difference(image.at(i, n - 1), image.at(i, 0));
        for (u32 k = 0; k + 1 < n; ++k)
            inside += difference(image.at(k, i), image.at(k + 1, i)) + difference(image.at(i, k), image.at(i, k + 1));
    }
    return seam / (inside / (n - 1) + 1e-3f);
}

// The image as the data tool's pictures hold it, for the contrast figures the tool designs by.
Picture pictureOf(const Image& image) {
    Picture picture(int(image.size().Width), int(image.size().Height), Colour{0, 0, 0, 1});
    for (int i = 0; i < picture.width * picture.height; ++i) {
        video::SColorf c(image.at(i % picture.width, i / picture.width));
        picture.pixels[i] = Colour{c.r, c.g, c.b, c.a};
    }
    return picture;
}

const char* const WORLD[3] = {"side", "top", "bottom"};
const char* const SKY[6] = {"sky_top", "sky_bottom", "sky_left", "sky_right", "sky_front", "sky_back"};

std::string levelFile(int level, const char* name) { return "data/" + std::to_string(level) + "/" + name + ".bmp"; }

// Sides sharp at arm's length; and every cube's outline reads, so that a face that ends in a drop differs
// from one that goes on (a player once fell off level 6's lava, whose edges vanished).
TEST_F(Data, WorldTexturesAreSquareTileableDistinctAndOutlined) {
    std::vector<core::vector3df> previous_means;
    for (int level = 1; level <= 11; ++level) {
        std::vector<core::vector3df> means;
        for (const char* name : WORLD) {
            SCOPED_TRACE(levelFile(level, name));
            Image image(levelFile(level, name));
            ASSERT_NE(image.image, nullptr);
            const u32 size = std::string(name) == "side" ? 512 : 256;
            EXPECT_EQ(image.size(), core::dimension2du(size, size)) << "sides sharp up close, tops and bottoms lighter";
            EXPECT_LT(seamRatio(image), 2.5f) << "the texture shows a seam where it repeats";
            EXPECT_GT(contrast_Edge(pictureOf(image)), 0.15f) << "the cube's outline does not read";
            means.push_back(meanColour(image));
        }
        EXPECT_GT(means[0].getDistanceFrom(means[1]), 0.05f) << "level " << level << ": side and top alike";
        EXPECT_GT(means[0].getDistanceFrom(means[2]), 0.05f) << "level " << level << ": side and bottom alike";
        EXPECT_GT(means[1].getDistanceFrom(means[2]), 0.05f) << "level " << level << ": top and bottom alike";
        if (!previous_means.empty()) {
            EXPECT_GT(means[0].getDistanceFrom(previous_means[0]), 0.05f) << "level " << level << " looks like the one before";
        }
        previous_means = means;
    }
}

// Where two sky faces meet, their border rows match: each of the 24 borders has a partner. A hole in a floor shows
// the sky below the horizon: it stands apart from the level's floor (a player took a hole for one more tile and
// fell through).
TEST_F(Data, SkyFacesMeetWithoutSeamsAndFallAwayBelowTheHorizon) {
    for (int level = 1; level <= 11; ++level) {
        std::vector<std::vector<video::SColor>> borders;  // four per face: top, bottom, left, right rows
        std::vector<Picture> faces;
        for (const char* name : SKY) {
            SCOPED_TRACE(levelFile(level, name));
            Image image(levelFile(level, name));
            ASSERT_NE(image.image, nullptr);
            ASSERT_EQ(image.size(), core::dimension2du(256, 256));
            faces.push_back(pictureOf(image));
            std::vector<video::SColor> top, bottom, left, right;
            for (u32 i = 0; i < 256; ++i) {
                top.push_back(image.at(i, 0));
                bottom.push_back(image.at(i, 255));
                left.push_back(image.at(0, i));
                right.push_back(image.at(255, i));
            }
            borders.insert(borders.end(), {top, bottom, left, right});
        }
        for (size_t b = 0; b < borders.size(); ++b) {
            float best = 1;
            for (size_t o = 0; o < borders.size(); ++o) {
                if (o / 4 == b / 4) continue;
                float forward = 0, backward = 0;
                for (u32 i = 0; i < 256; ++i) {
                    forward += difference(borders[b][i], borders[o][i]) / 256;
                    backward += difference(borders[b][i], borders[o][255 - i]) / 256;
                }
                best = std::min(best, std::min(forward, backward));
            }
            EXPECT_LT(best, 0.03f) << "level " << level << ": " << SKY[b / 4] << " border " << b % 4 << " meets no other face";
        }
        const Picture* sides[4] = {&faces[2], &faces[3], &faces[4], &faces[5]};
        Image floor(levelFile(level, "top"));
        ASSERT_NE(floor.image, nullptr);
        EXPECT_GT(contrast_Between(contrast_BelowHorizon(sides, faces[1]), pictureOf(floor)), 0.2f)
            << "level " << level << ": the sky below the horizon looks like the floor";
    }
}

TEST_F(Data, ObjectiveIsATranslucentFaceWithAnOpaqueFrame) {
    for (const char* file : {"data/objectiv.png", "data/objectiv2.png"}) {
        SCOPED_TRACE(file);
        Image image(file);
        ASSERT_NE(image.image, nullptr);
        EXPECT_EQ(image.image->getColorFormat(), video::ECF_A8R8G8B8);
        const u32 n = image.size().Width;
        EXPECT_EQ(n, image.size().Height);
        EXPECT_GE(n, 64u);
        EXPECT_EQ(image.at(1, n / 2).getAlpha(), 255u) << "the frame is opaque";
        u32 centre = image.at(n / 2, n / 2).getAlpha();
        EXPECT_GT(centre, 20u) << "the middle is not invisible";
        EXPECT_LT(centre, 230u) << "the middle lets the world through";
        u32 partial = 0;
        for (u32 y = 0; y < n; ++y)
            for (u32 x = 0; x < n; ++x) partial += image.at(x, y).getAlpha() > 10 && image.at(x, y).getAlpha() < 245;
        EXPECT_GT(partial, n * n / 2);
    }
}

// The objective shows through the cubes against any sky and any wall: on none of the eleven levels may it melt
// into a sky face or a world texture (a pale blue one once did against level 2's sky).
TEST_F(Data, ObjectiveStandsOutFromEveryLevelsSkyAndTextures) {
    Image objective_image("data/objectiv.png");
    ASSERT_NE(objective_image.image, nullptr);
    const Picture objective = pictureOf(objective_image);
    float faintest = 1;
    std::string where;
    for (int level = 1; level <= 11; ++level) {
        for (const char* const* names : {WORLD, SKY}) {
            for (int i = 0; i < (names == WORLD ? 3 : 6); ++i) {
                Image background(levelFile(level, names[i]));
                ASSERT_NE(background.image, nullptr) << levelFile(level, names[i]);
                const Picture under = pictureOf(background);
                float contrast = contrast_Between(contrast_Over(objective, under), under);
                if (contrast < faintest) {
                    faintest = contrast;
                    where = levelFile(level, names[i]);
                }
            }
        }
    }
    EXPECT_GT(faintest, 0.2f) << "the objective fades into " << where;
}

TEST_F(Data, TextStripIsADarkBandOf640By30) {
    Image image("data/textback.bmp");
    ASSERT_NE(image.image, nullptr);
    EXPECT_EQ(image.size(), core::dimension2du(640, 30));
    core::vector3df mean = meanColour(image);
    EXPECT_LT((mean.X + mean.Y + mean.Z) / 3, 0.2f);
}

// ---- font -----------------------------------------------------------------------------------

TEST_F(Data, FontHasAnInkedMonospaceGlyphForEveryPrintableCharacter) {
    gui::IGUIFont* font = util_LoadFont("data/fontcourier.bmp");
    ASSERT_NE(font, nullptr);
    ASSERT_EQ(font->getType(), gui::EGFT_BITMAP);
    auto* bitmap = static_cast<gui::IGUIFontBitmap*>(font);
    gui::IGUISpriteBank* bank = bitmap->getSpriteBank();
    ASSERT_NE(bank, nullptr);
    Image sheet("data/fontcourier.bmp");
    ASSERT_NE(sheet.image, nullptr);
    const video::SColor background = sheet.at(2, 0);
    const core::dimension2du cell = font->getDimension(L"M");
    EXPECT_GE(cell.Height, 14u);
    EXPECT_LE(cell.Height, 22u);
    EXPECT_GE(cell.Width, 7u);
    EXPECT_LE(cell.Width, 9u) << "a status line of 67 characters must fit in 590 pixels";
    std::vector<u32> sprites;
    for (wchar_t ch = 32; ch <= 255; ++ch) {
        if (ch >= 127 && ch < 160) continue;
        SCOPED_TRACE(int(ch));
        wchar_t text[2] = {ch, 0};
        EXPECT_EQ(font->getDimension(text), cell) << "every glyph has the same box";
        u32 sprite = bitmap->getSpriteNoFromChar(&ch);
        ASSERT_LT(sprite, bank->getPositions().size());
        EXPECT_EQ(std::count(sprites.begin(), sprites.end(), sprite), 0) << "two characters share a glyph";
        sprites.push_back(sprite);
        const core::recti& box = bank->getPositions()[sprite];
        // The box's top row holds the markers; the ink lies below it.
        u32 ink = 0;
        for (s32 y = box.UpperLeftCorner.Y + 1; y < box.LowerRightCorner.Y; ++y)
            for (s32 x = box.UpperLeftCorner.X; x < box.LowerRightCorner.X; ++x) ink += sheet.at(x, y) != background;
        if (ch == 32 || ch == 160) {
            EXPECT_EQ(ink, 0u) << "a space is blank";
        } else {
            EXPECT_GT(ink, 4u) << "the glyph is empty";
        }
    }
}

// ---- readme.html ----------------------------------------------------------------------------

// A wrong argument sends the player to readme.html: it lies beside the game, the README rendered with its tables,
// and every image it shows is there too.
TEST(Readme, LiesBesideTheGameWithTheControlsTableAndItsImages) {
    std::ifstream file("readme.html");
    ASSERT_TRUE(file.good()) << "no readme.html in the game folder";
    std::string page((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_EQ(page.rfind("<!DOCTYPE html>", 0), 0u);
    EXPECT_NE(page.find("<meta charset=\"utf-8\">"), std::string::npos);
    const size_t controls = page.find("<h2>Controls</h2>");
    ASSERT_NE(controls, std::string::npos);
    const size_t table = page.find("<table>", controls);
    EXPECT_LT(table, page.find("<h2>", controls + 1)) << "the controls are not a table";
    for (const char* cell : {"<th>keys</th>", "<td>walk forward</td>", "<td>zoom (field of view)</td>",
                             "<td>pause; Escape again quits, Return resumes</td>"})
        EXPECT_NE(page.find(cell, table), std::string::npos) << cell;
    for (const char* section : {"Settings", "The setup", "The eleven levels", "Files", "Resetting the settings", "Tips"})
        EXPECT_NE(page.find("<h2>" + std::string(section) + "</h2>"), std::string::npos) << section;
    size_t images = 0;
    for (size_t at = page.find("<img src=\""); at != std::string::npos; at = page.find("<img src=\"", at + 1)) {
        std::string source = page.substr(at + 10, page.find('"', at + 10) - at - 10);
        EXPECT_TRUE(std::ifstream(source).good()) << "readme.html shows a missing " << source;
        ++images;
    }
    EXPECT_GT(images, 0u);
}

// ---- sounds ---------------------------------------------------------------------------------

struct Wav {
    std::vector<float> samples;
    int rate = 0;
    ALenum format = 0;
};

Wav loadWav(const char* file) {
    Wav wav;
    ALsizei size = 0;
    ALfloat frequency = 0;
    void* data = alutLoadMemoryFromFile(file, &wav.format, &size, &frequency);
    if (!data) return wav;
    wav.rate = int(frequency);
    const short* pcm = static_cast<const short*>(data);
    for (ALsizei i = 0; i < size / 2; ++i) wav.samples.push_back(pcm[i] / 32768.0f);
    std::free(data);
    return wav;
}

float peak(const Wav& wav, float from, float to) {
    float p = 0;
    for (size_t i = size_t(from * wav.rate); i < size_t(to * wav.rate) && i < wav.samples.size(); ++i)
        p = std::max(p, std::fabs(wav.samples[i]));
    return p;
}

// What a player hears of a sound restarted every `period` seconds: its opening, over and over.
struct Restarted {
    float peak = 0, rms = 0;
    float low_share = 0;       // share of the power below 400 Hz, where a buzz at the frame rate would lie
    float strongest_share = 0; // share of the power in the strongest line: a steady tone
    float centre = 0;          // the power's mean frequency, Hz
};

// The restarted stream repeats one period exactly, so its spectrum is the lines of that period's DFT.
Restarted restarted(const Wav& wav, float period) {
    const size_t n = size_t(period * wav.rate);
    Restarted r;
    std::vector<float> power(n / 2 + 1, 0);
    float total = 0;
    for (size_t k = 1; k <= n / 2; ++k) {
        double re = 0, im = 0;
        for (size_t i = 0; i < n && i < wav.samples.size(); ++i) {
            re += wav.samples[i] * std::cos(2 * M_PI * k * i / n);
            im -= wav.samples[i] * std::sin(2 * M_PI * k * i / n);
        }
        power[k] = float(re * re + im * im);
        total += power[k];
    }
    for (size_t k = 1; k <= n / 2; ++k) {
        const float frequency = float(k) / period;
        if (frequency < 400) r.low_share += power[k] / total;
        r.strongest_share = std::max(r.strongest_share, power[k] / total);
        r.centre += frequency * power[k] / total;
    }
    for (size_t i = 0; i < n && i < wav.samples.size(); ++i) {
        r.peak = std::max(r.peak, std::fabs(wav.samples[i]));
        r.rms += wav.samples[i] * wav.samples[i] / n;
    }
    r.rms = std::sqrt(r.rms);
    return r;
}

TEST(DataSounds, EachEffectLoadsWithAlutAtItsLengthWithoutClicks) {
    // ALUT loads only with a current context; OpenAL's null output gives one on a machine without audio.
    setenv("ALSOFT_DRIVERS", "null", 1);
    ASSERT_EQ(alutInit(nullptr, nullptr), AL_TRUE) << alutGetErrorString(alutGetError());
    struct Case {
        const char* file;
        float seconds;
    } cases[] = {{"data/jump.wav", 0.3f}, {"data/walk.wav", 0.1f}, {"data/alarm.wav", 0.25f}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        Wav wav = loadWav(c.file);
        ASSERT_FALSE(wav.samples.empty()) << alutGetErrorString(alutGetError());
        EXPECT_EQ(wav.format, AL_FORMAT_MONO16);
        EXPECT_TRUE(wav.rate == 22050 || wav.rate == 44100);
        const float duration = float(wav.samples.size()) / wav.rate;
        EXPECT_NEAR(duration, c.seconds, c.seconds * 0.1f);
        const float loudest = peak(wav, 0, duration);
        EXPECT_GT(loudest, 0.25f) << "audible";
        EXPECT_LT(loudest, 0.98f) << "not clipped";
        EXPECT_LT(std::fabs(wav.samples.front()), 0.02f) << "starts without a click";
        EXPECT_LT(peak(wav, duration - 0.003f, duration), 0.05f) << "ends without a click";
        // The game loads through a buffer, kept to the end as the game keeps it: it holds the same samples.
        std::unique_ptr<Sound> sound(sound_Load(c.file));
        ALuint buffer = sound->buffer;
        ASSERT_NE(buffer, 0u);
        ALint bytes = 0;
        alGetBufferi(buffer, AL_SIZE, &bytes);
        EXPECT_EQ(size_t(bytes), wav.samples.size() * 2);
    }
    // Every step restarts the walk and every frame of the last seconds the alarm: restarted every 5 to 30 ms,
    // each must still sound (loud at once, never clipping past -6 dBFS), the walk a soft shuffle and the alarm
    // high and warbling, with no buzz at the restart rate and no steady tone.
    struct Heard {
        const char* file;
        float lowest_centre, highest_centre;
    } heard[] = {{"data/walk.wav", 500, 3000}, {"data/alarm.wav", 1500, 5000}};
    for (const Heard& h : heard) {
        Wav wav = loadWav(h.file);
        for (float period : {0.005f, 0.016f, 0.030f}) {
            SCOPED_TRACE(std::string(h.file) + " restarted every " + std::to_string(int(period * 1000)) + " ms");
            Restarted r = restarted(wav, period);
            EXPECT_LT(r.peak, 0.5f) << "peaks above -6 dBFS";
            EXPECT_GT(r.rms, 0.08f) << "too quiet when cut this short";
            EXPECT_LT(r.low_share, 0.05f) << "buzzes at the restart rate";
            EXPECT_LT(r.strongest_share, 0.3f) << "a steady tone";
            EXPECT_GT(r.centre, h.lowest_centre);
            EXPECT_LT(r.centre, h.highest_centre);
        }
    }
    // The jump rises: more zero crossings in its second half than in its first.
    Wav jump = loadWav("data/jump.wav");
    auto crossings = [&](size_t from, size_t to) {
        int n = 0;
        for (size_t i = from + 1; i < to; ++i) n += (jump.samples[i - 1] < 0) != (jump.samples[i] < 0);
        return n;
    };
    size_t half = jump.samples.size() / 2;
    EXPECT_GT(crossings(half, jump.samples.size()), crossings(0, half) * 3 / 2);
    alutExit();
}

}  // namespace
