#pragma once
// The sound card layer: what the sound outputs need of a card, whatever plays it.
//
// A device is one opened sound card. It plays any number of looping buffers at once
// and mixes them with their volumes, as a card's hardware mixer does. Every buffer
// holds N frames of the program's format (44100 Hz, stereo, 16 bits, see Frame.h).
// Each buffer has a play cursor (the next frame the card takes) and a write cursor
// (the first frame that is safe to write: the frames from the play cursor up to the
// write cursor may be taken at any moment). Positions and lengths are in frames.
//
// Backends: PortAudio (PortAudioCard.h) and the virtual card (VirtualCard.h), whose
// clock is stepped by hand or runs in real time. When the machine has no sound
// output at all, the virtual card is the default device and the program runs
// silently.
//
// Threading: enumeration and opening on one control thread at a time (the user-
// interface thread). A device and its buffers may be used from any thread, one
// caller per buffer at a time (the audio thread fills a buffer while the user-
// interface thread sets its volume: that pair is fine). A buffer may outlive its
// device; it then plays no more.
//
// Exclusive and shared opening: PortAudio cannot reserve a card against other
// programs, so a device is opened the way its host API shares it (an ALSA "hw"
// device is taken whole, "default" and PulseAudio/PipeWire devices are shared).
// Inside this process the layer keeps the rule itself: an exclusive open fails with
// DeviceBusy while the card is open, and any open fails while it is open
// exclusively.

#include "core/Frame.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

enum class SoundResult {
    Ok,
    OutOfMemory,  // "Error in the sound card driver: not enough memory"
    DeviceBusy,   // "The sound card is already used by another application"
    NotFound,     // no card with that identifier (the outputs then try the default)
    InvalidParam, // a length, offset or volume out of range
    InvalidCall,  // e.g. a second lock of a locked buffer, or unlock without lock
    DeviceLost,   // the card stopped playing (unplugged, stream error)
    Failed,       // any other failure of the sound system
};

inline constexpr const char* kSoundMessageNoMemory =
    "Error in the sound card driver: not enough memory";
inline constexpr const char* kSoundMessageBusy =
    "The sound card is already used by another application";
inline constexpr const char* kSoundMessageDriver = "Error in the sound driver of DirectX";

// The program's message for a failure; nullptr for Ok.
const char* soundResultMessage(SoundResult result);

// True when the failure is reported as kSoundMessageDriver: the case in which an
// output that named a card clears the message and tries the default device once.
bool isDriverError(SoundResult result);

constexpr int32_t kVolumeSilence = -10000; // hundredths of a decibel
constexpr int32_t kVolumeFull = 0;

// The stable 16-byte identifier of a card, kept as the "Sound card GUID" setting.
struct SoundCardId {
    static constexpr std::size_t kBytes = 16;
    std::array<uint8_t, kBytes> bytes{};

    // From a stored setting; false (id unchanged) unless size is exactly 16.
    bool assign(const void* data, std::size_t size);
    // The identifier of a card named by its host API and device name: a hash of both,
    // the same on every run. occurrence tells apart identical names (0 for the first).
    static SoundCardId fromName(const std::string& hostApi, const std::string& device,
                                int occurrence);
    friend bool operator==(const SoundCardId&, const SoundCardId&) = default;
};

struct SoundCardInfo {
    std::string description; // shown in the card lists
    SoundCardId id;
    bool hasId = true;      // false only for the "default device" entry
    bool isDefault = false; // this entry is what opening with no identifier gives
    bool isVirtual = false;
};

// Up to two regions of a locked buffer: the second is set when the locked range
// wraps at the buffer's end (and then starts at frame 0).
struct LockedRegions {
    Frame* first = nullptr;
    int32_t firstFrames = 0;
    Frame* second = nullptr;
    int32_t secondFrames = 0;
};

class SoundBuffer {
public:
    virtual ~SoundBuffer() = default;

