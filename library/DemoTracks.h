#pragma once
// Demo tracks a new user can mix at once: a few minute-long dance tracks at distinct
// tempi, with real drum and bass patterns (an intro and an outro of drums only, so the
// automatic mix finds its points), made by the program itself and written as WAV files.
//
// Threading: any thread; writes files.

#include <cstdint>
#include <string>
#include <vector>

struct DemoTrack {
    const char* fileName; // "Artist - Title.wav", so track lists split it
    double bpm;
    int rootNote; // MIDI note of the bass line's key
    uint32_t seed;
};

const std::vector<DemoTrack>& demoTracks();

// The track's sound: 44100 Hz stereo frames (left in the low 16 bits).
std::vector<uint32_t> renderDemoTrack(const DemoTrack& track, double seconds);

// Writes every demo track into folder (made when missing), skipping files that exist.
// Returns how many files exist afterwards; *error says why one could not be written.
int writeDemoTracks(const std::string& folder, double seconds, std::string* error);
