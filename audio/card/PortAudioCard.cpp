#include "audio/card/PortAudioCard.h"

#include "audio/card/CardMixer.h"
#include "audio/card/QuietAudioLibraries.h"

#include <portaudio.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <map>
#include <mutex>
#include <string>
#include <utility>

namespace {

constexpr int kChannels = 2; // per output pair
constexpr int kMaxPairs = 2;

std::mutex& portAudioMutex() {
    static std::mutex mutex;
    return mutex;
}

// One start of PortAudio (PortAudio counts them itself); the first one probes the
// host APIs, which is when the libraries print.
class PortAudioSession {
public:
    PortAudioSession() {
        silenceAudioLibraries();
        std::lock_guard<std::mutex> guard(portAudioMutex());
        withOutputSilenced([](void* ok) { *static_cast<bool*>(ok) = Pa_Initialize() == paNoError; },
                           &started_);
    }
    ~PortAudioSession() {
        if (!started_) {
            return;
        }
        std::lock_guard<std::mutex> guard(portAudioMutex());
        withOutputSilenced([](void*) { Pa_Terminate(); }, nullptr);
    }
    PortAudioSession(const PortAudioSession&) = delete;
    PortAudioSession& operator=(const PortAudioSession&) = delete;

    bool started() const { return started_; }

private:
    bool started_ = false;
};

struct OutputDevice {
    SoundCardInfo info;
    PaDeviceIndex index = paNoDevice;
};

PaStreamParameters streamParameters(PaDeviceIndex index, int pairs) {
    PaStreamParameters p{};
    p.device = index;
    p.channelCount = kChannels * pairs;
    p.sampleFormat = paInt16;
    p.suggestedLatency = Pa_GetDeviceInfo(index)->defaultLowOutputLatency;
    return p;
}

// Needs a started session.
std::vector<OutputDevice> collectOutputs() {
    std::vector<OutputDevice> outputs;
    const PaDeviceIndex count = Pa_GetDeviceCount();
    const PaDeviceIndex defaultIndex = Pa_GetDefaultOutputDevice();
    std::map<std::pair<std::string, std::string>, int> seen;
    for (PaDeviceIndex i = 0; i < count; ++i) {
        const PaDeviceInfo* device = Pa_GetDeviceInfo(i);
        if (device == nullptr || device->maxOutputChannels < kChannels) {
            continue;
        }
        const PaHostApiInfo* api = Pa_GetHostApiInfo(device->hostApi);
        const std::string apiName = api != nullptr ? api->name : "";
        const std::string name = device->name != nullptr ? device->name : "";
        const int occurrence = seen[{apiName, name}]++;
        OutputDevice out;
        out.index = i;
        out.info.description = apiName.empty() ? name : name + " (" + apiName + ")";
        out.info.id = SoundCardId::fromName(apiName, name, occurrence);
        out.info.isDefault = i == defaultIndex;
        outputs.push_back(std::move(out));
    }
    return outputs;
}

SoundResult resultOf(PaError error) {
    switch (error) {
    case paNoError:
        return SoundResult::Ok;
    case paInsufficientMemory:
        return SoundResult::OutOfMemory;
    case paDeviceUnavailable:
        return SoundResult::DeviceBusy;
    case paUnanticipatedHostError: {
        // ALSA reports its errno here.
        const PaHostErrorInfo* host = Pa_GetLastHostErrorInfo();
        if (host != nullptr && host->hostApiType == paALSA) {
            if (host->errorCode == -ENOMEM) {
                return SoundResult::OutOfMemory;
            }
            if (host->errorCode == -EBUSY) {
                return SoundResult::DeviceBusy;
            }
        }
        return SoundResult::Failed;
    }
    default:
        return SoundResult::Failed;
    }
}

class PortAudioCard final : public SoundDevice {
public:
    PortAudioCard(std::unique_ptr<PortAudioSession> session, SoundCardInfo info, int pairs)
        : session_(std::move(session)), info_(std::move(info)), pairs_(pairs) {
        for (int i = 0; i < pairs_; ++i) {
            mixers_[i] = std::make_shared<CardMixer>(kRenderChunkFrames);
        }
    }

    ~PortAudioCard() override {
        if (stream_ != nullptr) {
            closing_.store(true, std::memory_order_relaxed);
            std::lock_guard<std::mutex> guard(portAudioMutex());
            // Waits for a callback in progress: afterwards nothing renders.
            Pa_StopStream(stream_);
            Pa_CloseStream(stream_);
        }
        // A buffer still held by an output keeps the mixer; its cursors then fail.
        markLost();
    }

