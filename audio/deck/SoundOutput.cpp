// The recorder hand-over shared by every output.

#include "audio/deck/SoundOutput.h"

#include "audio/deck/DeckTable.h"

#include <cassert>

SoundOutput::~SoundOutput() {
    assert(!onAudioThread());
    // No audio thread calls the output any more: this thread is the producer now.
    if (RecorderSink* sink = recorder.exchange(nullptr, std::memory_order_acquire)) {
        sink->detach();
        delete sink;
    }
    retireRecorder(true);
}

bool SoundOutput::attachRecorder(std::unique_ptr<RecorderSink> sink) {
    assert(!onAudioThread());
    if (!sink || !canRecord || !ready_ || recorder.load(std::memory_order_acquire) != nullptr)
        return false;
    stopRecording.store(false, std::memory_order_relaxed);
    recorder.store(sink.release(), std::memory_order_release);
    return true;
}

bool SoundOutput::retireRecorder(bool wait) {
    assert(!onAudioThread());
    RecorderSink* sink = retired_.load(std::memory_order_acquire);
    if (sink == nullptr)
        return true;
    if (!wait && !sink->isFinished())
        return false;
    // Emptied before the (possibly slow) destruction: the audio thread may retire the
    // next recorder meanwhile.
    retired_.store(nullptr, std::memory_order_release);
    delete sink;
    return true;
}

RecorderSink* SoundOutput::recorderForPoll() {
    RecorderSink* sink = recorder.load(std::memory_order_acquire);
    if (sink == nullptr || !stopRecording.load(std::memory_order_acquire))
        return sink;
    if (retired_.load(std::memory_order_acquire) != nullptr)
        return sink; // the previous recorder is still being finished: record on
    sink->detach();
    stopRecording.store(false, std::memory_order_relaxed);
    recorder.store(nullptr, std::memory_order_release);
    retired_.store(sink, std::memory_order_release);
    return nullptr;
}
