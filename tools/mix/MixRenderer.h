#pragma once
// The offline mix: the playlist played through the program's own decks, analyser,
// track database, soft-mix output and recorder, with Auto Mix on, on a virtual sound
// card in virtual time. The audio loop, the main window's timers and the decks'
// messages run in the same order as in the running program, one audio-loop turn per
// millisecond of sound, as fast as the machine allows. The same input (tracks and
// database) gives the same file, byte for byte.
//
// Threading: one thread (the caller's) plays both the user-interface thread and the
// audio thread; the recorder writes its file from its own thread.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct MixOptions {
    std::vector<std::string> inputs; // one .m3u/.pls playlist, or audio files
    std::string output;              // the WAV file to write
    int longMix = 0;                 // 0, 16, 40, 64 or 112
    bool masterTempo = true;
    bool autoLevel = false;
    bool narrowPitch = false;
    bool autoBpm = true;
    bool classicResampling = false;
    std::string database; // empty: the database in the home folder
    bool live = false;    // play on the sound card in real time instead of rendering
    // Told what the user should know while the mix runs (no sound device).
    std::function<void(const std::string&)> notice;
};

struct MixedTrack {
    std::string path;
    double bpm = 0.0;      // the track's tempo as the deck knew it when it came in
    int32_t speed = 4096;  // the deck's speed then, in 1/4096
    double mixStart = 0.0; // seconds into the output where its mix began (0 for the first)
    double mixEnd = 0.0;   // where the crossfade into it ended (0 for the first)
};

struct SkippedTrack {
    std::string path;
    std::string reason;
};

struct MixSummary {
    std::vector<MixedTrack> tracks;
    std::vector<SkippedTrack> skipped;
    double outputSeconds = 0.0;
    double realTimeFactor = 0.0;
    int64_t framesLost = 0;
    int64_t framesWritten = 0; // what the file holds
    bool rendered = false;     // the render ran, whether or not it succeeded
};

// Progress for a display: the track playing, the output time, the speed over real time.
using MixProgress = std::function<void(const std::string& track, double seconds, double factor)>;

class MixRenderer {
public:
    explicit MixRenderer(MixOptions options);
    // Renders the mix. False with *error set for an empty playlist, an unwritable output
    // or a failure of the engine or the database (no work is done then), and after the
    // work when no track could be played, frames were lost or the file could not grow
    // (the summary is filled then, and the file is a valid WAV of what it holds).
    bool run(MixSummary* summary, std::string* error, const MixProgress& progress = {});

    // Ends a render in progress as at the end of the playlist, with the file and the
    // summary complete; run() then fails saying so. Async-signal-safe: for the
    // handlers of SIGINT and SIGTERM.
    static void requestStop(int signal);
    // The signal given to requestStop, 0 when none was.
    static int stopSignal();

    // The JSON text of a summary.
    static std::string summaryJson(const MixSummary& summary);

private:
    MixOptions options_;
};
