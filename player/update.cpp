// The player's per-frame step: turning, walking, looking, jumping, the camera and the end of a level.
#include "player/player.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <vector>

#include "app/receiver.h"
#include "app/util.h"
#include "level/level.h"
#include "sound/sound.h"
#include "world/tableworld.h"

using namespace irr;

typedef void (*player_Move)(Object* object, double distance);

// How far a turn or look goes this frame, as a share of the keys' rate: a held key gives the whole rate, a pad
// stick its deflection, and both together no more than either alone.
static double player_GetShare(bool key_held, double deflection) {
    return key_held ? 1.0 : std::max(deflection, 0.0);
}

static void player_Turn(double r) {
    const double stick = receiver_GetPadAxis(PAD_AXIS_TURN);
    const double left = player_GetShare(key_down[KEY_LEFT] || key_down[KEY_KEY_K], -stick);
    const double right = player_GetShare(key_down[KEY_RIGHT] || key_down[KEY_KEY_M], stick);
    if (left > 0) object_Turn(player->object, -player->keys_rotation_speed * r * left);
    if (right > 0) object_Turn(player->object, player->keys_rotation_speed * r * right);
}

// A slow frame's motion is taken in parts no longer than this, each tested with the probes: a motion tested
// only where it ends could carry the figure through a cube, but a probe that moves less than a cell cannot
// cross one. At 30 frames a second and more, a walk and any fall within a block 20 cells high stay one part,
// so the motion there is what it always was.
const double PLAYER_LONGEST_STEP = 19.5;

// Moves the figure by distance in equal parts; a part that would end inside a cube is taken back and ends the
// move, so the figure never stands in one. True when the whole distance was covered; moved tells whether
// the figure moved at all.
static bool player_MoveInParts(player_Move move, double distance, bool* moved) {
    // However slow the frame, a fall stays far below a million parts; the bound only keeps the count an int.
    const double count = std::ceil(std::fabs(distance) / PLAYER_LONGEST_STEP);
    const int parts = count > 1 ? (int)std::min(count, 1.0e6) : 1;
    const double part = distance / parts;
    *moved = false;
    for (int i = 0; i < parts; i++) {
        move(player->object, part);
        if (object_Collides(player->object)) {
            move(player->object, -part);
            return false;
        }
        *moved = true;
    }
    return true;
}

// A key whose step moves the figure restarts the walk sound once, however many parts the step took.
static void player_Step(bool held, player_Move move, double distance) {
    if (!held) return;
    bool moved = false;
    player_MoveInParts(move, distance, &moved);
    if (moved) sound_Play(SOUND_WALK);
}

// The left stick walks like the keys, at their one speed, once it leaves the dead zone; a stick pushed up
// reads negative.
static void player_Walk(double r) {
    const double walk = receiver_GetPadAxis(PAD_AXIS_WALK), sideways = receiver_GetPadAxis(PAD_AXIS_SIDEWAYS);
    player_Step(key_down[KEY_UP] || key_down[KEY_KEY_R] || mouse_left_down || walk < 0, object_MoveForward, 2 * r);
    player_Step(key_down[KEY_DOWN] || key_down[KEY_KEY_F] || mouse_middle_down || walk > 0, object_MoveForward,
                -2 * r);
    player_Step(key_down[KEY_KEY_D] || sideways < 0, object_MoveSideways, -4 * r / 3);
    player_Step(key_down[KEY_KEY_G] || sideways > 0, object_MoveSideways, 4 * r / 3);
}

static void player_Pitch(double r) {
    const double stick = receiver_GetPadAxis(PAD_AXIS_LOOK);
    const double up = player_GetShare(key_down[KEY_KEY_O] || key_down[KEY_PRIOR], -stick);
    const double down = player_GetShare(key_down[KEY_KEY_L] || key_down[KEY_NEXT], stick);
    if (up > 0) player->pitch -= player->keys_rotation_speed * r * up;
    if (down > 0) player->pitch += player->keys_rotation_speed * r * down;
}

// The amounts use the whole width and height on purpose: leaving the dead zone gives an almost fixed turn
// per frame, which is how the mouse has always felt in this game.
static void player_MouseLook(int f) {
    gui::ICursorControl* cursor = player->cursor;
    if (!cursor) return;
    const core::position2d<s32> mouse = cursor->getPosition();
    const double w = player->screen_width, h = player->screen_height, m = player->mouse_rotation_speed;
    if (w * 0.5 - 5 > mouse.X) object_Turn(player->object, (w - mouse.X - 5) * (m * 1.5) / f / -5);
    if (w * 0.5 + 5 < mouse.X) object_Turn(player->object, (mouse.X - w - 5) * (m * 1.5) / f / -5);
    if (h * 0.5 - 5 > mouse.Y) player->pitch -= (h - mouse.Y - 5) * m / f / 5;
    if (h * 0.5 + 5 < mouse.Y) player->pitch -= (mouse.Y - h - 5) * m / f / 5;
    cursor->setPosition((int)w / 2, (int)h / 2);
}

