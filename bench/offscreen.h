// What the benchmarks and the picture test share: a device of their own and the count of the GL draw calls.
#pragma once

#include <irrlicht.h>

extern long offscreen_draw_calls;                      // draw calls that reached the GL library so far

void offscreen_OpenDevice(irr::video::E_DRIVER_TYPE type);  // 800x600, 32 bits, no vsync; fills the engine globals
