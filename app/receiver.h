// The event receiver: records which keys and mouse buttons are held and counts wheel notches.
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

void receiver_Reset();             // all keys and buttons up (tests and start-up)