// Only a blocked fall lands the figure: bumping the head on the way up stops the rise but grants no jump.
static void player_Fall(int f) {
    player->vertical_speed -= 400.0 / f;
    bool moved = false;
    if (player_MoveInParts(object_MoveUp, player->vertical_speed / f, &moved)) return;
    if (player->vertical_speed <= 0) player->is_airborne = false;
    player->vertical_speed = 0;
}

// Set once the pad's A has started a jump, until A is let go: a pad jumps once per press.
static bool player_pad_jump_spent = false;

static void player_Jump() {
    const bool pad = receiver_IsPadButtonDown(PAD_BUTTON_A);
    if (!pad) player_pad_jump_spent = false;
    const bool keys = key_down[KEY_SHIFT] || key_down[KEY_SPACE] || mouse_right_down;
    if (!(keys || (pad && !player_pad_jump_spent)) || player->is_airborne) return;
    sound_Play(SOUND_JUMP);
    player->is_airborne = true;
    player->vertical_speed = 200;
    player_pad_jump_spent = pad;
}

// First person looks from the figure with the pitch; the other view looks straight down from 50 units
// above, turned so that the figure's forward points up the screen.
static void player_PlaceCamera() {
    if (!camera) return;
    const core::vector3df p = player->object->node->getPosition();
    const float heading = player->object->node->getRotation().Y;
    const bool first_person = player->is_subjective;
    const core::vector3df eye = first_person ? p : p + core::vector3df(0, 50, 0);
    camera->setPosition(eye);
    core::matrix4 rotation;
    rotation.setRotationDegrees(core::vector3df(first_person ? (f32)player->pitch : 90.0f, heading - 90.0f, 0));
    core::vector3df target(0, 0, first_person ? 100.0f : 50.0f);
    rotation.transformVect(target);
    core::vector3df up(0, 1, 0);
    rotation.transformVect(up);
    camera->setUpVector(up);
    camera->setTarget(eye + target);
}

static void player_DistanceKeys() {
    if (key_down[KEY_F3]) player->is_distance_3d = true;
    if (key_down[KEY_F2]) player->is_distance_3d = false;
}

// The objective is reached by cell, not by distance: a figure just below zero still counts as in cell 0.
static bool player_IsInSameCell(const core::vector3df& a, const core::vector3df& b) {
    return tableworld_ToCell(a.X) == tableworld_ToCell(b.X) && tableworld_ToCell(a.Y) == tableworld_ToCell(b.Y) &&
           tableworld_ToCell(a.Z) == tableworld_ToCell(b.Z);
}

static int player_HorizontalDistance(const core::vector3df& a, const core::vector3df& b) {
    const double dx = (double)a.X - (double)b.X;
    const double dz = (double)a.Z - (double)b.Z;
    const double distance = std::sqrt(dx * dx + dz * dz);
    if (!(distance < 2147483647.0)) return INT_MAX;
    return (int)distance;
}

int player_Update() {
    if (!player || !player->object || !player->object->node || !objective2_node)
        util_CriticalError("player_Update : no player or objective");
    const int f = util_GetFPS();
    const double r = 30.0 / f;
    player_Turn(r);
    player_Walk(r);
    player_Pitch(r);
    player_MouseLook(f);
    player_Fall(f);
    player_Jump();
    player_PlaceCamera();
    player_DistanceKeys();

    const core::vector3df p = player->object->node->getPosition();
    const core::vector3df o = objective2_node->getPosition();
    if (player_IsInSameCell(p, o)) {
        player_FadeScreen(video::SColor(0x00FFFFFF));
        return -2;
    }
    if (p.Y < -50) {
        player_FadeScreen(video::SColor(0));
        return -1;
    }
    if (player->is_distance_3d) return player_DistanceTo(player, objective2_node);
    return player_HorizontalDistance(p, o);
}

void player_FadeScreen(video::SColor colour) {
    if (!guienv) return;
    // Every end of a level adds a fader: the ones that are over go first, so a long session stays small.
    player_RemoveFinishedFaders();
    gui::IGUIInOutFader* fader = guienv->addInOutFader(nullptr, nullptr, -1);
    if (!fader) return;
    fader->setColor(colour);
    fader->fadeIn(1000);
    // Drawn before the text strip and the text, the fade covers the scene and leaves the text line readable,
    // the finished game's message over the white fade included.
    if (gui::IGUIElement* root = guienv->getRootGUIElement()) root->sendToBack(fader);
}

void player_RemoveFinishedFaders() {
    if (!guienv) return;
    gui::IGUIElement* root = guienv->getRootGUIElement();
    if (!root) return;
    // Collected first: removing a child while walking the list would break the walk.
    std::vector<gui::IGUIElement*> finished;
    for (gui::IGUIElement* child : root->getChildren())
        if (child->getType() == gui::EGUIET_IN_OUT_FADER && static_cast<gui::IGUIInOutFader*>(child)->isReady())
            finished.push_back(child);
    for (gui::IGUIElement* fader : finished) fader->remove();
}
