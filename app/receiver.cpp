// The event receiver: records held keys, mouse buttons and pad controls, and wheel notches, for the game to poll.
#include "app/receiver.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

using namespace irr;

bool key_down[255];
bool mouse_left_down = false;
bool mouse_right_down = false;
bool mouse_middle_down = false;
float mouse_wheel = 15.0f;

// The engine numbers the pads it opened from 0 and reads at most 32 joystick devices.
static const int RECEIVER_MAX_PADS = 32;
static SEvent::SJoystickEvent receiver_pads[RECEIVER_MAX_PADS];

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

// The engine sends every pad's whole state at each run: the focus rule that lets keys go (util_RunDevice) lets
// the pads go after the same run.
static void receiver_RecordPad(const SEvent::SJoystickEvent& pad) {
    if (pad.Joystick < RECEIVER_MAX_PADS) receiver_pads[pad.Joystick] = pad;
}

bool MyEventReceiver::OnEvent(const SEvent& event) {
    if (event.EventType == EET_LOG_TEXT_EVENT) {
        receiver_WriteLog(event.LogEvent);
        return true;  // the engine would print it on standard output too
    }
    if (event.EventType == EET_KEY_INPUT_EVENT) receiver_RecordKey(event.KeyInput);
    else if (event.EventType == EET_MOUSE_INPUT_EVENT) receiver_RecordMouse(event.MouseInput);
    else if (event.EventType == EET_JOYSTICK_INPUT_EVENT) receiver_RecordPad(event.JoystickEvent);
    // The engine's own GUI and scene handling still get every event.
    return false;
}

// A release made while another window has the focus is sent to that window: without this the game would see the
// key held for ever. Notches already turned stay counted.
void receiver_ReleaseAll() {
    for (bool& key : key_down) key = false;
    mouse_left_down = false;
    mouse_right_down = false;
    mouse_middle_down = false;
    receiver_ReleasePad();
}

void receiver_Reset() {
    receiver_ReleaseAll();
    mouse_wheel = 15.0f;
}

bool receiver_IsPadButtonDown(int button) {
    if (button < 0 || button >= SEvent::SJoystickEvent::NUMBER_OF_BUTTONS) return false;
    for (const SEvent::SJoystickEvent& pad : receiver_pads)
        if (pad.IsButtonPressed((u32)button)) return true;
    return false;
}

// A pad reports -32768 to 32767; the lowest value is a hair beyond full travel and counts as full travel.
static double receiver_GetDeflection(s16 value) {
    const double deflection = std::max(-1.0, value / 32767.0);
    return std::fabs(deflection) > PAD_DEAD_ZONE ? deflection : 0.0;
}

double receiver_GetPadAxis(int axis) {
    if (axis < 0 || axis >= SEvent::SJoystickEvent::NUMBER_OF_AXES) return 0.0;
    double furthest = 0.0;
    for (const SEvent::SJoystickEvent& pad : receiver_pads) {
        const double deflection = receiver_GetDeflection(pad.Axis[axis]);
        if (std::fabs(deflection) > std::fabs(furthest)) furthest = deflection;
    }
    return furthest;
}

void receiver_ReleasePad() {
    memset(receiver_pads, 0, sizeof receiver_pads);
}
