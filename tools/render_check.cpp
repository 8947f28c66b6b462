// korvanix_render_check: shows the generated data in a real OpenGL window, for the eye and the e2e test.
// Usage: korvanix_render_check above|below|sky|blob|text|objective|objective-hidden|seams|seams-odd|seams-even
// LEVEL SECONDS, run from the game folder; objective-hidden is the objective's scene without it. Prints "face NAME X Y" for the window point where each face's centre lands, then "ready".
// "levels LEVEL 0" prints "different levels N": the smaller levels of the level's side texture that the game
// makes and the renderer would make differently; then "handed levels H", the smaller levels that the game's
// loader handed to the renderer (none when it left them to the renderer, and compared the renderer's with itself).
// The seams views show a wall and a floor of 3 x 3 cubes as the game places them, face-on and at a grazing
// angle in four quarters of the window; -odd and -even bring the odd or the even cubes to the front where
// neighbours overlap, so the two shots differ exactly where the overlap shows.
#include <GL/gl.h>
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <irrlicht.h>

#include "app/util.h"
#include "level/level.h"
#include "world/tableworld.h"

using namespace irr;

namespace {

IrrlichtDevice* render_device = nullptr;
int handed_levels = 0;

}  // namespace

// Every texture level reaches the GL library through here: the program exports it, so it comes before the
// library's own. A smaller level handed over with its texels was made by the game, not by the renderer.
extern "C" void glTexImage2D(GLenum target, GLint level, GLint internal_format, GLsizei width, GLsizei height,
                             GLint border, GLenum format, GLenum type, const void* pixels) {
    typedef void (*Upload)(GLenum, GLint, GLint, GLsizei, GLsizei, GLint, GLenum, GLenum, const void*);
    static Upload real = reinterpret_cast<Upload>(dlsym(RTLD_NEXT, "glTexImage2D"));
    if (level > 0 && pixels) handed_levels++;
    if (real) real(target, level, internal_format, width, height, border, format, type, pixels);
}

