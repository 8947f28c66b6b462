// A device for the benchmarks and the picture test, and a count of every call that draws.
#include "bench/offscreen.h"

#include <GL/gl.h>
#include <dlfcn.h>

#include "app/util.h"

using namespace irr;

long offscreen_draw_calls = 0;

// Counted on their way to the GL library: the engine draws through these two and no other. The program
// exports them, so they come before the library's own.
extern "C" {
void glDrawElements(GLenum mode, GLsizei count, GLenum type, const void* indices) {
    typedef void (*Draw)(GLenum, GLsizei, GLenum, const void*);
    static Draw real = reinterpret_cast<Draw>(dlsym(RTLD_NEXT, "glDrawElements"));
    offscreen_draw_calls++;
    if (real) real(mode, count, type, indices);
}

void glDrawArrays(GLenum mode, GLint first, GLsizei count) {
    typedef void (*Draw)(GLenum, GLint, GLsizei);
    static Draw real = reinterpret_cast<Draw>(dlsym(RTLD_NEXT, "glDrawArrays"));
    offscreen_draw_calls++;
    if (real) real(mode, first, count);
}
}

void offscreen_OpenDevice(video::E_DRIVER_TYPE type) {
    SIrrlichtCreationParameters parameters;
    parameters.DriverType = type;
    parameters.WindowSize = core::dimension2d<u32>(800, 600);
    parameters.Bits = 32;
    parameters.Stencilbuffer = false;
    parameters.Vsync = false;
    parameters.LoggingLevel = ELL_ERROR;
    device = createDeviceEx(parameters);
    if (!device) util_CriticalError("Could not create the device.");
    driver = device->getVideoDriver();
    smgr = device->getSceneManager();
    guienv = device->getGUIEnvironment();
    timer = device->getTimer();
    if (!driver || !smgr || !guienv || !timer) util_CriticalError("The device is incomplete.");
    window_width = 800;
    window_height = 600;
    fps_last_time = timer->getTime();
}
