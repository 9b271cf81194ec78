#pragma once
// One of the two players. A deck owns the decoders of its track, the track's beat
// analyser, the ring of decoded sound (256 decoder blocks, time-stamped per block) and
// the ring of rendered sound that the SoundOutput plays from, and the state the user
// drives: play, pause, the stop cycle, the memory point, speed, level, DSP plug-in.
//
// Threading contract:
// - User-interface thread: construction, destruction and every operation that changes
//   the sound (load, play, pause, stop, goToMemory, playFrom, eject, setSpeed, skip,
//   shift, setDspPlugin, refresh, syncBpm). These post a numbered command into the
//   deck's mailbox and block until the audio thread has carried it out; only this one
//   thread posts, so at most one command is in flight per deck. setVolume and setMemory
//   change nothing the audio thread renders and post nothing.
// - Audio thread: serve() once per turn of the audio loop, and through it the signal
//   path; updatePlayPosition() from the SoundOutput's poll() on the same thread. None
//   of it blocks or allocates.
// - Any thread may read position, playing, speed, heardPos, decodeWritePos,
//   decodedUnwritten, the analyser's envelope and the output frame map (through
//   outputFramesUntil) without locks; a value one turn old is acceptable to every such
//   reader (display, beat matching). It may also call getEnvelope() and analysis(): the
//   record a load replaces stays alive until every such reader let go of it.
//
// The deck is about 2 MB: allocate it once, on the heap.

#include "audio/analyser/BeatAnalyser.h"
#include "audio/decoders/Decoder.h"
#include "audio/decoders/DecoderSet.h"
#include "core/Frame.h"
#include "core/TrackRecord.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <semaphore>
#include <string>

class Deck;
class DspPlugin;
class TrackStore;

// The deck's analysis record, held for reading: while any AnalysisRef of a deck lives,
// a load into that deck waits before giving its old record back to the store. Any
// thread; hold it for a read, never across a deck operation on the user-interface
// thread (a load would wait for itself). Empty when the deck has no record.
class AnalysisRef {
public:
    AnalysisRef() = default;
    AnalysisRef(AnalysisRef&& other) noexcept;
    AnalysisRef& operator=(AnalysisRef&& other) noexcept;
    AnalysisRef(const AnalysisRef&) = delete;
    AnalysisRef& operator=(const AnalysisRef&) = delete;
    ~AnalysisRef();

    TrackAnalysis* get() const { return record_; }
    TrackAnalysis* operator->() const { return record_; }
    explicit operator bool() const { return record_ != nullptr; }

private:
    friend class Deck;
    AnalysisRef(std::atomic<int32_t>* readers, TrackAnalysis* record)
        : readers_(readers), record_(record) {}
    std::atomic<int32_t>* readers_ = nullptr; // the count this reference is in
    TrackAnalysis* record_ = nullptr;
};

// Rings and steps of the signal path; counts in frames unless said otherwise.
constexpr int32_t kOutputRingFrames = 88200;    // 2 s of rendered sound
constexpr int32_t kOutputOverflowFrames = 6176; // behind the ring: one step doubled by a plug-in
constexpr int32_t kDecodedRingFrames = 294912;  // 256 decoder blocks, 6.7 s
constexpr int32_t kDecodedSlots = kDecodedRingFrames / kBlockFrames;
constexpr int32_t kDecodeRoomFrames = 74880; // 65 blocks of heard history kept when decoding
constexpr int32_t kRenderStepFrames = 3088;  // output frames of one render step
constexpr int32_t kRenderRoomFrames = 25138; // output history kept behind playPos
constexpr int32_t kSpliceWidth = 2246;       // widest splice offset, in 16-bit samples
constexpr int32_t kSpliceFrames = 512;       // cross-faded frames of a Master Tempo step
constexpr int32_t kMinInputFrames = kRenderStepFrames + kSpliceFrames; // 3600: step + next tail
constexpr int32_t kUnitSpeed = 4096; // speed and phase unit (12-bit fraction)
constexpr int32_t kMaxSpeed = 5462;  // top of the widest pitch range
constexpr int32_t kMaxInputWindow =  // 6363: the input of one step at kMaxSpeed
    kMaxSpeed * kRenderStepFrames / kUnitSpeed + kSpliceWidth;
