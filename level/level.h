// Levels: the per-level configuration, building and tearing down a level, and its per-frame effects.
#pragma once

#include <irrlicht.h>

struct Player;

// All that level_Create makes and level_Remove frees (with the cube table of the world).
extern irr::video::ITexture* level_side_texture;     // the cubes' side faces
extern irr::video::ITexture* level_top_texture;      // the cubes' top faces and the ceiling
extern irr::video::ITexture* level_bottom_texture;   // the cubes' bottom faces
extern irr::video::ITexture* level_sky_textures[6]; // the skybox faces: top, bottom, left, right, front, back
extern irr::scene::ISceneNode* level_sky;            // the skybox, which covers every pixel the cubes leave
extern Player* player;                               // the player of the level
extern irr::scene::ISceneNode* objective_node;       // the objective drawn on top of everything
extern irr::scene::ISceneNode* objective2_node;      // the objective whose position counts
extern irr::scene::ICameraSceneNode* camera;         // the active camera, placed by player_Update

const int LEVEL_MAX_ATTEMPTS = 1000;                 // maze rebuilds before the settings are declared unplayable

void level_AutoConfigure(int level);                 // the level's settings from its number and the difficulty
void level_Create(int level, irr::gui::IGUIStaticText* status_text);  // builds the level, with progress lines
void level_Remove();                                 // frees the level and clears the scene
void level_AddObjective(irr::core::vector3df position, bool fog);  // both objective cubes, at one place
bool level_ArePointsClose(const irr::core::vector3df& a, const irr::core::vector3df& b, float tolerance);
bool level_IsCameraAgainst(irr::scene::ISceneNode* node);  // the eye within the near plane's reach of the node's
                                                     // box, or in it: the faces turned to it may be cut away
int level_Update();                                  // zoom, quake, moving cube, then player_Update's result
