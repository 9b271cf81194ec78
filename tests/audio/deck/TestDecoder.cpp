#include "tests/audio/deck/TestDecoder.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

Frame frameAt(const TestDecoder::Setup& setup, int64_t n) {
    using Signal = TestDecoder::Signal;
    if (setup.signal == Signal::Index)
        return static_cast<Frame>(n);
    if (setup.signal == Signal::Clicks && n % setup.clickEvery >= setup.clickFrames)
        return 0;
    const double phase = 2.0 * std::numbers::pi * setup.frequency * double(n) / kSampleRate;
    const auto v = static_cast<int16_t>(std::lround(setup.amplitude * std::sin(phase)));
    return makeFrame(v, v);
}

} // namespace

int32_t TestDecoder::open(const char*) {
    if (setup_.openFails)
        return 0;
    next_ = 0;
    position = 0.0f;
    duration = setup_.seconds;
    lengthFrames_ = frameCount();
    sizeKey = setup_.sizeKey;
    return setup_.seconds;
}

void TestDecoder::close() {}

int32_t TestDecoder::read(Frame* out) {
    if (next_ + kBlockFrames > frameCount())
        return 0;
    if (setup_.failAtFrame >= next_ && setup_.failAtFrame < next_ + kBlockFrames)
        return -1;
    for (int i = 0; i < kBlockFrames; ++i)
        out[i] = frameAt(setup_, next_ + i);
    next_ += kBlockFrames;
    position = static_cast<float>(double(next_) / double(frameCount()));
    return 1;
}

int32_t TestDecoder::seek(float p) {
    int64_t n = static_cast<int64_t>(double(p) * double(frameCount()));
    if (setup_.stepBack)
        n -= kBlockFrames;
    next_ = std::clamp<int64_t>(n, 0, frameCount());
    position = static_cast<float>(double(next_) / double(frameCount()));
    return 1;
}