constexpr int32_t kInputHistoryFrames = 8;   // readable before an input window (filter taps)
constexpr int32_t kSnippetFrames = 1152;     // heard at once when a paused deck is shifted
constexpr int32_t kEnvelopeBlockFrames = 36; // frames per analyser envelope entry
constexpr int32_t kMaxLevel = 256;           // deck level, 256 = unchanged
constexpr int32_t kDefaultBeatBpm = 80;      // beat length for tracks without a tempo

static_assert(kDecodedRingFrames == kBlockFrames * 256);
static_assert(kDecodedRingFrames == kEnvelopeBlockFrames * BeatAnalyser::kRingBlocks);
static_assert(kOutputOverflowFrames == 2 * kRenderStepFrames);

// Codes of the command mailbox.
enum class DeckCommand : int32_t {
    None = 0,
    Start = 1,   // clear suspended, seek to the position argument
    Suspend = 2, // the audio thread leaves the deck alone until Start
    Play = 3,
    Pause = 4,
    Nothing = 5,
    Seek = 6,     // position argument; 1.0 or more ejects
    Skip = 7,     // signed frames
    Shift = 8,    // signed frames
    SetSpeed = 9, // 1/4096
    SetDspPlugin = 10,
    Refresh = 11, // render again from the heard frame
};

class Deck {
public:
    explicit Deck(int index);
    virtual ~Deck();
    Deck(const Deck&) = delete;
    Deck& operator=(const Deck&) = delete;

    // --- User-interface thread ---------------------------------------------------
    // Loads a track, places the deck at its memory point, start point or beginning and
    // leaves it silent until play(). False when the file cannot be opened (status 156)
    // or the seek to the starting place reads no sound (status 153).
    bool load(const TrackRecord& track);
    void play();
    void pause();
    // Pauses, then walks the return points: memory point, beginning, start point.
    void stop();
    void setMemory();
    void goToMemory();
    void playFrom(float p);
    void eject();
    void setSpeed(int32_t speed);
    void setVolume(int32_t level);
    void skip(int32_t frames);
    void shift(int32_t frames);
    // Takes ownership; the previous plug-in is destroyed once the deck let go of it.
    void setDspPlugin(std::unique_ptr<DspPlugin> plugin);
    void refresh();
    // Beat matching against the other deck; false (and nothing changed) when it fails.
    bool syncBpm();
    bool syncLevel();
    // Stores code and arguments and waits until the audio thread carried it out.
    void postCommand(DeckCommand code, int32_t a1 = 0, float a2 = 0.0f,
                     DspPlugin* plugin = nullptr);

    // --- User-interface thread (queries) -------------------------------------------
    bool hasTrack() const { return track.has_value(); }
    double getBpm() const;
    int32_t getLoudness() const;
    // Envelope block offset from the heard block of the strongest value within a beat
    // (values summed over 3 blocks either side, so ripples do not split a beat).
    int32_t findBeatPeak() const;
    // Signed offset from target (a block offset from the heard block) of the strongest
    // distance-weighted envelope value (summed alike) within a beat around it.
    int32_t findNearestPeak(int32_t target) const;
    // Length of a beat of the loaded track in envelope blocks (trunc(73500 / bpm)),
    // with defaultBpm when the stored tempo is not usable.
    int32_t beatBlocks(float defaultBpm) const;
    // Decoded-ring frame where the beat whose envelope peak lies `block` blocks from the
    // heard block starts to sound: the frame two decks' beats are aligned on.
    int32_t beatFrame(int32_t block) const;
    // Whether a skip by `frames` output frames would play the start of a beat twice or
    // cut it: the beat whose envelope peak lies `nextPeak` blocks from the heard block,
    // or the one a beat before it. Such a skip is heard as a doubled beat.
    bool skipTouchesBeat(int32_t frames, int32_t nextPeak) const;
    // Output frames from the frame heard now until the first rendered frame made from
    // decoded-ring frame `decodedFrame` or a later one: when that input will really be
    // heard, splices included. -1 when it is not rendered yet or the map is not known
    // (a DSP plug-in changes frame counts).
    int32_t outputFramesUntil(int32_t decodedFrame) const;

