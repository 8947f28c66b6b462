// Sound effects: loading WAV files into OpenAL sources and starting them.
#include "sound/sound.h"

#include <cstdio>

#include <AL/al.h>
#include <AL/alut.h>

#include "app/util.h"

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
    // ALUT decodes the bytes read here, from memory: a file that cannot be read is silent, as is one ALUT
    // cannot decode.
    std::vector<unsigned char> bytes;
    ALuint buffer = util_ReadDataFile(file_name, bytes) && !bytes.empty()
                        ? alutCreateBufferFromFileImage(bytes.data(), static_cast<ALsizei>(bytes.size()))
                        : AL_NONE;
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
