#include "tests/audio/output/OutputRig.h"

#include "audio/card/CardMixer.h"
#include "audio/output/OutputGains.h"

namespace {

// The engine's view of a rig card: buffers are made on the rig's card, which the rig
// keeps (and may destroy to unplug it).
class RigDevice final : public SoundDevice {
public:
    explicit RigDevice(VirtualCard* card)
        : card_(card), info_(card->info()), pairs_(card->outputPairs()) {}
    SoundResult createBuffer(int32_t frames, std::unique_ptr<SoundBuffer>* buffer) override {
        return card_->createBuffer(frames, buffer);
    }
    int outputPairs() const override { return pairs_; }
    SoundResult createBufferOnPair(int pair, int32_t frames,
                                   std::unique_ptr<SoundBuffer>* buffer) override {
        return card_->createBufferOnPair(pair, frames, buffer);
    }
    const SoundCardInfo& info() const override { return info_; }
    int32_t latencyFrames() const override { return VirtualCard::kLatencyFrames; }

private:
    VirtualCard* card_; // only used while the output builds its buffers
    SoundCardInfo info_;
    int pairs_;
};

} // namespace

OutputRig::OutputRig() : OutputRig(Options{}) {}

OutputRig::OutputRig(const Options& options) : options_(options) {
    Settings& s = settings();
    s.crossfader = 0;
    s.multiInstance = 0;
    s.outputMode = options.outputMode;
    s.soundCardGuid = s.soundCard1Guid = s.soundCard2Guid = std::nullopt;
    clearFatalMessage();
    engine_ = std::make_unique<AudioEngine>(engineOptions());
    engine_->output()->setCrossfader(options.crossfader);
    engine_->start();
}

AudioEngineOptions OutputRig::engineOptions() {
    AudioEngineOptions o;
    o.ownThread = options_.ownThread;
    o.systemVolumes = false;
    o.turnPause = std::chrono::microseconds(100);
    o.openDevice = [this](const SoundCardId* id, bool exclusive, int pairs,
                          std::unique_ptr<SoundDevice>* device) {
        device->reset();
        openRequests.push_back(id ? std::optional<SoundCardId>(*id) : std::nullopt);
        if (!openResults.empty()) {
            const SoundResult r = openResults.front();
            openResults.pop_front();
            if (r != SoundResult::Ok)
                return r;
        }
        if (pairs > 1 && stereoOnly)
            return SoundResult::InvalidParam;
        RigCard& c = cards_.emplace_back();
        if (id)
            c.requested = *id;
        c.exclusive = exclusive;
        c.pairs = pairs;
        RigCard* self = &c; // deque elements stay where they are
        auto front = [self](const Frame* f, int32_t n) {
            if (self->keep)
                self->front.insert(self->front.end(), f, f + n);
            if (self->tap)
                self->tap(f, n);
        };
        auto rear = [self](const Frame* f, int32_t n) {
            if (self->keep)
                self->rear.insert(self->rear.end(), f, f + n);
        };
        c.card = pairs > 1 ? VirtualCard::createManualFourOutputs(front, rear)
                           : VirtualCard::createManual(front);
        *device = std::make_unique<RigDevice>(c.card.get());
        return SoundResult::Ok;
    };
    return o;
}

RigCard& OutputRig::current(int i) {
    for (auto& c : cards_) {
        if (c.current && i-- == 0)
            return c;
    }
    ADD_FAILURE() << "no current card " << i;
    return cards_.back();
}

int OutputRig::currentCount() const {
    return int(std::count_if(cards_.begin(), cards_.end(), [](auto& c) { return c.current; }));
}

bool OutputRig::load(int i, const TestDecoder::Setup& setup) {
    deck(i).testDecoder.configure(setup);
    return reload(i);
}

bool OutputRig::reload(int i) {
    const std::string path = "test:track" + std::to_string(i);
    return deck(i).load({"", "", path, store.openEntry(path, deck(i).testDecoder.setup().sizeKey)});
}

bool OutputRig::loadAndPlay(int i, const TestDecoder::Setup& setup) {
    if (!load(i, setup))
        return false;
    // The renderer fills the output ring before the deck is heard.
    for (int k = 0; k < 400; ++k)
        turn();
    deck(i).play();
    return deck(i).playing == 1;
}

void OutputRig::advanceCurrent(int64_t frames) {
    for (auto& c : cards_) {
        if (c.current && c.card)
            c.card->advance(frames);
    }
}

void OutputRig::waitForTurns(int turns) {
    if (!engine_->isRunning())
        return;
    const uint64_t target = engine_->turns() + static_cast<uint64_t>(turns);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (engine_->turns() < target) {
        if (std::chrono::steady_clock::now() > deadline) {
            ADD_FAILURE() << "the audio thread stopped turning";
            return;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
}

void OutputRig::play(int64_t frames, int32_t step) {
    for (int64_t left = frames; left > 0;) {
        const int64_t n = std::min<int64_t>(left, step);
        if (engine_->isRunning()) {
            advanceCurrent(n);
            waitForTurns(2);
        } else {
            turn();
            advanceCurrent(n);
        }
        left -= n;
    }
}

bool OutputRig::apply(int row, const SoundCardSelection& selection, const MixerState& state) {
    // A row that does not exist is refused and leaves the running engine's cards current.
    for (auto& c : cards_)
        c.current = c.current && (row < 0 || row >= kSoundConfigurationCount);
    return applySoundConfiguration(engine_, row, selection, state);
}

void OutputRig::unplug(int i) {
    current(i).card.reset();
}

Frame softMixOne(Frame f, int32_t gain) {
    return makeFrame(static_cast<int16_t>((frameLeft(f) * gain) >> 16),
                     static_cast<int16_t>((frameRight(f) * gain) >> 16));
}

Frame hardMixOne(Frame f, int32_t gain) {
    const int32_t g = millibelsToGain(gainToMillibels(gain));
    return makeFrame(static_cast<int16_t>((int64_t{frameLeft(f)} * g) >> 16),
                     static_cast<int16_t>((int64_t{frameRight(f)} * g) >> 16));
}
