// Building a level (textures, table, player, objective, maze test, cubes, sky, ceiling, light, camera,
// time limit) and tearing it down.
#include "level/level.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

#include "app/util.h"
#include "player/player.h"
#include "settings/settings.h"
#include "world/tableworld.h"

using namespace irr;

video::ITexture* level_side_texture = nullptr;
video::ITexture* level_top_texture = nullptr;
video::ITexture* level_bottom_texture = nullptr;
video::ITexture* level_sky_textures[6] = {};
scene::ISceneNode* level_sky = nullptr;
Player* player = nullptr;
scene::ISceneNode* objective_node = nullptr;
scene::ISceneNode* objective2_node = nullptr;
scene::ICameraSceneNode* camera = nullptr;

// Only the GUI is drawn, on black: the scene is still being built.
static void ShowProgress(gui::IGUIStaticText* status_text, const wchar_t* line) {
    if (status_text) status_text->setText(line);
    util_DrawFrame(video::SColor(0, 0, 0, 0), false, nullptr);
}

static std::string LevelFile(int level, const char* name) {
    return "data/" + std::to_string(level) + "/" + name;
}

static video::ITexture* RequireTexture(const std::string& file) {
    return util_RequireTexture(file.c_str());
}

static void LoadWorldTextures(int level) {
    std::string side = LevelFile(level, "side.bmp");
    std::string top = LevelFile(level, "top.bmp");
    std::string bottom = LevelFile(level, "bottom.bmp");
    level_side_texture = RequireTexture(side);
    level_top_texture = RequireTexture(top);
    level_bottom_texture = RequireTexture(bottom);
}

// Sizes are checked before anything is allocated: a table too flat has no standing place, a huge one no memory.
static void CreateWorld() {
    int size_x = tableworld_CheckSize("size_x_world", 1);
    int size_y = tableworld_CheckSize("size_y_world", 2);
    int size_z = tableworld_CheckSize("size_z_world", 1);
    // Both flags are read again where they are used; reading them here reports a missing key at this stage.
    settings_GetFlag("is_subjective");
    settings_GetFlag("is_fog_enable");
    tableworld_Create(size_x, size_y, size_z, settings_Get("probability_cube"));
}

static scene::ISceneNode* AddObjectiveCube(const char* texture_file, bool fog, core::vector3df position) {
    scene::ISceneNode* node = util_AddTexturedCube(texture_file, fog, position);
    node->setMaterialType(video::EMT_TRANSPARENT_ALPHA_CHANNEL);
    node->setScale(core::vector3df(TABLEWORLD_PIECE_SCALE));
    return node;
}

// Two cubes in one place: the first, unlit, is drawn again over everything; the second is lit.
void level_AddObjective(core::vector3df position, bool fog) {
    objective_node = AddObjectiveCube("data/objectiv.png", fog, position);
    objective2_node = AddObjectiveCube("data/objectiv2.png", fog, position);
    objective2_node->setMaterialFlag(video::EMF_LIGHTING, true);
}

// A place is drawn for each cube, as the level's random sequence has it, and both take the second.
static void CreateObjectives() {
    bool fog = settings_GetFlag("is_fog_enable");
    tableworld_GetRandomPosition();
    level_AddObjective(tableworld_GetRandomPosition(), fog);
}

static bool IsMazePlayable() {
    core::vector3df figure = player->object->node->getPosition();
    core::vector3df objective = objective2_node->getPosition();
    if (level_ArePointsClose(objective, figure, 0.000001f)) return false;
    return tableworld_TestMaze(objective, figure);
}

// Fog takes the colour of the sky's horizon (the middle rows of its four sides), so that far cubes melt into
// it. It thickens with distance to three quarters at the far corner of the block: the near cubes stay clear and
// the objective, fogged like the rest, never vanishes.
static void SetFog(video::SColorf horizon) {
    float corner = 20 * core::vector3df(tableworld_size_x, tableworld_size_y, tableworld_size_z).getLength();
    const float clear_at_corner = 0.25f;
    driver->setFog(horizon.toSColor(), video::EFT_FOG_EXP, 0, corner, -std::log(clear_at_corner) / corner, true, true);
}

