// The game: start-up, the level loop, one frame of play and the message screens.
#pragma once

#include <irrlicht.h>

extern int lives;                  // 3 at start; -1 for a fall, a time-out or Tab; +1 per completed level
extern int level;                  // 1 to 11; more than 11 means the game is finished
extern bool tab_latch;             // makes Tab act once per press

const int LAST_LEVEL = 11;
extern const wchar_t* const GAME_TITLE;  // "Korvanix 2.0.0, a game by Ostravel"

// The outcome of one frame of play.
enum FrameOutcome { FRAME_GOES_ON, FRAME_FELL, FRAME_TIMED_OUT, FRAME_OBJECTIVE, FRAME_ABANDONED };

int game_Main(int argc, char** argv);                        // start-up, then the level loop; the exit status
bool util_WaitForReturn(bool pad_a_returns = false);          // true: Return or B (A if asked); false: Escape or Start
[[noreturn]] void game_RunLevelLoop(irr::gui::IGUIStaticText* status_text, bool is_french);
FrameOutcome game_PlayFrame(irr::gui::IGUIStaticText* status_text, bool is_french);  // one frame, outcome applied
FrameOutcome game_JudgeFrame(int result, int time_left);      // outcome of level_Update's result and the time left
irr::core::stringw game_GetMessage(int screen, bool is_french);  // the message screens' texts (enum below)
enum { MESSAGE_TITLE, MESSAGE_LOST_ALL, MESSAGE_PAUSE, MESSAGE_FINISHED };
