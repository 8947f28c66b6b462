// Game objects with their movement and collision probes, and the player record that wraps the figure.
#include "player/player.h"

#include <climits>
#include <cmath>
#include <cstdio>

#include "app/util.h"
#include "settings/settings.h"
#include "world/tableworld.h"

using namespace irr;

static const double PI = 3.141592653589793;

Object* object_Create(Object* object, const char* mesh_file, double half_extent_xz, double half_extent_y,
                      bool visible) {
    object->half_extent_xz = half_extent_xz;
    object->half_extent_y = half_extent_y;
    if (!mesh_file) util_CriticalError("Object don't has any mesh");
    object->mesh = util_LoadMesh(mesh_file);
    object->node = smgr->addMeshSceneNode(object->mesh->getMesh(0, 255, -1, -1), nullptr, -1,
                                          core::vector3df(0, 0, 0), core::vector3df(0, 0, 0),
                                          core::vector3df(1, 1, 1));
    if (!object->node) util_CriticalError("Can't create the object's scene node");
    object->node->setMaterialFlag(video::EMF_LIGHTING, false);
    object->node->setScale(core::vector3df(0.1f, 0.1f, 0.1f));
    object->node->setPosition(tableworld_GetRandomPosition());
    object->node->setVisible(visible);
    return object;
}

// Moves along the direction (-cos h, 0, sin h) of the given heading in degrees.
static void object_MoveAlong(Object* object, double heading_degrees, double distance) {
    double heading = heading_degrees * PI / 180;
    core::vector3df position = object->node->getPosition();
    position.X = static_cast<float>(position.X - std::cos(heading) * distance);
    position.Z = static_cast<float>(position.Z + std::sin(heading) * distance);
    object->node->setPosition(position);
}

void object_MoveForward(Object* object, double distance) {
    object_MoveAlong(object, object->node->getRotation().Y, distance);
}

void object_MoveSideways(Object* object, double distance) {
    object_MoveAlong(object, object->node->getRotation().Y + 90.0, distance);
}

void object_MoveUp(Object* object, double distance) {
    core::vector3df position = object->node->getPosition();
    position.Y = static_cast<float>(position.Y + distance);
    object->node->setPosition(position);
}

void object_Turn(Object* object, double degrees) {
    core::vector3df rotation = object->node->getRotation();
    rotation.Y = static_cast<float>(rotation.Y + degrees);
    object->node->setRotation(rotation);
}

static bool object_IsSolid(double x, double y, double z) {
    return tableworld_GetCellAt(static_cast<float>(x), static_cast<float>(y), static_cast<float>(z)) != 0;
}

// Probes only along the axes: a cube's corner can be entered diagonally, which the game has always allowed.
bool object_Collides(const Object* object) {
    const core::vector3df position = object->node->getPosition();
    const float x = position.X, y = position.Y, z = position.Z;
    const double e = object->half_extent_xz, v = object->half_extent_y;
    return object_IsSolid(x, y, z) || object_IsSolid(x + e, y, z) || object_IsSolid(x - e, y, z) ||
           object_IsSolid(x, y + v, z) || object_IsSolid(x, y - v, z) || object_IsSolid(x, y, z + e) ||
           object_IsSolid(x, y, z - e);
}

// A turn by a NaN or an infinity makes the heading NaN, and the figure then walks to where every cell reads as free.
static double player_GetTurnSpeed(const char* key) {
    double speed = settings_Get(key);
    if (std::isfinite(speed)) return speed;
    fprintf(stderr, "%s :", key);
    util_CriticalError("must be a finite number");
}

Player* player_Create(Player* player, const char* mesh_file) {
    player->vertical_speed = 0;
    player->is_airborne = true;
    player->is_distance_3d = true;
    player->pitch = 20;
    player->is_subjective = settings_Get("is_subjective") != 0;
    player->mouse_rotation_speed = player_GetTurnSpeed("mouse_rotation_speed");
    player->keys_rotation_speed = player_GetTurnSpeed("keys_rotation_speed");
    // In first-person view the figure would fill the camera: only the top-down view shows it.
    player->object = object_Create(new Object(), mesh_file, 3, 6, !player->is_subjective);
    player->cursor = device ? device->getCursorControl() : nullptr;
    player->screen_width = window_width;
    player->screen_height = window_height;
    return player;
}

int player_DistanceTo(const Player* player, scene::ISceneNode* node) {
    const core::vector3df a = player->object->node->getPosition();
    const core::vector3df b = node->getPosition();
    const float dx = a.X - b.X;
    const float dy = a.Y - b.Y;
    const float dz = a.Z - b.Z;
    const float distance = std::sqrt(dx * dx + dy * dy + dz * dz);
    // A figure falling without end must not overflow the conversion.
    if (!(distance < 2147483647.0f)) return INT_MAX;
    return static_cast<int>(distance);
}

float util_GetDistance(float x1, float y1, float z1, float x2, float y2, float z2) {
    const float dx = x1 - x2;
    const float dy = y1 - y2;
    const float dz = z1 - z2;
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}