    // --- Any thread (reads) -------------------------------------------------------
    AnalysisRef analysis() const;
    // Column heights 0..scale-1 of the rhythm display, from the heard frame on.
    void getEnvelope(uint16_t* heights, int count, int scale) const;

    // --- Audio thread -------------------------------------------------------------
    void serve();
    void serveCommand();
    bool decodeFrame();
    bool seekTo(float p);
    bool renderBlock();
    // Renders again from the heard frame; newPlace: the heard frame was just moved there
    // (a seek), so what played before does not continue into it.
    void reprime(bool newPlace = false);
    void skipOutput(int32_t n);
    void shiftOutput(int32_t n);
    // Called by the SoundOutput with the outputRing index of the frame now heard.
    void updatePlayPosition(int32_t cursor);

    // --- Fields -------------------------------------------------------------------
    // Written by the audio thread; read elsewhere as a hint (relaxed).
    std::atomic<int32_t> playing{0};  // the output is sending this deck's frames
    std::atomic<int32_t> decoding{0}; // the decoder still delivers sound
    std::atomic<int32_t> speed{kUnitSpeed};
    // Written by the user-interface thread only; atomic for the rhythm thread's reads.
    std::atomic<int32_t> volume{kMaxLevel};
    // Fraction of the track heard now, -1.0 for none. Audio thread, and load() while
    // the deck is suspended; relaxed, readers accept a stale value.
    std::atomic<float> position{-1.0f};

    // The mailbox. The poster stores the arguments (relaxed) and then the code with
    // release; the audio thread loads the code with acquire, so it sees the arguments.
    // The audio thread clears the code and releases commandDone, on which the poster
    // waits (acquire): everything the command did is visible to the poster afterwards.
    std::atomic<int32_t> command{0};
    std::atomic<int32_t> commandArg1{0};
    std::atomic<float> commandArg2{0.0f};
    std::atomic<DspPlugin*> commandPlugin{nullptr};
    std::binary_semaphore commandDone{0};

    // Set when a mix started the other deck from this one; written by the user-
    // interface thread, read by the audio thread (relaxed: a trigger one turn late is
    // harmless).
    std::atomic<int32_t> mixTriggered{0};
    int32_t fresh = 0; // loaded and not yet played; user-interface thread only
    // Written by load() between the suspend and the start command, read by the audio
    // thread after the start command: published by the mailbox, relaxed is enough.
    std::atomic<Decoder*> decoder{nullptr};
    std::atomic<int32_t> duration{-1}; // whole seconds, -1 when no track is open
    // The exact length in output frames at unit speed, 0 when no track is open: what
    // positions are fractions of. (Whole seconds would misplace a seek by up to a block
    // and let the position run backwards within one.) Written like `decoder`.
    std::atomic<int64_t> trackFrames{0};
    std::optional<TrackRecord> track; // user-interface thread only
    const int index;
    // The stop cycle's state; the audio thread resets it to 0 when the track ends.
    std::atomic<int32_t> stopStep{0};
    DecoderSet decoders; // the track's decoders, one of each kind

    // Rendered sound: the ring, then the overflow that a step may run into.
    std::array<Frame, kOutputRingFrames + kOutputOverflowFrames> outputRing{};
    int32_t playPos = 0;  // ring index of the frame heard (audio thread)
    int32_t writePos = 0; // ring index of the next rendered frame (audio thread)
    int32_t outputUnwritten = kOutputRingFrames; // not rendered since the last re-prime
    // Per outputRing frame: the decoded-ring frame it was rendered from, -1 when not
    // known. With playPos and writePos as published below it tells beat matching when
    // an input frame will be heard. Written by the audio thread, read by the user-
    // interface thread: relaxed, a frame one step stale only blurs one measurement.
    std::array<std::atomic<int32_t>, kOutputRingFrames + kOutputOverflowFrames> outputSource;
    // playPos and writePos as last published by the audio thread (relaxed, as above).
    std::atomic<int32_t> sharedPlayPos{0};
    std::atomic<int32_t> sharedWritePos{0};

