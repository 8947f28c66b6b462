// korvanix_batch_picture: one seeded level drawn as the game draws it, frozen after a number of frames, for the
// test that compares the batched drawing with the node-by-node one (KORVANIX_DRAW_NODES=1).
// Usage: korvanix_batch_picture LEVEL SEED HEADING FRAMES SECONDS, run from the game folder. The heading
// "objective" looks straight at the objective, zoomed in, and "up" straight up; KORVANIX_PICTURE_WITHOUT_OBJECTIVE=1
// leaves the objective out of the picture. The heading "orbit" walks the camera around the objective instead and
// prints "pose ELEVATION DIRECTION DISTANCE inside|outside CHANNELS" for each place, what it changes in the frame.
// Prints "calls N", the draw calls of the frozen frame, "move D", the direction of the cube on its way (0: none),
// and "ready" once it is on screen, then keeps drawing it until SECONDS have passed.

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <GL/gl.h>

#include "app/game.h"
#include "app/receiver.h"
#include "app/util.h"
#include "bench/offscreen.h"
#include "level/level.h"
#include "player/player.h"
#include "settings/settings.h"
#include "world/tableworld.h"

using namespace irr;

// The heading and the pitch, in degrees, that turn the first-person view straight at the objective.
static void AimAtObjective(float* heading, double* pitch) {
    core::vector3df d = objective2_node->getPosition() - player->object->node->getPosition();
    *heading = (float)(atan2(d.Z, -d.X) * 180 / M_PI);
    *pitch = asin(-d.Y / d.getLength()) * 180 / M_PI;
}

// The camera walks round the objective, 0 to 60 units off in eight directions at three elevations, looking at it;
// each place prints the channels of the frame that the objective changes by more than a tenth.
static void Orbit() {
    static unsigned char frames[2][800 * 600 * 3];
    const core::vector3df centre = objective2_node->getPosition();
    for (int elevation = -40; elevation <= 40; elevation += 40)
        for (int direction = 0; direction < 360; direction += 45)
            for (int distance = 0; distance <= 60; distance += 2) {
                f32 e = elevation * core::DEGTORAD, a = direction * core::DEGTORAD;
                core::vector3df away(cosf(e) * cosf(a), sinf(e), cosf(e) * sinf(a)), eye = centre + away * (f32)distance;
                camera->setPosition(eye);
                camera->setTarget(eye - away);
                for (int with = 0; with < 2; with++) {
                    objective_node->setVisible(with);
                    objective2_node->setVisible(with);
                    util_DrawFrame(video::SColor(0, 0, 0, 0), true, with ? objective_node : nullptr);
                    glReadPixels(0, 0, 800, 600, GL_RGB, GL_UNSIGNED_BYTE, frames[with]);
                }
                long added = 0;
                for (size_t i = 0; i < sizeof frames[0]; i++) added += std::abs(frames[0][i] - frames[1][i]) > 25;
                bool inside = objective_node->getTransformedBoundingBox().isPointInside(eye);
                printf("pose %d %d %d %s %ld\n", elevation, direction, distance, inside ? "inside" : "outside", added);
            }
    printf("ready\n");
}

int main(int argc, char** argv) {
    if (argc != 6) {
        fprintf(stderr, "usage: korvanix_batch_picture LEVEL SEED HEADING FRAMES SECONDS\n");
        return 1;
    }
    int level_number = atoi(argv[1]);
    unsigned seed = (unsigned)atoi(argv[2]);
    bool aim = strcmp(argv[3], "objective") == 0;
    float heading = (float)atof(argv[3]);
    double pitch = strcmp(argv[3], "up") == 0 ? -90 : 0;
    const char* without = getenv("KORVANIX_PICTURE_WITHOUT_OBJECTIVE");
    bool with_objective = !(without && strcmp(without, "1") == 0);
    int frames = atoi(argv[4]);
    u32 seconds = (u32)atoi(argv[5]);
    offscreen_OpenDevice(video::EDT_NULL);
    settings_Allocate();
    settings_Load();
    settings_Set("is_autoconfigure", 1);
    device->drop();
    offscreen_OpenDevice(video::EDT_OPENGL);
    device->setWindowCaption(L"korvanix_batch_picture");
    srand(seed);
    level = level_number;
    level_Create(level_number, nullptr);
    // The frame rate scales every motion: fixed, the quake and the moving cube take the same steps both ways.
    player->cursor = nullptr;
    bool orbit = strcmp(argv[3], "orbit") == 0;
    if (aim) mouse_wheel = 8;
    // Zoomed in all the way, the view takes in least of a face held close.
    if (orbit) mouse_wheel = 1;
    for (int i = 0; i < frames; i++) {
        fps = 60;
        device->run();
        if (aim) AimAtObjective(&heading, &pitch);
        player->object->node->setRotation(core::vector3df(0, heading, 0));
        player->pitch = pitch;
        if (level_Update() < 0) break;
        util_DrawFrame(video::SColor(0, 0, 0, 0), true, objective_node);
    }
    if (orbit) {
        Orbit();
        seconds = 0;
    }
    if (!with_objective) {
        objective_node->setVisible(false);
        objective2_node->setVisible(false);
    }
    // The two objective cubes coincide, and the engine sorts transparent nodes at equal distances in no set
    // order: which of the two is blended last depends on how many other transparent nodes are drawn. The one drawn
    // on top is set a hundredth of a unit nearer, so that both ways of drawing order them alike.
    core::vector3df toward_camera = camera->getAbsolutePosition() - objective_node->getPosition();
    objective_node->setPosition(objective_node->getPosition() + toward_camera.normalize() * 0.01f);
    u32 start = timer->getRealTime();
    bool told = false;
    while (device->run() && timer->getRealTime() - start < seconds * 1000) {
        long calls_before = offscreen_draw_calls;
        util_DrawFrame(video::SColor(0, 0, 0, 0), true, with_objective ? objective_node : nullptr);
        if (!told) printf("calls %ld\nmove %d\nready\n", offscreen_draw_calls - calls_before, tableworld_move_direction);
        fflush(stdout);
        told = true;
        device->sleep(20);
    }
    level_Remove();
    device->drop();
    settings_Release();
    return 0;
}