    SoundResult start(PaDeviceIndex index) {
        const PaDeviceInfo* device = Pa_GetDeviceInfo(index);
        if (device == nullptr || device->maxOutputChannels < kChannels * pairs_) {
            return SoundResult::InvalidParam;
        }
        const PaStreamParameters params = streamParameters(index, pairs_);
        std::lock_guard<std::mutex> guard(portAudioMutex());
        // The mixer saturates to 16 bits itself: no clipping or dithering needed.
        PaError error =
            Pa_OpenStream(&stream_, nullptr, &params, kSampleRate, kRenderChunkFrames,
                          paClipOff | paDitherOff, &PortAudioCard::streamCallback, this);
        if (error != paNoError) {
            stream_ = nullptr;
            return resultOf(error);
        }
        const PaStreamInfo* streamInfo = Pa_GetStreamInfo(stream_);
        const double latency = streamInfo != nullptr ? streamInfo->outputLatency : 0.0;
        const auto latencyFrames = static_cast<int32_t>(std::ceil(latency * kSampleRate));
        for (int i = 0; i < pairs_; ++i) {
            mixers_[i]->setLatencyFrames(std::max(latencyFrames, kRenderChunkFrames));
        }
        Pa_SetStreamFinishedCallback(stream_, &PortAudioCard::streamFinished);
        error = Pa_StartStream(stream_);
        if (error != paNoError) {
            Pa_CloseStream(stream_);
            stream_ = nullptr;
            return resultOf(error);
        }
        return SoundResult::Ok;
    }

    SoundResult createBuffer(int32_t frames, std::unique_ptr<SoundBuffer>* buffer) override {
        return CardBuffer::create(mixers_[0], frames, buffer);
    }
    int outputPairs() const override { return pairs_; }
    SoundResult createBufferOnPair(int pair, int32_t frames,
                                   std::unique_ptr<SoundBuffer>* buffer) override {
        if (pair < 0 || pair >= pairs_) {
            buffer->reset();
            return SoundResult::InvalidParam;
        }
        return CardBuffer::create(mixers_[pair], frames, buffer);
    }
    const SoundCardInfo& info() const override { return info_; }
    int32_t latencyFrames() const override { return mixers_[0]->latencyFrames(); }

private:
    // PortAudio's thread: no allocation, no lock, no wait.
    static int streamCallback(const void*, void* output, unsigned long frameCount,
                              const PaStreamCallbackTimeInfo*, PaStreamCallbackFlags,
                              void* userData) {
        auto* card = static_cast<PortAudioCard*>(userData);
        auto* out = static_cast<int16_t*>(output);
        const int channels = kChannels * card->pairs_;
        Frame chunk[kRenderChunkFrames];
        for (unsigned long done = 0; done < frameCount;) {
            const auto n = static_cast<int32_t>(
                std::min<unsigned long>(frameCount - done, kRenderChunkFrames));
            for (int pair = 0; pair < card->pairs_; ++pair) {
                card->mixers_[pair]->render(chunk, n);
                int16_t* first = out + channels * done + kChannels * pair;
                for (int32_t i = 0; i < n; ++i) {
                    first[channels * i] = frameLeft(chunk[i]);
                    first[channels * i + 1] = frameRight(chunk[i]);
                }
            }
            done += n;
        }
        return paContinue;
    }

    // PortAudio's thread, when the stream stops: unless we stopped it, the card is
    // gone (unplugged, host error) and cursor reads fail from now on.
    static void streamFinished(void* userData) {
        auto* card = static_cast<PortAudioCard*>(userData);
        if (!card->closing_.load(std::memory_order_relaxed)) {
            card->markLost();
        }
    }

    void markLost() {
        for (int i = 0; i < pairs_; ++i) {
            mixers_[i]->markLost();
        }
    }

    std::unique_ptr<PortAudioSession> session_;
    SoundCardInfo info_;
    const int pairs_;
    std::array<std::shared_ptr<CardMixer>, kMaxPairs> mixers_; // one per output pair
    PaStream* stream_ = nullptr;
    // Set before we stop the stream ourselves; read by the finished callback on
    // PortAudio's thread. Relaxed: Pa_StopStream orders the two.
    std::atomic<bool> closing_{false};
};

} // namespace

std::vector<SoundCardInfo> listPortAudioOutputs() {
    std::vector<SoundCardInfo> cards;
    PortAudioSession session;
    if (!session.started()) {
        return cards;
    }
    for (auto& output : collectOutputs()) {
        cards.push_back(std::move(output.info));
    }
    return cards;
}

SoundResult openPortAudioCard(const SoundCardId* id, std::unique_ptr<SoundDevice>* device,
                              int outputPairs) {
    device->reset();
    if (outputPairs < 1 || outputPairs > kMaxPairs) {
        return SoundResult::InvalidParam;
    }
    auto session = std::make_unique<PortAudioSession>();
    if (!session->started()) {
        return SoundResult::NotFound;
    }
    for (auto& output : collectOutputs()) {
        const bool wanted = id != nullptr ? output.info.id == *id : output.info.isDefault;
        if (!wanted) {
            continue;
        }
        const PaDeviceIndex index = output.index;
        auto card = std::make_unique<PortAudioCard>(std::move(session), std::move(output.info),
                                                    outputPairs);
        const SoundResult result = card->start(index);
        if (result != SoundResult::Ok) {
            return result;
        }
        *device = std::move(card);
        return SoundResult::Ok;
    }
    return SoundResult::NotFound;
}
