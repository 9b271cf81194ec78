#include "library/FileAnalyser.h"

#include "audio/decoders/WaitingRead.h"

#include <cstdio>
#include <thread>

namespace {

// Silence after the end, in decoder blocks: 4 x 32 = 128 analysis blocks, more than the
// envelope's delay of 113.
constexpr int kTailBlocks = 4;

std::string secondsText(double s) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", s);
    return text;
}

} // namespace

void BlockQueue::fill(Decoder& decoder) {
    for (uint64_t n = 0;; ++n) {
        // Wait for a free slot: the analysis has taken block n - kSlots.
        uint64_t taken = consumed_.load(std::memory_order_acquire);
        while (n - taken >= kSlots) {
            consumed_.wait(taken, std::memory_order_acquire);
            taken = consumed_.load(std::memory_order_acquire);
        }
        DecodedBlock& block = slots_[n % kSlots];
        block.positionBefore = decoder.position;
        const int32_t result = cancelled_.load(std::memory_order_relaxed)
                                   ? -1
                                   : readWhenReady(decoder, block.frames.data(), &cancelled_);
        block.positionAfter = decoder.position;
        if (result != 1) {
            // The end travels in the count itself, so a waiting consumer always wakes.
            endResult_ = result;
            produced_.store(n | kFinished, std::memory_order_release);
            produced_.notify_one();
            return;
        }
        produced_.store(n + 1, std::memory_order_release);
        produced_.notify_one();
    }
}

const DecodedBlock* BlockQueue::next() {
    for (;;) {
        const uint64_t produced = produced_.load(std::memory_order_acquire);
        if (next_ < (produced & ~kFinished))
            return &slots_[next_ % kSlots];
        if (produced & kFinished)
            return nullptr;
        produced_.wait(produced, std::memory_order_acquire);
    }
}

void BlockQueue::release() {
    ++next_;
    consumed_.store(next_, std::memory_order_release);
    consumed_.notify_one();
}

FileAnalyser::FileAnalyser() = default;

void FileAnalyser::feedSilence(int blocks) {
    samples_.fill(0);
    for (int n = 0; n < blocks; ++n) {
        frameTimes_[analyser_->blockWrite() / 32] = -1.0f;
        analyser_->addFrame(samples_.data());
    }
}

FileReport FileAnalyser::analyse(const std::string& path, const std::atomic<bool>* stop) {
    FileReport report;
    report.path = path;
    const DecoderSet::Opened opened = decoders_.open(path.c_str());
    Decoder& decoder = *opened.decoder;
    const int32_t duration = opened.seconds;
    if (duration <= 0) {
        decoder.close();
        report.error = "cannot open";
        return report;
    }
    report.sizeKey = decoder.sizeKey;

    // As a deck loads a new track and places it at the beginning.
    TrackAnalysis record;
    TrackEntry entry;
    decoding_.store(0, std::memory_order_relaxed);
    analyser_ = std::make_unique<BeatAnalyser>(AnalyserOwner{&decoding_, frameTimes_.data()});
    analyser_->fullReset();
    analyser_->attach(&record, &entry);
    frameTimes_.fill(0.0f);
    decoder.seek(0.0f);
    analyser_->reset();
    decoding_.store(1, std::memory_order_relaxed);

    // Decoding runs on a thread of its own, a few blocks ahead of the analysis, so the
    // two overlap on a machine with more than one core.
    BlockQueue queue;
    std::thread reader([&] { queue.fill(decoder); });
    long blocks = 0;
    float lastPosition = 0.0f;
    const DecodedBlock* block;
    while ((block = queue.next()) != nullptr) {
        if (stop && stop->load(std::memory_order_relaxed)) {
            queue.cancel();
            queue.release();
            continue; // what the reader still holds is let go
        }
        frameTimes_[analyser_->blockWrite() / 32] = block->positionBefore;
        for (int i = 0; i < kBlockFrames; ++i) {
            samples_[2 * i] = frameLeft(block->frames[i]);
            samples_[2 * i + 1] = frameRight(block->frames[i]);
        }
        analyser_->addFrame(samples_.data());
        lastPosition = block->positionAfter;
        queue.release();
        ++blocks;
    }
    reader.join();
    const int32_t result = queue.endResult();
    decoding_.store(0, std::memory_order_relaxed);
    decoder.close();
    if (stop && stop->load(std::memory_order_relaxed)) {
        analyser_.reset();
        report.error = "stopped";
        return report;
    }

    const double decodedS = blocks * double(kBlockFrames) / kSampleRate;
    if (blocks == 0) {
        report.error = result < 0 ? "read error" : "no sound";
    } else {
        if (result < 0)
            report.warning = "read error after " + secondsText(decodedS) + " s";
        feedSilence(kTailBlocks);
        // Points are fractions of the track; the decoder's position after the last block
        // gives the track's length more exactly than its whole seconds.
        report.durationS = lastPosition > 0.0f ? decodedS / lastPosition : double(duration);
        report.bpm = entry.bpm.load(std::memory_order_relaxed);
        report.bpmCount = record.bpmCount.load(std::memory_order_relaxed);
        report.startPoint = record.startPoint.load(std::memory_order_relaxed);
        report.endPoint = record.endPoint.load(std::memory_order_relaxed);
        report.startEnergy = record.startEnergy.load(std::memory_order_relaxed);
        report.endEnergy = record.endEnergy.load(std::memory_order_relaxed);
        report.startS = record.startPoint.load(std::memory_order_relaxed) * report.durationS;
        report.endS = record.endPoint.load(std::memory_order_relaxed) * report.durationS;
        report.peak = record.peakEnergy.load(std::memory_order_relaxed);
        report.loudness = record.loudness.load(std::memory_order_relaxed);
    }
    analyser_.reset();
    return report;
}