namespace {

scene::IMeshSceneNode* addPiece(const char* mesh_file, video::ITexture* texture) {
    scene::ISceneManager* scene = render_device->getSceneManager();
    scene::IAnimatedMesh* mesh = util_LoadMesh(mesh_file);
    scene::IMeshSceneNode* node = scene->addMeshSceneNode(mesh->getMesh(0));
    if (!node) std::exit(1);
    node->setScale(core::vector3df(TABLEWORLD_PIECE_SCALE, TABLEWORLD_PIECE_SCALE, TABLEWORLD_PIECE_SCALE));
    node->setMaterialTexture(0, texture);
    node->setMaterialFlag(video::EMF_LIGHTING, true);
    node->setMaterialFlag(video::EMF_NORMALIZE_NORMALS, true);
    for (u32 i = 0; i < node->getMaterialCount(); ++i) {
        video::SMaterial& material = node->getMaterial(i);
        material.Shininess = 0;
        material.AmbientColor = material.DiffuseColor = video::SColor(255, 150, 150, 150);
        material.SpecularColor = video::SColor(0, 0, 0, 0);
    }
    return node;
}

video::ITexture* levelTexture(int level, const char* name) {
    std::string file = "data/" + std::to_string(level) + "/" + name + ".bmp";
    video::ITexture* texture = util_LoadTexture(file.c_str());
    if (!texture) {
        std::fprintf(stderr, "%s does not load\n", file.c_str());
        std::exit(1);
    }
    return texture;
}

// One cube as the game builds it: three pieces at the centre of cell (x, y, z), nudged by `toward_eye`. A
// nudge of a five-hundredth of a unit decides the depth test where the cube overlaps its neighbours and moves
// no pixel by more than a twentieth.
void addGameCube(int level, int x, int y, int z, core::vector3df toward_eye) {
    const char* pieces[3][2] = {{"data/side.3ds", "side"}, {"data/top.3ds", "top"}, {"data/bottom.3ds", "bottom"}};
    for (auto& piece : pieces) {
        scene::IMeshSceneNode* node = addPiece(piece[0], levelTexture(level, piece[1]));
        node->setPosition(core::vector3df(20.0f * x + 10, 20.0f * y + 10, 20.0f * z + 10) + toward_eye);
    }
}

// The wall stands in the cells z = 0, facing -z; the floor lies 100 cells below it, facing up: neither is in
// the other's views.
void addWallAndFloor(int level, const std::string& view) {
    for (int a = 0; a < 3; ++a) {
        for (int b = 0; b < 3; ++b) {
            bool odd = (a + b) % 2;
            float nudge = (view == "seams-odd" && odd) || (view == "seams-even" && !odd) ? 0.002f : 0.0f;
            addGameCube(level, a, b, 0, core::vector3df(0, 0, -nudge));
            addGameCube(level, a, -100, b, core::vector3df(0, nudge, 0));
        }
    }
}

// The objective as the game makes it: the two textured cubes in one place, the first drawn again on top.
scene::ISceneNode* addObjective(core::vector3df position) {
    level_AddObjective(position, false);
    return objective_node;
}

struct SeamView {
    core::vector3df position, target, up;
    core::plane3df surface;  // a hair behind the faces that overlap
};

// Face-on and grazing, the wall then the floor; one quarter of the window each.
const SeamView SEAM_VIEWS[4] = {
    {{30, 30, -48}, {30, 30, 0}, {0, 1, 0}, {{0, 0, -0.199f}, {0, 0, -1}}},
    {{2, 31, -9}, {60, 28, 0}, {0, 1, 0}, {{0, 0, -0.199f}, {0, 0, -1}}},
    {{30, -1932, 30}, {30, -1980, 30}, {0, 0, 1}, {{0, -1979.801f, 0}, {0, 1, 0}}},
    {{4, -1975, 8}, {60, -1980, 30}, {0, 1, 0}, {{0, -1979.801f, 0}, {0, 1, 0}}},
};

// With one side of each overlap nudged forward, its cubes' sides would show in a sliver along the edges:
// those views cut away all that lies behind the visible faces.
void drawSeamViews(video::IVideoDriver* video, scene::ISceneManager* scene, scene::ICameraSceneNode* camera,
                   bool one_side_wins) {
    const core::dimension2du size = video->getScreenSize();
    const s32 w = size.Width / 2, h = size.Height / 2;
    for (int i = 0; i < 4; ++i) {
        video->setViewPort(core::recti((i % 2) * w, (i / 2) * h, (i % 2 + 1) * w, (i / 2 + 1) * h));
        camera->setAspectRatio(float(w) / h);
        camera->setPosition(SEAM_VIEWS[i].position);
        camera->setUpVector(SEAM_VIEWS[i].up);
        camera->setTarget(SEAM_VIEWS[i].target);
        video->setClipPlane(0, SEAM_VIEWS[i].surface, one_side_wins);
        scene->drawAll();
    }
    video->enableClipPlane(0, false);
    video->setViewPort(core::recti(0, 0, size.Width, size.Height));
}

void printFace(const char* name, core::vector3df centre) {
    core::position2di p = render_device->getSceneManager()->getSceneCollisionManager()->getScreenCoordinatesFrom3DPosition(centre);
    std::printf("face %s %d %d\n", name, p.X, p.Y);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: korvanix_render_check above|below|sky|blob|text|objective|objective-hidden|seams|seams-odd|seams-even|levels "
                             "LEVEL SECONDS\n");
        return 1;
    }
    const std::string view = argv[1];
    const int level = std::atoi(argv[2]);
    const u32 seconds = std::atoi(argv[3]);
    const bool seams = view.compare(0, 5, "seams") == 0;
    SIrrlichtCreationParameters parameters;
    parameters.DriverType = video::EDT_OPENGL;
    parameters.WindowSize = seams ? core::dimension2d<u32>(960, 720) : core::dimension2d<u32>(640, 480);
    // The game's depth buffer is the engine's 16 bits; the views that choose a winner in every overlap need
    // a finer one, so that the nudge and the cut behind the faces act within a hair of the faces.
    if (seams && view != "seams") parameters.ZBufferBits = 24;
    parameters.LoggingLevel = ELL_ERROR;
    render_device = createDeviceEx(parameters);
    if (!render_device) return 1;
    render_device->setWindowCaption(L"korvanix_render_check");
    video::IVideoDriver* video = render_device->getVideoDriver();
    scene::ISceneManager* scene = render_device->getSceneManager();
    // The game's own loaders and objective work on its engine objects.
    device = render_device;
    driver = video;
    smgr = scene;
    guienv = render_device->getGUIEnvironment();

    if (view == "levels") {
        std::string file = "data/" + std::to_string(level) + "/side.bmp";
        video::IImage* image = util_LoadImage(file.c_str());
        if (!image) return 1;
        video::ITexture* textures[2] = {util_AddTexture(file.c_str(), image), nullptr};
        const int handed = handed_levels;
        textures[1] = video->addTexture("renderer's", image);
        core::dimension2du size = image->getDimension();
        int different = 0;
        for (u32 mip = 1; (size.Width | size.Height) >> mip; mip++) {
            u32 bytes = 4 * core::max_(size.Width >> mip, 1u) * core::max_(size.Height >> mip, 1u);
            different += std::memcmp(textures[0]->lock(video::ETLM_READ_ONLY, mip),
                                     textures[1]->lock(video::ETLM_READ_ONLY, mip), bytes) != 0;
            for (video::ITexture* texture : textures) texture->unlock();
        }
        std::printf("different levels %d\nhanded levels %d\n", different, handed);
        render_device->drop();
        return 0;
    }

    scene::ISceneNode* objectives[2] = {};
    const char* sky_names[6] = {"sky_top", "sky_bottom", "sky_left", "sky_right", "sky_front", "sky_back"};
    video::ITexture* sky[6];
    for (int i = 0; i < 6; ++i) sky[i] = levelTexture(level, sky_names[i]);
    // The seams views have a black background, so that nothing but the cubes counts.
    if (!seams) scene->addSkyBoxSceneNode(sky[0], sky[1], sky[2], sky[3], sky[4], sky[5]);
    scene->addLightSceneNode(nullptr, core::vector3df(0, 250, 0), video::SColorf(1, 1, 1, 1), 2000);
    scene->setAmbientLight(video::SColorf(1, 1, 1, 1));
    scene::ICameraSceneNode* camera = scene->addCameraSceneNode();
    if (!camera) return 1;

    if (view == "above" || view == "below") {
        addPiece("data/side.3ds", levelTexture(level, "side"));
        addPiece("data/top.3ds", levelTexture(level, "top"));
        addPiece("data/bottom.3ds", levelTexture(level, "bottom"));
        const float y = view == "above" ? 28.0f : -28.0f;
        camera->setPosition(core::vector3df(-26, y, -22));
        camera->setTarget(core::vector3df(0, 0, 0));
    } else if (view.compare(0, 9, "objective") == 0) {
        // A wall of the level's cubes on the left, its sky on the right, an objective in front of each.
        for (int a = 0; a < 3; ++a)
            for (int b = 0; b < 3; ++b) addGameCube(level, a, b, 0, core::vector3df(0, 0, 0));
        objectives[0] = addObjective(core::vector3df(30, 30, -25));
        objectives[1] = addObjective(core::vector3df(95, 30, -25));
        if (view == "objective-hidden") {
            for (scene::ISceneNode*& objective : objectives) objective = nullptr;
            for (scene::ISceneNode* node : scene->getRootSceneNode()->getChildren())
                if (node->getType() == scene::ESNT_MESH && node->getMaterial(0).MaterialType == video::EMT_TRANSPARENT_ALPHA_CHANNEL)
                    node->setVisible(false);
        }
        camera->setPosition(core::vector3df(62, 30, -110));
        camera->setTarget(core::vector3df(62, 30, 0));
    } else if (seams) {
        addWallAndFloor(level, view);
    } else if (view == "blob") {
        scene::IMeshSceneNode* node = scene->addMeshSceneNode(util_LoadMesh("data/blob.3ds")->getMesh(0));
        if (!node) return 1;
        node->setMaterialFlag(video::EMF_LIGHTING, false);
        node->setScale(core::vector3df(0.1f, 0.1f, 0.1f));
        // As the game's top-down camera: 50 above, looking straight down, forward (-X) up the screen.
        camera->setPosition(core::vector3df(0, 50, 0));
        camera->setUpVector(core::vector3df(-1, 0, 0));
        camera->setTarget(core::vector3df(0, 0, 0));
    } else if (view == "text") {
        // The status line as the game shows it: the bitmap font in white over the dark strip.
        gui::IGUIEnvironment* gui = render_device->getGUIEnvironment();
        gui::IGUIFont* font = util_LoadFont("data/fontcourier.bmp");
        if (!font) return 1;
        gui->getSkin()->setFont(font);
        gui::IGUIImage* strip = gui->addImage(core::recti(0, 450, 640, 480));
        strip->setImage(util_LoadTexture("data/textback.bmp"));
        gui::IGUIStaticText* line = gui->addStaticText(
            L"Korvanix 2.0.0, a game by Ostravel. Appuyez sur Entree pour jouer.", core::recti(10, 455, 600, 480), false, true);
        line->setOverrideColor(video::SColor(255, 255, 255, 255));
        gui->addStaticText(L"life=3, level=7, FPS=60, distance=123, time=4 !!! \xe9\xe8\xe0\xe7\xf4 ~{}|@#",
                           core::recti(10, 20, 630, 45), false, false)->setOverrideColor(video::SColor(255, 255, 255, 255));
        camera->setTarget(core::vector3df(1, 0.2f, 1));
    } else {
        camera->setPosition(core::vector3df(0, 0, 0));
        camera->setTarget(core::vector3df(1, 0.7f, 1));
        camera->setFOV(1.9f);
    }

    u32 start = render_device->getTimer()->getRealTime();
    int frames = 0;
    while (render_device->run() && render_device->getTimer()->getRealTime() - start < seconds * 1000) {
        video->beginScene(true, true, video::SColor(255, 0, 0, 0));
        if (seams)
            drawSeamViews(video, scene, camera, view != "seams");
        else
            scene->drawAll();
        for (scene::ISceneNode* objective : objectives) {
            if (!objective) continue;
            objective->setMaterialFlag(video::EMF_ZBUFFER, false);
            objective->render();
        }
        render_device->getGUIEnvironment()->drawAll();
        video->endScene();
        if (++frames == 10) {
            if (view == "above") printFace("top", core::vector3df(0, 10.2f, 0));
            if (view == "below") printFace("bottom", core::vector3df(0, -10.2f, 0));
            if (view == "above" || view == "below") {
                printFace("west", core::vector3df(-10.2f, 0, 0));
                printFace("south", core::vector3df(0, 0, -10.2f));
            }
            if (view == "blob") printFace("blob", core::vector3df(0, 0, 0));
            if (view.compare(0, 9, "objective") == 0) {
                printFace("objective-wall", core::vector3df(30, 30, -25));
                printFace("objective-sky", core::vector3df(95, 30, -25));
            }
            std::printf("ready\n");
            std::fflush(stdout);
        }
        render_device->sleep(20);
    }
    render_device->drop();
    return 0;
}
