// A card opened with four outputs through PortAudio, without sound hardware: this
// process gets a private ~/.asoundrc whose default ALSA device is the "null" plug-in
// (it takes any channel count, as fast as frames come). Both output pairs get mixers
// of their own whose buffers the stream callback plays. Run under ThreadSanitizer:
// the callback runs on PortAudio's thread.

#include "OutputCapture.h"

#include "audio/SoundCard.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

struct NullAlsaHome {
    std::string dir;
    NullAlsaHome() {
        char pattern[] = "/tmp/zv-null-alsa4-XXXXXX";
        if (mkdtemp(pattern) == nullptr)
            return;
        dir = pattern;
        std::ofstream(dir + "/.asoundrc") << "pcm.!default { type null }\n";
        setenv("HOME", dir.c_str(), 1);
    }
    ~NullAlsaHome() {
        if (!dir.empty()) {
            std::remove((dir + "/.asoundrc").c_str());
            rmdir(dir.c_str());
        }
    }
};

template <typename Pred> bool waitFor(Pred pred) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

} // namespace

TEST(PortAudioFourOutputs, BothPairsPlayTheirOwnBuffers) {
    static const NullAlsaHome home;
    ASSERT_FALSE(home.dir.empty());
    OutputCapture capture;
    std::unique_ptr<SoundDevice> device;
    const SoundResult opened = openSoundCard(nullptr, false, &device, 2);
    if (opened == SoundResult::Ok && device->info().isVirtual)
        GTEST_SKIP() << "PortAudio offers no ALSA null device here";
    ASSERT_EQ(opened, SoundResult::Ok);
    EXPECT_EQ(device->outputPairs(), 2);

    std::unique_ptr<SoundBuffer> front, rear, none;
    ASSERT_EQ(device->createBufferOnPair(0, 22050, &front), SoundResult::Ok);
    ASSERT_EQ(device->createBufferOnPair(1, 22050, &rear), SoundResult::Ok);
    EXPECT_EQ(device->createBufferOnPair(2, 22050, &none), SoundResult::InvalidParam);
    EXPECT_EQ(none, nullptr);
    front->play();
    rear->play();
    int32_t play = 0, write = 0;
    EXPECT_TRUE(waitFor([&] {
        int32_t p0 = 0, p1 = 0;
        return front->getCursors(&p0, &write) == SoundResult::Ok &&
               rear->getCursors(&p1, &write) == SoundResult::Ok && p0 > 0 && p1 > 0;
    })) << "the callback did not take frames of both pairs";

    device.reset();
    EXPECT_EQ(rear->getCursors(&play, &write), SoundResult::DeviceLost);
    EXPECT_EQ(front->getCursors(&play, &write), SoundResult::DeviceLost);
    // A stereo-only request of a pair that does not exist is refused up front.
    EXPECT_EQ(openSoundCard(nullptr, false, &device, 3), SoundResult::InvalidParam);
    EXPECT_EQ(capture.text(), "");
}
