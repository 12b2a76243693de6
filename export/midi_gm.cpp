#include "export/midi_gm.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <iterator>

namespace bleeptone {

namespace {

constexpr int kTriangle = 0, kSawtooth = 1, kComplexA = 2, kComplexB = 3, kSquare = 4;

// 0-based programs of the waveforms 0..7.
constexpr int kWaveformPrograms[8] = {79, 81, 82, 84, 80, 81, 82, 84};

// The drums a noise note becomes, from the lowest noise to the highest.
struct Drum {
    int key;
    int noise;  // MIDI note of the noise that plays it
};
constexpr Drum kDrums[] = {
    {35, 24},  // Acoustic Bass Drum
    {36, 36},  // Bass Drum 1
    {41, 43},  // Low Floor Tom
    {45, 48},  // Low Tom
    {47, 53},  // Low-Mid Tom
    {50, 57},  // High Tom
    {37, 62},  // Side Stick
    {38, 72},  // Acoustic Snare
    {40, 74},  // Electric Snare
    {39, 77},  // Hand Clap
    {49, 81},  // Crash Cymbal 1
    {46, 84},  // Open Hi-Hat
    {51, 88},  // Ride Cymbal 1
    {42, 91},  // Closed Hi-Hat
    {44, 96},  // Pedal Hi-Hat
};

// The noise notes of keys 35..81 (General MIDI's percussion map): the
// drums above as listed, every other key by the drum it sounds most like.
constexpr int kFirstDrumKey = 35;
constexpr int kKeyNoise[] = {
    24, 36, 62, 72, 77, 74, 43, 91, 45, 96,  // 35..44
    48, 84, 53, 55, 81, 57, 88, 81, 88, 86,  // 45..54
    84, 67, 81, 79, 88, 65, 60, 63, 62, 57,  // 55..64
    67, 62, 76, 74, 93, 94, 84, 84, 79, 79,  // 65..74
    76, 76, 72, 67, 65, 96, 96,              // 75..81
};
constexpr int kDefaultDrumNoise = 72;  // a key General MIDI leaves free: the snare's noise

constexpr double kLevelDb = 0.75;  // one volume step
constexpr double kVelocityDb = 40.0;

}  // namespace

int programOfWaveform(int waveform) { return kWaveformPrograms[waveform & 7]; }

int waveformOfProgram(int program) {
    for (int w : {kTriangle, kSawtooth, kComplexA, kComplexB, kSquare})
        if (programOfWaveform(w) == program) return w;
    switch ((program & 0x7F) / 8) {
        case 4:   // basses
        case 9:   // pipes
        case 11:  // synth pads
        case 14:  // percussive
            return kTriangle;
        case 5:  // strings
        case 6:  // ensembles
        case 7:  // brass
            return kSawtooth;
        default: return kSquare;
    }
}

int drumKeyOfNoise(int midiNote) {
    const Drum* best = std::begin(kDrums);
    for (const Drum& d : kDrums)
        if (std::abs(d.noise - midiNote) < std::abs(best->noise - midiNote)) best = &d;
    return best->key;
}

int noiseOfDrumKey(int key) {
    const int i = key - kFirstDrumKey;
    if (i < 0 || i >= static_cast<int>(std::size(kKeyNoise))) return kDefaultDrumNoise;
    return kKeyNoise[i];
}

int velocityOfLevel(int level) {
    level = std::clamp(level, 0, 63);
    const double v = 127.0 * std::pow(10.0, -(63 - level) * kLevelDb / kVelocityDb);
    return std::clamp(static_cast<int>(std::lround(v)), 1, 127);
}

int levelOfVelocity(int velocity) {
    velocity = std::clamp(velocity, 1, 127);
    const double level = 63.0 + kVelocityDb / kLevelDb * std::log10(velocity / 127.0);
    return std::clamp(static_cast<int>(std::lround(level)), 1, 63);
}

}  // namespace bleeptone
