// Sound: the three effects, loaded with ALUT and played by OpenAL; silent when there is no audio device.
#pragma once

#include <vector>

// One loaded effect: its buffer and the source that plays it.
struct Sound {
    unsigned int buffer;   // OpenAL buffer name, 0 when the file could not be loaded
    unsigned int source;   // OpenAL source name with the buffer attached
};

enum { SOUND_JUMP = 0, SOUND_WALK = 1, SOUND_ALARM = 2 };

extern std::vector<Sound*> sounds;  // loaded effects, in load order: jump, walk, alarm
extern bool is_mute;                // set by N, cleared by B: no sound starts while it is set

void sound_Init(int argc, char** argv);    // starts ALUT once the window exists; without a device all stays silent
Sound* sound_Load(const char* file_name);  // loads a WAV into a new source and prints "Loaded sound: ..."
void sound_Play(int index);                // starts the sound again from its beginning unless muted
