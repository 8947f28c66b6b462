// The player: game objects with collision probes, the player record and its per-frame update.
#pragma once

#include <irrlicht.h>

// A figure shown by a mesh node, with the half-extents of its collision probes.
struct Object {
    irr::scene::IAnimatedMesh* mesh;     // from the scene manager's mesh cache
    irr::scene::IMeshSceneNode* node;    // frame 0 of the mesh; owned by the scene manager
    double half_extent_xz;               // probe distance along X and Z
    double half_extent_y;                // probe distance along Y
};

// The player of a level: its figure, view, vertical motion and look.
struct Player {
    Object* object;                      // the figure, owned
    bool is_subjective;                  // first-person view; off: from straight above
    double vertical_speed;               // units per second, up positive
    bool is_airborne;                    // in the air: no jump can start
    irr::gui::ICursorControl* cursor;    // for mouse look
    double pitch;                        // degrees, positive looks down
    double screen_width;                 // window width in pixels
    double screen_height;                // window height in pixels
    double mouse_rotation_speed;         // mouse look factor
    double keys_rotation_speed;          // degrees per frame at 30 fps for the turn and pitch keys
    bool is_distance_3d;                 // the distance shown is 3D; off: horizontal
};

Object* object_Create(Object* object, const char* mesh_file, double half_extent_xz,
                      double half_extent_y, bool visible);   // loads the mesh, places it on a standing position
void object_MoveForward(Object* object, double distance);  // along the heading: (-cos h, 0, sin h)
void object_MoveSideways(Object* object, double distance); // along the heading + 90 degrees
void object_MoveUp(Object* object, double distance);       // along Y
void object_Turn(Object* object, double degrees);          // adds to the heading, no wrap-around
bool object_Collides(const Object* object);                 // one of the seven probes lies in a solid cell

Player* player_Create(Player* player, const char* mesh_file);       // fills the record from the settings
int player_DistanceTo(const Player* player, irr::scene::ISceneNode* node);  // single precision, truncated
float util_GetDistance(float x1, float y1, float z1, float x2, float y2, float z2);  // single precision
int player_Update();                                        // -2 objective, -1 fallen, else the distance
void player_FadeScreen(irr::video::SColor colour);          // fades the window in from the colour over 1000 ms
void player_RemoveFinishedFaders();                         // drops the faders whose fade is over
