// The PortAudio backend with a real stream on ALSA's "null" device (a private
// ~/.asoundrc), which takes frames as fast as they come, so the callback runs without
// sound hardware. For ThreadSanitizer: the callback runs on PortAudio's thread.
#include "tests/ScratchDir.h"
#include "tests/audio/output/OutputCapture.h"

#include "audio/card/CardMixer.h"
#include "audio/card/PortAudioCard.h"
#include "audio/card/SoundCard.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

// A private home folder holding the ALSA configuration. Must be set before the first
// ALSA call of the process, which reads the file then; removed at exit.
void useNullAlsaDevices() {
    static const ScratchDir home;
    static const bool ready =
        home.ok() &&
        !home.write(".asoundrc", "pcm.!default { type null }\n"
                                 "pcm.zvnull { type null hint.description \"Null output\" }\n")
             .empty() &&
        setenv("HOME", home.path("").c_str(), 1) == 0;
    ASSERT_TRUE(ready);
}

} // namespace

TEST(PortAudioCard, PlaysBuffersThroughTheStreamCallback) {
    useNullAlsaDevices();
    OutputCapture capture;
    std::unique_ptr<SoundDevice> device;
    const SoundResult opened = openSoundCard(nullptr, false, &device);
    const std::vector<SoundCardInfo> outputs = listPortAudioOutputs();
    if (opened == SoundResult::Ok && device->info().isVirtual)
        GTEST_SKIP() << "PortAudio offers no ALSA null device here";
    ASSERT_EQ(opened, SoundResult::Ok);
    ASSERT_FALSE(outputs.empty());
    bool listedAsDefault = false;
    for (const SoundCardInfo& c : outputs)
        listedAsDefault |= c.isDefault && c.id == device->info().id;
    EXPECT_TRUE(listedAsDefault) << "opening without identifier gives the listed default";
    EXPECT_GE(device->latencyFrames(), kRenderChunkFrames);

    constexpr int32_t kFrames = 22050;
    std::unique_ptr<SoundBuffer> moving, still;
    ASSERT_EQ(device->createBuffer(kFrames, &moving), SoundResult::Ok);
    ASSERT_EQ(device->createBuffer(kFrames, &still), SoundResult::Ok);
    moving->setVolume(-300);
    ASSERT_EQ(moving->play(), SoundResult::Ok);

    // Fill behind the callback while it plays, as the outputs do, for at most 20 s.
    int32_t play = 0, write = 0;
    int rounds = 0;
    for (int waited = 0; waited < 20000 && (rounds <= 3 || play == 0); ++waited) {
        ASSERT_EQ(moving->getCursors(&play, &write), SoundResult::Ok);
        EXPECT_EQ(write, (play + device->latencyFrames()) % kFrames);
        LockedRegions r;
        if (moving->lock(write, 4096, &r) == SoundResult::Ok) {
            std::fill(r.first, r.first + r.firstFrames, makeFrame(1000, -1000));
            std::fill(r.second, r.second + r.secondFrames, makeFrame(1000, -1000));
            moving->unlock(r);
        }
        ++rounds;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_NE(play, 0) << "the callback never took frames";
    ASSERT_EQ(still->getCursors(&play, &write), SoundResult::Ok);
    EXPECT_EQ(play, 0) << "a stopped buffer does not move";

    device.reset(); // stops the stream with buffers still alive
    EXPECT_EQ(moving->getCursors(&play, &write), SoundResult::DeviceLost);
    EXPECT_EQ(capture.text(), "");
}

TEST(PortAudioCard, OpensACardByItsIdentifierAndKeepsExclusiveOpensApart) {
    useNullAlsaDevices();
    OutputCapture capture;
    const std::vector<SoundCardInfo> outputs = listPortAudioOutputs();
    const SoundCardInfo* named = nullptr;
    for (const SoundCardInfo& c : outputs)
        named = c.description == "zvnull (ALSA)" ? &c : named;
    if (named == nullptr)
        GTEST_SKIP() << "PortAudio offers no ALSA null device here";
    std::unique_ptr<SoundDevice> first, second;
    ASSERT_EQ(openSoundCard(&named->id, true, &first), SoundResult::Ok);
    EXPECT_EQ(first->info().id, named->id);
    EXPECT_EQ(first->info().description, "zvnull (ALSA)");
    EXPECT_EQ(openSoundCard(&named->id, false, &second), SoundResult::DeviceBusy);
    first.reset();
    EXPECT_EQ(openSoundCard(&named->id, false, &second), SoundResult::Ok);
    second.reset();
    EXPECT_EQ(capture.text(), "");
}
