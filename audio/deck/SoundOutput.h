#pragma once
// The sound output that plays both decks' output rings on the sound card. This is
// the abstract interface; the hard-mix and soft-mix outputs implement it.
//
// Threading: poll(), submit(), resyncDeck(), deckStarted(), deckStopped() and
// playSnippet() run on the audio thread (the last four from inside a deck's service).
// setDeckLevel(), setCrossfader(), setSelectedDeck() and isDeckAudible() run on the
// user-interface thread. No lock is taken by either side. While no audio thread runs
// (before it starts, after it ended), the user-interface thread may call everything.
//
// Recorder hand-over (only an output that canRecord feeds one):
// - The user-interface thread attaches a recorder (attachRecorder) and asks for its end
//   by setting stopRecording.
// - The audio thread, in poll(), either hands the recorder the frames the card has just
//   played or, when stopRecording is set, detaches it and moves it to the retire slot.
//   It never destroys a recorder: the destructor waits for the recorder's file.
// - The user-interface thread empties the retire slot (retireRecorder), from its display
//   timer or before the next recording; the output's destructor, which runs after the
//   audio thread has ended, finishes and destroys whatever is left.

#include "audio/recorder/RecorderSink.h"

#include <atomic>
#include <cstdint>
#include <memory>

class SoundOutput {
public:
    explicit SoundOutput(bool canRecordMix = false) : canRecord(canRecordMix) {}
    // Destroys an attached or retired recorder (its file is finished first). Runs on the
    // user-interface thread after the audio thread has stopped calling the output.
    virtual ~SoundOutput();
    SoundOutput(const SoundOutput&) = delete;
    SoundOutput& operator=(const SoundOutput&) = delete;

    virtual void setDeckLevel(int deck, int level) = 0; // level 0..256
    virtual void setCrossfader(int position) = 0;       // 0..384, centre 192
    virtual void resyncDeck(int deck) = 0;              // deck 0/1, or -1 for both
    virtual int submit() = 0;                           // 0 when nothing was done
    virtual int playSnippet(int deck, int32_t ringPos, int32_t frames) = 0;
    virtual void poll() = 0;
    virtual void deckStarted(int deck) = 0;
    virtual void deckStopped(int deck) = 0;
    virtual void setSelectedDeck(int deck) = 0;
    virtual bool isDeckAudible(int deck) = 0;

    // True when the output has its card buffers; an output that failed to open its card
    // does nothing in any operation.
    bool isReady() const { return ready_; }
    // True once a card's cursors could not be read because the card stopped playing
    // (unplugged, stream error). Set by the audio thread; relaxed, the user interface
    // reacts a timer tick later either way.
    bool deviceLost() const { return deviceLost_.load(std::memory_order_relaxed); }

    // --- Recorder (user-interface thread) -----------------------------------------
    // Attaches a recorder that will receive every frame the card plays from the next
    // poll() on. False (and the recorder is destroyed) when the output cannot record, is
    // not ready, or has a recorder attached already.
    bool attachRecorder(std::unique_ptr<RecorderSink> sink);
    // The recorder being fed, or null; valid on the user-interface thread until that
    // thread retires it (describe() of the running recording).
    RecorderSink* attachedRecorder() const { return recorder.load(std::memory_order_acquire); }
    // Destroys the recorder that the audio thread detached, once its file is finished,
    // or at once (waiting for the file) when wait is set. True when the slot is empty.
    bool retireRecorder(bool wait);

    // The recorder fed by poll(); owned by the output. Stored with release by the user-
    // interface thread after the recorder was built, loaded with acquire by the audio
    // thread; cleared (release) by the audio thread when it detaches the recorder.
    std::atomic<RecorderSink*> recorder{nullptr};
    // Set by the user-interface thread to end the recording; the audio thread clears it
    // when it detaches the recorder, before clearing `recorder`, so a user interface
    // that sees no recorder also sees no pending stop.
    std::atomic<bool> stopRecording{false};
    // Only the soft-mix output has the mixed signal in memory to record.
    const bool canRecord;

protected:
    // Audio thread, from poll(): the recorder to hand the played frames to, or null.
    // Serves a stop request first: the recorder is detached and handed to the user-
    // interface thread through the retire slot (a stop waits while the slot is taken).
    RecorderSink* recorderForPoll();
    void markDeviceLost() { deviceLost_.store(true, std::memory_order_relaxed); }

    bool ready_ = false; // set by the constructor of the output, never changed

private:
    // A recorder detached by the audio thread (release) for the user-interface thread
    // to destroy (acquire). Only the audio thread fills it and only while it is empty;
    // only the user-interface thread empties it.
    std::atomic<RecorderSink*> retired_{nullptr};
    std::atomic<bool> deviceLost_{false};
};