static void AddToHorizon(video::IImage* sky, video::SColorf& sum, int& samples) {
    for (u32 x = 0; x < sky->getDimension().Width; x++, samples++) {
        video::SColorf c(sky->getPixel(x, sky->getDimension().Height / 2));
        sum = video::SColorf(sum.r + c.r, sum.g + c.g, sum.b + c.b, 1);
    }
}

// Each face is decoded once: the fog's colour comes from the very pixels the sky shows.
static void AddSkyBox(int level, bool fog) {
    static const char* const checked[] = {"sky_back.bmp", "sky_front.bmp", "sky_right.bmp",
                                          "sky_left.bmp", "sky_bottom.bmp", "sky_top.bmp"};
    for (const char* name : checked) util_RequireFile(LevelFile(level, name).c_str());
    static const char* const faces[] = {"sky_top.bmp",   "sky_bottom.bmp", "sky_left.bmp",
                                        "sky_right.bmp", "sky_front.bmp",  "sky_back.bmp"};
    video::SColorf horizon(0, 0, 0, 0);
    int samples = 0;
    for (int i = 0; i < 6; i++) {
        std::string file = LevelFile(level, faces[i]);
        video::IImage* image = util_LoadImage(file.c_str());
        bool is_side = i >= 2;
        if (image && is_side && fog) AddToHorizon(image, horizon, samples);
        level_sky_textures[i] = util_AddTexture(file.c_str(), image);
        if (image) image->drop();
    }
    video::ITexture** sky = level_sky_textures;
    level_sky = smgr->addSkyBoxSceneNode(sky[0], sky[1], sky[2], sky[3], sky[4], sky[5], nullptr, -1);
    tableworld_AdoptSky(level_sky);
    if (!fog) return;
    if (samples > 0) horizon = video::SColorf(horizon.r / samples, horizon.g / samples, horizon.b / samples, 1);
    SetFog(horizon);
}

// One tile above every column, just over the table's top layer, drawn additively with the top texture.
static void AddCeiling(bool fog) {
    for (int x = 0; x < tableworld_size_x; x++) {
        for (int z = 0; z < tableworld_size_z; z++) {
            scene::IMeshSceneNode* tile = tableworld_AddMeshNode("data/bottom.3ds");
            tile->setScale(core::vector3df(TABLEWORLD_PIECE_SCALE));
            for (u32 i = 0; i < tile->getMaterialCount(); i++) {
                video::SMaterial& material = tile->getMaterial(i);
                material.TextureLayer[0].Texture = level_top_texture;
                material.Lighting = false;
                if (fog) material.FogEnable = true;
            }
            tile->setPosition(core::vector3df((x + 0.5f) * 20, (tableworld_size_y + 0.5f) * 20, (z + 0.5f) * 20));
            tile->setMaterialType(video::EMT_TRANSPARENT_ADD_COLOR);
            tableworld_AddToBatch(tile);
        }
    }
}

static void AddLightAndCamera() {
    scene::ILightSceneNode* light =
        smgr->addLightSceneNode(nullptr, core::vector3df(0, 0, 0), video::SColorf(1, 1, 1, 1), 2000, -1);
    if (light) light->setPosition(core::vector3df(0, 250, 0));
    camera = smgr->addCameraSceneNode(nullptr, core::vector3df(0, 0, 0), core::vector3df(0, 0, 100), -1);
    if (!camera) util_CriticalError("Could not create the camera.");
    smgr->setActiveCamera(camera);
    camera->setInputReceiverEnabled(false);
}