    virtual int32_t frames() const = 0;

    // Hundredths of a decibel, kVolumeSilence..kVolumeFull; -10000 is silence.
    // InvalidParam (volume unchanged) outside that range. Heard at the card's next
    // mixing step.
    virtual SoundResult setVolume(int32_t millibels) = 0;
    virtual int32_t volume() const = 0;

    // Starts playing from the play cursor, looping; stop() keeps the cursor where it is.
    virtual SoundResult play() = 0;
    virtual SoundResult stop() = 0;
    virtual bool isPlaying() const = 0;

    // Both in 0..frames()-1. Write = play + the device's latency (wrapping) while
    // playing, = play while stopped. DeviceLost when the card no longer plays.
    virtual SoundResult getCursors(int32_t* play, int32_t* write) const = 0;

    // Locks frames [offset, offset + count) of the looping buffer: offset in
    // 0..frames()-1, count in 1..frames(). The regions hold the buffer's current
    // contents; what is written there is played after unlock(). One lock at a time
    // per buffer (InvalidCall otherwise). unlock() takes the regions of the lock;
    // firstFrames / secondFrames may be lowered to commit only the start of each.
    virtual SoundResult lock(int32_t offset, int32_t count, LockedRegions* regions) = 0;
    virtual SoundResult unlock(const LockedRegions& regions) = 0;
};

struct SoundCardClaim;

class SoundDevice {
public:
    SoundDevice();
    virtual ~SoundDevice();
    SoundDevice(const SoundDevice&) = delete;
    SoundDevice& operator=(const SoundDevice&) = delete;

    // A looping buffer of `frames` frames (1..kMaxBufferFrames), silent, volume 0,
    // stopped with both cursors at 0. OutOfMemory when its memory cannot be had;
    // Failed when the device already plays its maximum number of buffers.
    virtual SoundResult createBuffer(int32_t frames, std::unique_ptr<SoundBuffer>* buffer) = 0;

    // Stereo output pairs the device plays: 1, or 2 for a card opened with four
    // outputs. Each pair has a mixer of its own; createBuffer() plays on pair 0.
    virtual int outputPairs() const { return 1; }
    // A buffer played on outputs 2 x pair + 1 and 2 x pair + 2 (pair 1: outputs 3-4).
    // InvalidParam for a pair the device does not have.
    virtual SoundResult createBufferOnPair(int pair, int32_t frames,
                                           std::unique_ptr<SoundBuffer>* buffer) {
        if (pair != 0) {
            buffer->reset();
            return SoundResult::InvalidParam;
        }
        return createBuffer(frames, buffer);
    }

    virtual const SoundCardInfo& info() const = 0;
    // Write cursor - play cursor of a playing buffer, in frames.
    virtual int32_t latencyFrames() const = 0;

    bool isExclusive() const { return exclusive_; }

    static constexpr int32_t kMaxBufferFrames = 1 << 22; // about 95 s

private:
    friend SoundResult openSoundCard(const SoundCardId*, bool, std::unique_ptr<SoundDevice>*, int);
    std::unique_ptr<SoundCardClaim> claim_;
    bool exclusive_ = false;
};

// Every card that can be opened: first an entry without identifier standing for the
// default device (the "primary driver" of the card lists: storing no identifier
// means the default device), then each PortAudio device with output channels, then
// the virtual card. Exactly one entry with an identifier has isDefault set.
std::vector<SoundCardInfo> enumerateSoundCards();

// Opens the card with identifier *id, or the default device when id is null
// (PortAudio's default output when there is one, else the virtual card playing in
// real time). The device is playing at once (silence until a buffer plays).
// exclusive: see the note at the top. NotFound when no card has the identifier.
// outputPairs 2 opens the card with four outputs (InvalidParam when it has fewer).
SoundResult openSoundCard(const SoundCardId* id, bool exclusive,
                          std::unique_ptr<SoundDevice>* device, int outputPairs = 1);
