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

// A raised-cosine rise from 0 to 1 over `length` seconds: a sound that starts this way starts without a click.
double rise(double t, double length) { return t >= length ? 1.0 : 0.5 - 0.5 * std::cos(PI * t / length); }

// A soft shuffle: noise between about 600 Hz and 4 kHz (two gentle poles each side), rising smoothly over
// 3 ms and dying away. Every
// successful step restarts it, up to four times a frame, so what is heard is its first 5 to 30 ms over and
// over: those are already the shuffle, with nothing low that would beat at the frame rate.
std::vector<double> walk() {
    const int count = RATE / 10;
    std::vector<double> samples(count);
    uint32_t seed = 12345;
    double smooth = 0, smoother = 0, slow = 0, slower = 0;
    for (int i = 0; i < count; ++i) {
        double t = double(i) / RATE;
        seed = seed * 1664525u + 1013904223u;
        double noise = (seed >> 8) / double(1 << 24) * 2 - 1;
        smooth += 0.4 * (noise - smooth);
        smoother += 0.4 * (smooth - smoother);
        slow += 0.15 * (smoother - slow);
        double band = smoother - slow;
        slower += 0.15 * (band - slower);
        double fade_out = std::min(1.0, (count - 1 - i) / (0.015 * RATE));
        samples[i] = (band - slower) * rise(t, 0.003) * std::exp(-t * 18) * fade_out;
    }
    double loudest = 0;
    for (double v : samples) loudest = std::max(loudest, std::fabs(v));
    for (double& v : samples) v *= 0.42 / loudest;
    return samples;
}

// A warbling siren: a tone sweeping around 2.2 kHz a hundred and seventy times a second, with a harsh upper
// partial, switching between a high and a low pitch every 60 ms. It restarts every frame in the last seconds,
// so it rises in a millisecond and warbles from its first few: each restart sounds like the strike of an
// alarm bell, and nothing in it is low or steady enough to hum at the frame rate.
std::vector<double> alarm() {
    const int count = RATE / 4;
    const int release = RATE / 25;
    std::vector<double> samples(count);
    double phase = 0;
    for (int i = 0; i < count; ++i) {
        double t = double(i) / RATE;
        double centre = (int(t / 0.06) % 2) ? 1800 : 2400;
        double frequency = centre + 600 * std::sin(2 * PI * 170 * t);
        phase += 2 * PI * frequency / RATE;
        double wave = std::sin(phase) + 0.35 * std::sin(2 * phase + 0.5) + 0.2 * std::sin(3 * phase);
        double envelope = rise(t, 0.001);
        if (i > count - release) envelope *= double(count - i) / release;
        samples[i] = 0.33 * wave * envelope;
    }
    return samples;
}

}  // namespace

void sound_WriteAll(const std::string& folder) {
    writeWav(folder + "/jump.wav", jump());
    writeWav(folder + "/walk.wav", walk());
    writeWav(folder + "/alarm.wav", alarm());
}
