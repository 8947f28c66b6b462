// The event receiver: records held keys, held mouse buttons and wheel notches for the game to poll.
#include "app/receiver.h"

#include <cstdio>

using namespace irr;

bool key_down[255];
bool mouse_left_down = false;
bool mouse_right_down = false;
bool mouse_middle_down = false;
float mouse_wheel = 15.0f;

static void receiver_RecordKey(const SEvent::SKeyInput& input) {
    unsigned code = (unsigned)input.Key;
    if (code >= sizeof key_down / sizeof key_down[0]) return;
    key_down[code] = input.PressedDown;
    // X11 names the shift keys apart and never sends KEY_SHIFT, which is the one the jump reads.
    if (code == KEY_LSHIFT || code == KEY_RSHIFT) key_down[KEY_SHIFT] = key_down[KEY_LSHIFT] || key_down[KEY_RSHIFT];
}

static void receiver_RecordMouse(const SEvent::SMouseInput& input) {
    switch (input.Event) {
    case EMIE_LMOUSE_PRESSED_DOWN: mouse_left_down = true; break;
    case EMIE_RMOUSE_PRESSED_DOWN: mouse_right_down = true; break;
    case EMIE_MMOUSE_PRESSED_DOWN: mouse_middle_down = true; break;
    case EMIE_LMOUSE_LEFT_UP: mouse_left_down = false; break;
    case EMIE_RMOUSE_LEFT_UP: mouse_right_down = false; break;
    case EMIE_MMOUSE_LEFT_UP: mouse_middle_down = false; break;
    case EMIE_MOUSE_WHEEL: mouse_wheel += input.Wheel > 0 ? 1.0f : -1.0f; break;
    default: break;
    }
}

// Standard output holds the game's own progress lines; the engine's messages go to the error stream, each on
// its own line as the engine would print it.
static void receiver_WriteLog(const SEvent::SLogEvent& log) {
    if (!log.Text) return;
    fprintf(stderr, "%s\n", log.Text);
    fflush(stderr);
}

bool MyEventReceiver::OnEvent(const SEvent& event) {
    if (event.EventType == EET_LOG_TEXT_EVENT) {
        receiver_WriteLog(event.LogEvent);
        return true;  // the engine would print it on standard output too
    }
    if (event.EventType == EET_KEY_INPUT_EVENT) receiver_RecordKey(event.KeyInput);
    else if (event.EventType == EET_MOUSE_INPUT_EVENT) receiver_RecordMouse(event.MouseInput);
    // The engine's own GUI and scene handling still get every event.
    return false;
}

void receiver_Reset() {
    for (bool& key : key_down) key = false;
    mouse_left_down = false;
    mouse_right_down = false;
    mouse_middle_down = false;
    mouse_wheel = 15.0f;
}
