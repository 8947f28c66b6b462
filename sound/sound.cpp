// Sound effects: loading WAV files into OpenAL sources and starting them.
#include "sound/sound.h"

#include <cstdint>
#include <cstdio>

#include <AL/al.h>
#include <AL/alut.h>

#include "app/util.h"

std::vector<Sound*> sounds;
bool is_mute = false;

namespace {

uint32_t ReadLittle32(const unsigned char* p) {
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}
uint32_t ReadBig32(const unsigned char* p) {
    return (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | (uint32_t)p[3];
}
void WriteLittle32(unsigned char* p, uint32_t value) {
    for (int i = 0; i < 4; i++) p[i] = (unsigned char)(value >> (8 * i));
}
void WriteBig32(unsigned char* p, uint32_t value) {
    for (int i = 0; i < 4; i++) p[i] = (unsigned char)(value >> (8 * (3 - i)));
}

// What a data part may really hold: no more than the bytes behind it, in whole sample frames, so that a copy
// cut short still plays what it has.
uint32_t FitToBytes(uint64_t declared, uint64_t available, uint64_t frame) {
    if (declared <= available) return (uint32_t)declared;
    return (uint32_t)(available - available % (frame ? frame : 1));
}

// ALUT's WAV reader trusts every length it meets: it reads each chunk header, skips each chunk whole and copies
// as many samples as the data chunk says. Walked as it walks them, every chunk before the samples must lie inside
// the bytes; a data chunk that runs past the end is cut to what is there.
bool FitWave(std::vector<unsigned char>& bytes) {
    const size_t size = bytes.size();
    if (size < 12 || ReadBig32(&bytes[8]) != 0x57415645u) return false;  // "WAVE"
    uint64_t frame = 0;
    for (size_t at = 12; at + 8 <= size;) {
        uint32_t id = ReadBig32(&bytes[at]);
        uint64_t length = ReadLittle32(&bytes[at + 4]), body = at + 8;
        if (id == 0x64617461u) {  // "data", which ALUT takes only after "fmt "
            if (frame == 0) return false;
            WriteLittle32(&bytes[at + 4], FitToBytes(length, size - body, frame));
            return true;
        }
        if (length > size - body) return false;
        if (id == 0x666d7420u) {  // "fmt ": the sample frame's size is its block alignment
            if (length < 16) return false;
            frame = bytes[body + 12] | bytes[body + 13] << 8;
            if (frame == 0) frame = 1;
        }
        at = body + length;
        if (length % 2 == 1 && at < size) at++;  // the pad byte, which ALUT skips unless the bytes end there
    }
    return false;
}

// An AU header is six big-endian words; ALUT reads them all, skips to the samples' offset and copies as many
// as the size word says (all the rest when it is -1).
bool FitAu(std::vector<unsigned char>& bytes) {
    const size_t header = 24, size = bytes.size();
    if (size < header) return false;
    uint64_t offset = ReadBig32(&bytes[4]), declared = ReadBig32(&bytes[8]);
    uint64_t sample = ReadBig32(&bytes[12]) == 3 ? 2 : 1, channels = ReadBig32(&bytes[20]);  // 3: 16-bit PCM
    if (offset < header || offset > size) return false;
    if (declared == 0xFFFFFFFFu) declared = UINT64_MAX;
    WriteBig32(&bytes[8], FitToBytes(declared, size - offset, sample * channels));
    return true;
}

// Whether ALUT can read the sound within its bytes, after cutting a data part too long for them.
bool FitSound(std::vector<unsigned char>& bytes) {
    if (bytes.size() < 4) return false;
    uint32_t magic = ReadBig32(bytes.data());
    if (magic == 0x52494646u) return FitWave(bytes);  // "RIFF"
    if (magic == 0x2E736E64u) return FitAu(bytes);    // ".snd"
    return false;
}

}  // namespace

Sound* sound_Load(const char* file_name) {
    // Without an audio device no context exists and OpenAL leaves the names untouched: start them at 0
    // so the game goes on silent and the console line says so.
    ALuint source = 0;
    alGenSources(1, &source);
    // Nothing is placed in space: every effect sounds the same wherever the player stands.
    alListener3f(AL_POSITION, 0.0f, 0.0f, 0.0f);
    alSource3f(source, AL_POSITION, 0.0f, 0.0f, 0.0f);
    // ALUT decodes the bytes read and checked here, from memory: a file that cannot be read is silent, as is one
    // whose header leads outside its bytes or one ALUT cannot decode.
    std::vector<unsigned char> bytes;
    ALuint buffer = util_ReadDataFile(file_name, bytes) && FitSound(bytes)
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
