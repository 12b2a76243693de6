#pragma once
// How the engine's sounds meet General MIDI, both ways: the program of each
// waveform, the percussion key of a noise note and the noise note of a
// percussion key, and velocity against the engine's volume levels.

namespace bleeptone {

// The program (0-based, as the file holds it) a waveform number plays as:
// triangle 80 Ocarina, square 81 Lead 1 (square), sawtooth 82 Lead 2
// (sawtooth), complex A 83 Lead 3 (calliope), complex B 85 Lead 5 (charang),
// numbered from 1 as General MIDI lists them. Waveform 5 off voice 0 is
// practically the sawtooth. Only the low three bits count, as in the voice.
int programOfWaveform(int waveform);
// The waveform (0..4) that plays a program: the five above exactly, else by
// the program's family (basses, pipes, pads and percussive sounds on the
// triangle, strings, ensembles and brass on the sawtooth, the rest square).
int waveformOfProgram(int program);

// The percussion key (channel 10) of a noise note: the drum whose noise
// note lies nearest (a low noise is a bass drum, a high one a hi-hat).
int drumKeyOfNoise(int midiNote);
// The noise note that plays a percussion key; keys that drumKeyOfNoise
// gives come back to their own noise note.
int noiseOfDrumKey(int key);

// Velocity follows loudness by General MIDI's curve (gain 40 log10(v / 127)
// dB) against the engine's 0.75 dB steps: level 63 is 127, the default 40
// is 47, level 1 is 9.
int velocityOfLevel(int level);
// The volume (1..63) of a velocity, the inverse of velocityOfLevel.
int levelOfVelocity(int velocity);

}  // namespace bleeptone
