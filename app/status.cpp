// The frame-rate measure, the time left before the level's deadline and the status line.
#include "app/util.h"

#include <cmath>
#include <cstdio>

#include "sound/sound.h"

using namespace irr;

int fps = 100;
int frame_count = 0;
double fps_last_time = 0.0;
double fps_last_frame_time = 0.0;
bool fps_skipped_stop = false;
u32 level_deadline = 0;
bool is_time_unlimited = false;

// A frame that comes far later than the measured rate says comes after a stop: the process stopped and resumed,
// the machine suspended, the display stalled. Measured, it would make every frame of the next window turn, walk
// and fall as if it had lasted that long. A second such frame in a row is a machine that became slower.
static bool util_IsAfterStop(double since_last_frame) {
    if (fps_skipped_stop) return false;
    return since_last_frame > 200.0 && since_last_frame > 4 * 1000.0 / util_GetFPS();
}

// The frames of a window of at least 100 ms over the window's real length: a window stretched by slow frames
// reads as slow as it was. A frame after a stop counts as one ordinary frame of the rate measured before it.
void util_CountFrame() {
    double now = timer->getTime();
    // A timer that went back (it wraps after 49 days) would otherwise never close the window again.
    if (now < fps_last_time) util_StartFrameWindow();
    fps_skipped_stop = util_IsAfterStop(now - fps_last_frame_time);
    if (fps_skipped_stop) {
        util_StartFrameWindow();
        return;
    }
    fps_last_frame_time = now;
    frame_count += 1;
    if (now >= fps_last_time + 100.0) {
        fps = (int)std::lround(frame_count * 1000.0 / (now - fps_last_time));
        fps_last_time = now;
        frame_count = 0;
    }
}

void util_StartFrameWindow() {
    fps_last_time = timer->getTime();
    fps_last_frame_time = fps_last_time;
    frame_count = 0;
}

int util_GetFPS() {
    return fps == 0 ? 1 : fps;
}

int util_GetTimeLeft() {
    if (is_time_unlimited) return TIME_UNLIMITED;
    // Past the deadline the unsigned difference wraps round and reads back as a negative time.
    return static_cast<int>(level_deadline - timer->getTime());
}

// Plain decimal through the C library: the engine's own conversion negates the number and so
// cannot print the most negative one.
static void util_AppendNumber(core::stringw& line, int number) {
    char digits[16];
    snprintf(digits, sizeof digits, "%d", number);
    line += core::stringw(digits);
}

core::stringw util_BuildStatusLine(bool is_french, int lives, int level, int frame_rate, int distance,
                                   int time_left) {
    core::stringw line(is_french ? L"vie=" : L"life=");
    util_AppendNumber(line, lives);
    line += is_french ? L", niveau=" : L", level=";
    util_AppendNumber(line, level);
    line += L", FPS=";
    util_AppendNumber(line, frame_rate);
    line += L", distance=";
    util_AppendNumber(line, distance);
    if (time_left != TIME_UNLIMITED) {
        line += is_french ? L", temps=" : L", time=";
        util_AppendNumber(line, time_left / 1000);
        if (time_left < 5000) line += L" !!!";
    }
    return line;
}

void util_ShowStatusLine(gui::IGUIStaticText* status_text, bool is_french, int lives, int level, int distance) {
    // One reading of the clock per frame, so the text and the alarm always agree.
    int time_left = util_GetTimeLeft();
    core::stringw line = util_BuildStatusLine(is_french, lives, level, util_GetFPS(), distance, time_left);
    if (status_text) status_text->setText(line.c_str());
    if (time_left != TIME_UNLIMITED && time_left < 5000) sound_Play(SOUND_ALARM);
}
