// The level's per-frame effects: the mouse-wheel zoom, the quake and the moving cube, then the player.
#include "level/level.h"

#include "app/receiver.h"
#include "app/util.h"
#include "player/player.h"
#include "settings/settings.h"
#include "world/tableworld.h"

// The wheel is clamped where it is kept, so notches beyond either end are not stored up for later.
static void level_Zoom() {
    if (mouse_wheel < 1) mouse_wheel = 1;
    if (mouse_wheel > 16) mouse_wheel = 16;
    if (camera) camera->setFOV((float)(5.3407076597213745 / (10 - 0.5 * mouse_wheel)));
}

int level_Update() {
    level_Zoom();
    const double scale = 30.0 / util_GetFPS();
    tableworld_Quake(settings_Get("quake_intensity") * scale);
    if (settings_GetFlag("moving_cubes")) tableworld_MoveCube(player, objective2_node, scale);
    tableworld_UpdateBatch();
    return player_Update();
}

bool level_IsCameraAgainst(irr::scene::ISceneNode* node) {
    if (!camera || !node) return false;
    irr::core::aabbox3df box = node->getTransformedBoundingBox();
    const float reach = tableworld_GetNearReach(camera);
    box.MinEdge -= irr::core::vector3df(reach, reach, reach);
    box.MaxEdge += irr::core::vector3df(reach, reach, reach);
    return box.isPointInside(camera->getAbsolutePosition());
}