    // Heard, decode and read positions in decodedRing. heardPos, decodeWritePos and
    // decodedUnwritten are read by beat matching and the rhythm display (relaxed).
    std::atomic<int32_t> heardPos{0};
    std::atomic<int32_t> decodeWritePos{0}; // a multiple of kBlockFrames
    std::atomic<int32_t> decodedUnwritten{kDecodedRingFrames};
    int32_t decodeReadPos = 0; // next frame rendering consumes (audio thread)
    // Per decoder-block slot: track position of its first frame, -1.0 for silence
    // after the end. Audio thread only (also read by the analyser there).
    std::array<float, kDecodedSlots> frameTimes{};
    std::array<Frame, kDecodedRingFrames> decodedRing{};

    // Analyses every decoded block; keeps pointers to decoding and frameTimes above.
    BeatAnalyser analyser;

    // Owned; replaced only by command 10. Read by the user-interface thread to compare
    // and destroy after the command: published by the mailbox, relaxed.
    std::atomic<DspPlugin*> dspPlugin{nullptr};
    // While set the audio thread neither renders nor decodes (commands still run).
    std::atomic<int32_t> suspended{1};

    // Master Tempo and resampler state (audio thread).
    std::array<Frame, kSpliceFrames> spliceTail{}; // what would follow the last output
    int32_t spliceTailFrame = 0; // where spliceTail lies in the next step's input, in frames
    int32_t freshStart = 0;      // the next step starts the sound anew (from pause, a jump)
    int32_t inputWindow = kMinInputFrames + kSpliceWidth; // decoded frames one step may read
    int32_t dspCount = 0;      // frames given to the plug-in and not yet heard
    int32_t resamplePhase = 0; // 12-bit fraction of the plain resampler
    int32_t tempoPhase = 0;    // 12-bit fraction of the Master Tempo input advance
    int32_t autoMixRaised = 0; // message 1068 raised since the mix last was not due
    // Contiguous copy of an input window that crosses the decoded ring's end, with the
    // frames before it that the resampling filter reads.
    std::array<Frame, kInputHistoryFrames + kMaxInputWindow> inputScratch{};

protected:
    // The decoder a path goes to first (DecoderSet::forName). Tests give the deck
    // decoders of their own by overriding it.
    virtual Decoder* decoderFor(const std::string& path);

private:
    void moveForward(int32_t& n);
    void afterMove(bool snippetWhenPaused);
    void renderPlain(const Frame* input);
    void renderMasterTempo(const Frame* input);
    int32_t finishStep(int32_t frames);
    void publishOutputPositions();
    bool wantsAutoMix(float now) const;
    double lengthInFrames() const;
    const Frame* inputWindowFrames();
    Deck* otherDeck() const;

    // The record for the threads that cannot meet a load: the user-interface thread,
    // which loads, and the audio thread while it serves this deck (a load suspends it).
    TrackAnalysis* attachedAnalysis() const { return analyser.analysis(); }
    // Detaches the record and waits until no AnalysisRef can still point at it.
    void retireRecord();

    // Readers of the record, counted per epoch: a reader counts itself in the epoch it
    // found; retireRecord() opens the next epoch and waits for the old one's count to
    // drop to 0. Sequentially consistent, so that a reader either counted itself
    // before the switch (and is waited for) or sees the new epoch (and with it the
    // detached record).
    mutable std::array<std::atomic<int32_t>, 2> readers_{};
    std::atomic<uint32_t> readerEpoch_{0};
    // The record as published to other threads: stored with release after it was
    // attached, loaded with acquire inside a reader's epoch.
    std::atomic<TrackAnalysis*> sharedRecord_{nullptr};

    // The entry whose analysis this deck holds a reference on, and the store it came
    // from (user-interface thread).
    TrackEntry* heldEntry_ = nullptr;
    TrackStore* heldStore_ = nullptr;
};
