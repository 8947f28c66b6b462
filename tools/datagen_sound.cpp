// The sound effects: synthesised 16-bit mono PCM written as WAV files.
#include "datagen.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>

namespace {

const int RATE = 22050;
const double PI = 3.14159265358979;

void put16(std::ofstream& out, uint16_t v) {
    char b[2] = {char(v & 0xFF), char(v >> 8)};
    out.write(b, 2);
}

void put32(std::ofstream& out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

void writeWav(const std::string& file_name, const std::vector<double>& samples) {
    std::ofstream out(file_name, std::ios::binary);
    const uint32_t data_size = samples.size() * 2;
    out.write("RIFF", 4);
    put32(out, 36 + data_size);
    out.write("WAVEfmt ", 8);
    put32(out, 16);
    put16(out, 1);
    put16(out, 1);
    put32(out, RATE);
    put32(out, RATE * 2);
    put16(out, 2);
    put16(out, 16);
    out.write("data", 4);
    put32(out, data_size);
    for (double s : samples) {
        double clamped = std::max(-1.0, std::min(1.0, s));
        put16(out, uint16_t(int16_t(std::lround(clamped * 32767))));
    }
    if (!out) datagen_Fail("cannot write " + file_name);
}

// A rising sweep from 220 to 880 Hz with a hint of square wave, fading out as the figure leaves the ground.
std::vector<double> jump() {
    const int count = RATE * 3 / 10;
    std::vector<double> samples(count);
    double phase = 0;
    for (int i = 0; i < count; ++i) {
        double t = double(i) / count;
        double frequency = 220 * std::pow(4.0, t);
        phase += 2 * PI * frequency / RATE;
        double wave = std::sin(phase) + 0.25 * std::sin(3 * phase) / 3;
        double envelope = std::min(1.0, i / (0.01 * RATE)) * (1 - t) * (1 - t);
        samples[i] = 0.6 * wave * envelope;
    }
    return samples;
}

// A soft thud: a low decaying tone under low-passed noise. It restarts up to four times a frame,
// so it is short and quiet at its end.
std::vector<double> walk() {
    const int count = RATE / 10;
    std::vector<double> samples(count);
    uint32_t seed = 12345;
    double filtered = 0;
    for (int i = 0; i < count; ++i) {
        double t = double(i) / RATE;
        seed = seed * 1664525u + 1013904223u;
        double noise = (seed >> 8) / double(1 << 24) * 2 - 1;
        filtered += 0.15 * (noise - filtered);
        double thump = std::sin(2 * PI * 90 * t);
        double envelope = std::min(1.0, i / (0.003 * RATE)) * std::exp(-t * 45);
        samples[i] = 0.5 * (0.6 * thump + 1.2 * filtered) * envelope;
    }
    return samples;
}

// A band-limited square beep at 1 kHz. It restarts every frame in the last seconds, so it is
// loud from its first millisecond: what the player hears then is its opening, over and over.
std::vector<double> alarm() {
    const int count = RATE / 4;
    const int release = RATE / 25;
    std::vector<double> samples(count);
    for (int i = 0; i < count; ++i) {
        double phase = 2 * PI * 1000 * i / RATE;
        double wave = std::sin(phase) + std::sin(3 * phase) / 3 + std::sin(5 * phase) / 5 + std::sin(7 * phase) / 7;
        double envelope = std::min(1.0, i / (0.001 * RATE));
        if (i > count - release) envelope *= double(count - i) / release;
        samples[i] = 0.55 * wave * envelope;
    }
    return samples;
}

}  // namespace

void sound_WriteAll(const std::string& folder) {
    writeWav(folder + "/jump.wav", jump());
    writeWav(folder + "/walk.wav", walk());
    writeWav(folder + "/alarm.wav", alarm());
}
