// The event receiver: records which keys, mouse buttons and pad controls are held and counts wheel notches.
#pragma once

#include <irrlicht.h>

extern bool key_down[255];         // true while the key of that engine key code is held
extern bool mouse_left_down;       // left button held
extern bool mouse_right_down;      // right button held
extern bool mouse_middle_down;     // middle button held
extern float mouse_wheel;          // +1 per notch up, -1 per other wheel event; 15 at start-up

// Only records input, which every other part of the game polls once per frame; the engine's log lines it
// writes to standard error.
class MyEventReceiver : public irr::IEventReceiver {
public:
    bool OnEvent(const irr::SEvent& event) override;  // records the event; true only for a log line, which it took
};

void receiver_ReleaseAll();        // all keys, buttons and pads up, the wheel as it is (the window lost the focus)
void receiver_Reset();             // all keys, buttons and pads up and the wheel back at 15 (tests and start-up)

// Buttons and axes of the common layout of pads under Linux's joystick interface.
enum { PAD_BUTTON_A = 0, PAD_BUTTON_B = 1, PAD_BUTTON_BACK = 6, PAD_BUTTON_START = 7 };
enum { PAD_AXIS_SIDEWAYS = 0, PAD_AXIS_WALK = 1, PAD_AXIS_TURN = 3, PAD_AXIS_LOOK = 4 };
const double PAD_DEAD_ZONE = 0.2;  // share of a stick's travel that counts as rest

bool receiver_IsPadButtonDown(int button);  // held on any pad
double receiver_GetPadAxis(int axis);       // -1 to 1, the pad pushed furthest; 0 within the dead zone
void receiver_ReleasePad();                 // every pad at rest until its next event