// The time left is the deadline minus the timer's time, wrapped to 32 bits and read as signed, so it can
// only tell up to 2^31 - 1 ms. The allowance is computed wide and kept within what it can tell: a huge time
// factor gives some 24 days, and a negative one stays far enough from the wrap to read as past.
static void SetTimeLimit() {
    double speed = settings_Get("time_counter_speed");
    is_time_unlimited = speed > 0 ? false : settings_GetInt("is_autoconfigure") == 0;
    int64_t allowed = static_cast<int64_t>(player_DistanceTo(player, objective2_node)) * settings_ToInt(speed);
    allowed = std::min<int64_t>(std::max<int64_t>(allowed, INT32_MIN / 2), INT32_MAX);
    level_deadline = timer->getTime() + static_cast<u32>(allowed);
}

// One attempt at the level up to its maze test; false when the maze must be built anew.
static bool BuildMaze(int level, gui::IGUIStaticText* status_text) {
    printf("Creating level...\n");
    fflush(stdout);
    if (settings_GetInt("is_autoconfigure") != 0) level_AutoConfigure(level);
    ShowProgress(status_text, L". Loading world textures");
    LoadWorldTextures(level);
    ShowProgress(status_text, L".. Creating world");
    CreateWorld();
    ShowProgress(status_text, L"... Loading player (might be long)");
    const char* mesh = settings_GetFlag("is_subjective") ? "data/top.3ds" : "data/blob.3ds";
    player = player_Create(new Player(), mesh);
    ShowProgress(status_text, L".... Loading objective");
    CreateObjectives();
    ShowProgress(status_text, L"..... Testing maze");
    return IsMazePlayable();
}

static void RemoveTexture(video::ITexture*& texture) {
    if (texture && driver) driver->removeTexture(texture);
    texture = nullptr;
}

// A maze that failed its test is built again with the textures it loaded: the dense levels take several
// attempts, and decoding their bitmaps again each time was most of their building time.
static void RemoveLevel(bool with_textures) {
    printf("Removing level...\n");
    fflush(stdout);
    if (with_textures) {
        RemoveTexture(level_side_texture);
        RemoveTexture(level_top_texture);
        RemoveTexture(level_bottom_texture);
    }
    // Each level has a sky of its own: kept in the texture cache, eleven skies would pile up in memory.
    for (video::ITexture*& texture : level_sky_textures) RemoveTexture(texture);
    tableworld_RemoveBatch();
    tableworld_Free();
    if (player) {
        delete player->object;
        delete player;
        player = nullptr;
    }
    if (smgr) smgr->clear();
    level_sky = nullptr;
    objective_node = nullptr;
    objective2_node = nullptr;
    camera = nullptr;
    printf("done.\n");
    fflush(stdout);
}

// A failed maze is rebuilt from scratch; settings that never give a playable maze (no cubes at all,
// say) end the game with a clear message instead of rebuilding for ever.
void level_Create(int level, gui::IGUIStaticText* status_text) {
    int attempt = 1;
    while (!BuildMaze(level, status_text)) {
        RemoveLevel(false);
        if (++attempt > LEVEL_MAX_ATTEMPTS)
            util_CriticalError("no playable level can be built with these settings "
                               "(the objective is never reachable from the player)");
    }
    ShowProgress(status_text, L"...... Loading world meshes and loading cubes (might be long)");
    bool glass = settings_GetFlag("is_glasses_world");
    bool fog = settings_GetFlag("is_fog_enable");
    tableworld_AddAllCubes(fog, glass);
    tableworld_CreateBatch();
    ShowProgress(status_text, L"....... Loading skybox textures, ceil and camera");
    AddSkyBox(level, fog);
    AddCeiling(fog);
    AddLightAndCamera();
    SetTimeLimit();
    // The building took time that no frame of play did: the frame rate is measured afresh from here.
    util_StartFrameWindow();
    smgr->setAmbientLight(video::SColorf(1, 1, 1, 1));
    printf("done.\n");
    fflush(stdout);
}

void level_Remove() {
    RemoveLevel(true);
}

bool level_ArePointsClose(const core::vector3df& a, const core::vector3df& b, float tolerance) {
    return a.X >= b.X - tolerance && a.X <= b.X + tolerance && a.Y >= b.Y - tolerance &&
           a.Y <= b.Y + tolerance && a.Z >= b.Z - tolerance && a.Z <= b.Z + tolerance;
}
