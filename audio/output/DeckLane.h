#pragma once
// One deck's looping card buffer in the hard-mix manner: the deck's output ring is
// copied to the buffer as the renderer fills it, the buffer being as long as the ring
// (2 s) so that ring and buffer positions keep a fixed offset, and the card's volume
// does the level. The hard-mix output has one lane per deck; the pre-listening of the
// headphone layouts adds a lane per deck on the headphones' outputs.
//
// Positions (frames, all modulo kLaneFrames):
// - copied: ring position up to which the deck's frames were copied;
// - bufferPos: buffer position where the next frames are written;
// - writeCursor / playCursor: the card's cursors as the last readCursors() saw them;
// - silenceLeft: frames of silence still to write after the deck stopped, so that the
//   card never plays the stale rest of the buffer again.
//
// Threading: the audio thread (and the user-interface thread while no audio thread
// runs), except setVolume(), which any thread may call (the card takes volumes from
// any thread).

#include "audio/card/SoundCard.h"
#include "audio/deck/Deck.h"
#include "audio/output/CardWrite.h"

#include <cstdint>
#include <memory>

constexpr int32_t kLaneFrames = kOutputRingFrames; // 88200: 2 s, the ring's length

class DeckLane {
public:
    // Creates the buffer on the device's output pair, silent at the given volume, and
    // starts it playing, looping. The failure code of the card when it cannot.
    SoundResult open(SoundDevice& device, int pair, ChannelMap map, int32_t millibels);
    bool isOpen() const { return buffer_ != nullptr; }
    // Stops and releases the buffer.
    void close();

    void setVolume(int32_t millibels);

    // Reads the card's cursors; the failure code (positions unchanged) when it cannot.
    SoundResult readCursors();
    // The ring frame that sits at the card's write cursor: copied - bufferPos + write
    // cursor, brought into the ring once.
    int32_t heardFrame() const;
    // Copies the frames the deck rendered since the last copy (playing), or writes the
    // silence still owed up to the play cursor (stopped).
    void submit(const Deck& deck, bool playing);
    // Anchors the lane to the deck again: the next frames go to the card's last write
    // cursor, starting from the frame the deck hears now.
    void resync(const Deck& deck);
    // After the deck stopped: a whole buffer of silence is owed.
    void owesSilence() { silenceLeft_ = kLaneFrames; }
    // A stopped deck shifted by hand: up to count frames from the ring at `from` go to
    // the write cursor, heard at once, and silence follows them.
    void playSnippet(const Deck& deck, int32_t from, int32_t count);

private:
    void advance(int32_t& position, int32_t frames) const;

    std::unique_ptr<SoundBuffer> buffer_;
    ChannelMap map_ = ChannelMap::Stereo;
    int32_t copied_ = 0;
    int32_t bufferPos_ = 0;
    int32_t writeCursor_ = 0;
    int32_t playCursor_ = 0;
    int32_t silenceLeft_ = 0;
};
