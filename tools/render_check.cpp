// korvanix_render_check: shows the generated data in a real OpenGL window, for the eye and the e2e test.
// Usage: korvanix_render_check above|below|sky|blob|text LEVEL SECONDS, run from the game folder.
// Prints "face NAME X Y" for the window point where each face's centre lands, then "ready".
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <irrlicht.h>

using namespace irr;

namespace {

IrrlichtDevice* render_device = nullptr;

scene::IMeshSceneNode* addPiece(const char* mesh_file, video::ITexture* texture) {
    scene::ISceneManager* scene = render_device->getSceneManager();
    scene::IAnimatedMesh* mesh = scene->getMesh(mesh_file);
    if (!mesh) {
        std::fprintf(stderr, "%s does not load\n", mesh_file);
        std::exit(1);
    }
    scene::IMeshSceneNode* node = scene->addMeshSceneNode(mesh->getMesh(0));
    if (!node) std::exit(1);
    node->setScale(core::vector3df(0.51f, 0.51f, 0.51f));
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
    video::ITexture* texture = render_device->getVideoDriver()->getTexture(file.c_str());
    if (!texture) {
        std::fprintf(stderr, "%s does not load\n", file.c_str());
        std::exit(1);
    }
    return texture;
}

void printFace(const char* name, core::vector3df centre) {
    core::position2di p = render_device->getSceneManager()->getSceneCollisionManager()->getScreenCoordinatesFrom3DPosition(centre);
    std::printf("face %s %d %d\n", name, p.X, p.Y);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: korvanix_render_check above|below|sky|blob|text LEVEL SECONDS\n");
        return 1;
    }
    const std::string view = argv[1];
    const int level = std::atoi(argv[2]);
    const u32 seconds = std::atoi(argv[3]);
    SIrrlichtCreationParameters parameters;
    parameters.DriverType = video::EDT_OPENGL;
    parameters.WindowSize = core::dimension2d<u32>(640, 480);
    parameters.LoggingLevel = ELL_ERROR;
    render_device = createDeviceEx(parameters);
    if (!render_device) return 1;
    render_device->setWindowCaption(L"korvanix_render_check");
    video::IVideoDriver* video = render_device->getVideoDriver();
    scene::ISceneManager* scene = render_device->getSceneManager();

    const char* sky_names[6] = {"sky_top", "sky_bottom", "sky_left", "sky_right", "sky_front", "sky_back"};
    video::ITexture* sky[6];
    for (int i = 0; i < 6; ++i) sky[i] = levelTexture(level, sky_names[i]);
    scene->addSkyBoxSceneNode(sky[0], sky[1], sky[2], sky[3], sky[4], sky[5]);
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
    } else if (view == "blob") {
        scene::IAnimatedMesh* mesh = scene->getMesh("data/blob.3ds");
        scene::IMeshSceneNode* node = mesh ? scene->addMeshSceneNode(mesh->getMesh(0)) : nullptr;
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
        gui::IGUIFont* font = gui->getFont("data/fontcourier.bmp");
        if (!font) return 1;
        gui->getSkin()->setFont(font);
        gui::IGUIImage* strip = gui->addImage(core::recti(0, 450, 640, 480));
        strip->setImage(video->getTexture("data/textback.bmp"));
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
        scene->drawAll();
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
            std::printf("ready\n");
            std::fflush(stdout);
        }
        render_device->sleep(20);
    }
    render_device->drop();
    return 0;
}
