// Sound effects: loading WAV files into OpenAL sources and starting them.
#include "sound/sound.h"

#include <cstdio>

#include <AL/al.h>
#include <AL/alut.h>

std::vector<Sound*> sounds;
bool is_mute = false;

Sound* sound_Load(const char* file_name) {
    // Without an audio device no context exists and OpenAL leaves the names untouched: start them at 0
    // so the game goes on silent and the console line says so.
    ALuint source = 0;
    alGenSources(1, &source);
    // Nothing is placed in space: every effect sounds the same wherever the player stands.
    alListener3f(AL_POSITION, 0.0f, 0.0f, 0.0f);
    alSource3f(source, AL_POSITION, 0.0f, 0.0f, 0.0f);
    ALuint buffer = alutCreateBufferFromFile(file_name);
    alSourcei(source, AL_BUFFER, static_cast<ALint>(buffer));
    printf("Loaded sound: %s;%u;%u\n", file_name, static_cast<unsigned>(buffer), static_cast<unsigned>(source));
    fflush(stdout);
    return new Sound{buffer, source};
}

void sound_Play(int index) {
    if (is_mute) return;
    if (index < 0 || static_cast<size_t>(index) >= sounds.size()) return;
    alSourcePlay(sounds[static_cast<size_t>(index)]->source);
}
