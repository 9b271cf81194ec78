// The card layer: buffers and the card's mixer driven by hand on the virtual card (its
// sink gets what the PortAudio callback would send), the card identifiers, and the layer
// on this machine's sound system, with or without sound outputs.
#include "tests/audio/output/OutputCapture.h"

#include "audio/card/CardMixer.h"
#include "audio/card/PortAudioCard.h"
#include "audio/card/SoundCard.h"
#include "audio/card/SystemVolumes.h"
#include "audio/card/VirtualCard.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <memory>
#include <set>
#include <vector>

namespace {

// A manual virtual card whose sink keeps everything played.
struct Rig {
    std::vector<Frame> played;
    std::unique_ptr<VirtualCard> card =
        VirtualCard::createManual([this](const Frame* frames, int32_t count) {
            played.insert(played.end(), frames, frames + count);
        });

    std::unique_ptr<SoundBuffer> buffer(int32_t frames) {
        std::unique_ptr<SoundBuffer> b;
        EXPECT_EQ(card->createBuffer(frames, &b), SoundResult::Ok);
        return b;
    }
};

// Writes `values` into the buffer from `offset` on (wrapping) through one lock.
void write(SoundBuffer& buffer, int32_t offset, const std::vector<Frame>& values) {
    LockedRegions r;
    ASSERT_EQ(buffer.lock(offset, static_cast<int32_t>(values.size()), &r), SoundResult::Ok);
    std::memcpy(r.first, values.data(), r.firstFrames * sizeof(Frame));
    if (r.secondFrames > 0)
        std::memcpy(r.second, values.data() + r.firstFrames, r.secondFrames * sizeof(Frame));
    ASSERT_EQ(buffer.unlock(r), SoundResult::Ok);
}

std::vector<Frame> ramp(int32_t count, int16_t base) {
    std::vector<Frame> v(count);
    for (int32_t i = 0; i < count; ++i)
        v[i] = makeFrame(static_cast<int16_t>(base + i), static_cast<int16_t>(-base - i));
    return v;
}

// The play and write cursors.
std::pair<int32_t, int32_t> cursors(SoundBuffer& buffer) {
    int32_t play = -1, write = -1;
    EXPECT_EQ(buffer.getCursors(&play, &write), SoundResult::Ok);
    return {play, write};
}

} // namespace

TEST(SoundCardBuffer, LockSplitsRangesThatWrapAndRejectsBadOnes) {
    struct Case {
        const char* name;
        int32_t offset, count;
        SoundResult result;
        int32_t firstFrames, secondFrames;
    };
    const Case cases[] = {
        {"whole buffer", 0, 100, SoundResult::Ok, 100, 0},
        {"up to the end", 80, 20, SoundResult::Ok, 20, 0},
        {"wraps", 90, 20, SoundResult::Ok, 10, 10},
        {"last frame then all but one", 99, 100, SoundResult::Ok, 1, 99},
        {"negative offset", -1, 10, SoundResult::InvalidParam, 0, 0},
        {"offset past the end", 100, 1, SoundResult::InvalidParam, 0, 0},
        {"empty", 5, 0, SoundResult::InvalidParam, 0, 0},
        {"longer than the buffer", 0, 101, SoundResult::InvalidParam, 0, 0},
    };
    Rig rig;
    auto buffer = rig.buffer(100);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LockedRegions r;
        ASSERT_EQ(buffer->lock(c.offset, c.count, &r), c.result);
        EXPECT_EQ(r.firstFrames, c.firstFrames);
        EXPECT_EQ(r.secondFrames, c.secondFrames);
        EXPECT_EQ(r.second == nullptr, c.secondFrames == 0);
        // The second region is the buffer's start, `offset` frames before the first.
        EXPECT_TRUE(r.second == nullptr || r.first - r.second == c.offset);
        EXPECT_EQ(buffer->unlock(r),
                  c.result == SoundResult::Ok ? SoundResult::Ok : SoundResult::InvalidCall);
    }
}

// Three writes through locks (one wrapping), then a lock that shows the contents and
// commits only part of what it changed: played twice round from 0, the sink must hold
// exactly what was committed, twice.
TEST(SoundCardBuffer, PlaysBackExactlyWhatWasCommitted) {
    Rig rig;
    auto buffer = rig.buffer(1000);
    std::vector<Frame> expected(1000);
    const auto a = ramp(700, 1);
    const auto b = ramp(250, 5000);
    const auto c = ramp(350, -9000); // written at 950: 50 at the end, 300 at the start
    write(*buffer, 0, a);
    write(*buffer, 700, b);
    write(*buffer, 950, c);
    std::copy(a.begin(), a.end(), expected.begin());
    std::copy(b.begin(), b.end(), expected.begin() + 700);
    std::copy(c.begin(), c.begin() + 50, expected.begin() + 950);
    std::copy(c.begin() + 50, c.end(), expected.begin());

    LockedRegions r;
    ASSERT_EQ(buffer->lock(998, 4, &r), SoundResult::Ok);
    EXPECT_EQ(r.first[0], expected[998]);
    EXPECT_EQ(r.second[1], expected[1]);
    // A second lock while locked is refused, the first stays valid.
    LockedRegions other;
    EXPECT_EQ(buffer->lock(0, 1, &other), SoundResult::InvalidCall);
    // Regions that are not the lock's are refused.
    LockedRegions wrong = r;
    wrong.first += 1;
    EXPECT_EQ(buffer->unlock(wrong), SoundResult::InvalidParam);
    // Change all four but commit only one frame of each region.
    r.first[0] = r.first[1] = r.second[0] = r.second[1] = makeFrame(7, 7);
    r.firstFrames = r.secondFrames = 1;
    ASSERT_EQ(buffer->unlock(r), SoundResult::Ok);
    EXPECT_EQ(buffer->unlock(r), SoundResult::InvalidCall);
    expected[998] = expected[0] = makeFrame(7, 7);

    ASSERT_EQ(buffer->play(), SoundResult::Ok);
    rig.card->advance(333); // odd steps: chunking must not matter
    rig.card->advance(1667);
    ASSERT_EQ(rig.played.size(), 2000u);
    EXPECT_EQ(std::vector<Frame>(rig.played.begin(), rig.played.begin() + 1000), expected);
    EXPECT_EQ(std::vector<Frame>(rig.played.begin() + 1000, rig.played.end()), expected);
    EXPECT_EQ(rig.card->framesPlayed(), 2000);
}

TEST(SoundCardBuffer, CursorsAdvanceOnlyWhilePlayingAndWrap) {
    using P = std::pair<int32_t, int32_t>;
    constexpr int32_t kLatency = VirtualCard::kLatencyFrames;
    Rig rig;
    auto playing = rig.buffer(1000);
    auto stopped = rig.buffer(3000);
    playing->play();
    rig.card->advance(300);
    EXPECT_EQ(cursors(*playing), P(300, (300 + kLatency) % 1000)) << "latency wraps";
    rig.card->advance(800);
    EXPECT_EQ(cursors(*playing).first, 100);
    EXPECT_EQ(cursors(*stopped), P(0, 0));

    playing->stop();
    rig.card->advance(500);
    EXPECT_EQ(cursors(*playing), P(100, 100)) << "stop keeps the cursor";
    playing->play();
    stopped->play();
    rig.card->advance(2950);
    EXPECT_EQ(cursors(*playing).first, 50);
    EXPECT_EQ(cursors(*stopped), P(2950, (2950 + kLatency) % 3000));
    EXPECT_TRUE(playing->isPlaying());
}

TEST(SoundCardBuffer, MixesPlayingBuffersWithTheirVolumesAndSaturates) {
    struct Case {
        const char* name;
        Frame a, b;         // the two buffers' constant frames
        int32_t volA, volB; // millibels
        bool bPlays;
        int16_t left, right; // expected, or the ideal value for "near" cases
        int tolerance;
    };
    const Frame loud = makeFrame(30000, -30000);
    // 10^(-602/2000) = 0.50003: about half, within the truncation.
    const Case cases[] = {
        {"full volume: unchanged", makeFrame(12345, -32768), 0, 0, 0, false, 12345, -32768, 0},
        {"two buffers add", makeFrame(1000, -2000), makeFrame(30, 40), 0, 0, true, 1030, -1960, 0},
        {"silence mutes", makeFrame(20000, 20000), makeFrame(5, -5), -10000, 0, true, 5, -5, 0},
        {"-602 mB is about half", makeFrame(20000, -20000), 0, -602, 0, false, 10000, -10000, 1},
        {"sum saturates", loud, loud, 0, 0, true, 32767, -32768, 0},
        {"per channel", makeFrame(32767, 100), makeFrame(32767, -300), 0, 0, true, 32767, -200, 0},
        {"stopped adds nothing", makeFrame(100, 200), loud, 0, 0, false, 100, 200, 0},
        {"volume before the sum", loud, loud, -602, -602, true, 30000, -30000, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        auto a = rig.buffer(100);
        EXPECT_EQ(a->volume(), 0);
        auto b = rig.buffer(77); // a different length: both wrap at their own ends
        write(*a, 0, std::vector<Frame>(100, c.a));
        write(*b, 0, std::vector<Frame>(77, c.b));
        a->setVolume(c.volA);
        b->setVolume(c.volB);
        a->play();
        if (c.bPlays)
            b->play();
        // Volumes outside [-10000, 0] are refused and change nothing.
        EXPECT_EQ(a->setVolume(1), SoundResult::InvalidParam);
        EXPECT_EQ(b->setVolume(-10001), SoundResult::InvalidParam);
        EXPECT_EQ(a->volume(), c.volA);
        rig.card->advance(400);
        ASSERT_EQ(rig.played.size(), 400u);
        for (Frame f : rig.played) {
            ASSERT_NEAR(frameLeft(f), c.left, c.tolerance);
            ASSERT_NEAR(frameRight(f), c.right, c.tolerance);
        }
    }
}

TEST(SoundCardBuffer, CreationLimitsAndLifetimes) {
    Rig rig;
    std::unique_ptr<SoundBuffer> b;
    EXPECT_EQ(rig.card->createBuffer(0, &b), SoundResult::InvalidParam);
    EXPECT_EQ(rig.card->createBuffer(SoundDevice::kMaxBufferFrames + 1, &b),
              SoundResult::InvalidParam);
    EXPECT_EQ(b, nullptr);

    std::vector<std::unique_ptr<SoundBuffer>> all;
    for (int i = 0; i < CardMixer::kMaxBuffers; ++i)
        all.push_back(rig.buffer(8));
    EXPECT_EQ(rig.card->createBuffer(8, &b), SoundResult::Failed);
    all.erase(all.begin() + 3); // frees a slot
    EXPECT_EQ(rig.card->createBuffer(8, &b), SoundResult::Ok);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->frames(), 8);

    // A new buffer is silent, even in a slot that a played buffer used before.
    all.clear();
    b.reset();
    auto loud = rig.buffer(8);
    write(*loud, 0, std::vector<Frame>(8, makeFrame(999, 999)));
    loud->play();
    loud.reset();
    auto fresh = rig.buffer(8);
    fresh->play();
    rig.played.clear();
    rig.card->advance(8);
    EXPECT_EQ(rig.played, std::vector<Frame>(8, 0));

    // A buffer that outlives its card: no more cursor, no crash.
    rig.card.reset();
    int32_t play = 0, write = 0;
    EXPECT_EQ(fresh->getCursors(&play, &write), SoundResult::DeviceLost);
    LockedRegions r;
    EXPECT_EQ(fresh->lock(0, 8, &r), SoundResult::Ok);
    EXPECT_EQ(fresh->unlock(r), SoundResult::Ok);
}

TEST(SoundCardId, StableDistinctAndReadFromSettings) {
    // Stored in users' settings: the derivation must never change.
    const SoundCardId id = SoundCardId::fromName("ALSA", "default", 0);
    const uint8_t golden[16] = {0x3d, 0x33, 0xf7, 0xc7, 0x1a, 0xe2, 0xb9, 0xb1,
                                0xe0, 0x40, 0x1b, 0x4c, 0xd4, 0xc7, 0x7f, 0x35};
    EXPECT_EQ(std::memcmp(id.bytes.data(), golden, 16), 0);

    EXPECT_NE(id, SoundCardId::fromName("ALSA", "default", 1));
    EXPECT_NE(SoundCardId::fromName("ab", "c", 0), SoundCardId::fromName("a", "bc", 0));
    EXPECT_NE(id, virtualCardInfo().id);

    SoundCardId read;
    EXPECT_FALSE(read.assign(id.bytes.data(), 15) || read.assign(nullptr, 16));
    EXPECT_EQ(read, SoundCardId{});
    EXPECT_TRUE(read.assign(id.bytes.data(), 16));
    EXPECT_EQ(read, id);
}

// Enumeration and opens on the real sound system; the libraries print nothing.
TEST(SoundCardSystem, EnumerationOpensAndSystemVolumesAreQuiet) {
    OutputCapture capture;
    const std::vector<SoundCardInfo> cards = enumerateSoundCards();
    const std::vector<SoundCardInfo> portAudio = listPortAudioOutputs();
    ASSERT_EQ(cards.size(), portAudio.size() + 2);
    EXPECT_FALSE(cards.front().hasId || cards.front().isDefault) << "the default device first";
    EXPECT_TRUE(cards.back().isVirtual);
    EXPECT_EQ(cards.back().id, virtualCardInfo().id);
    EXPECT_EQ(cards.back().isDefault, portAudio.empty())
        << "the virtual card is the default exactly when PortAudio has no output";
    int defaults = 0;
    std::set<std::array<uint8_t, SoundCardId::kBytes>> ids;
    for (const SoundCardInfo& c : cards) {
        defaults += c.isDefault ? 1 : 0;
        EXPECT_TRUE(!c.hasId || ids.insert(c.id.bytes).second) << "duplicate " << c.description;
    }
    EXPECT_EQ(defaults, 1);

    // A card that is not there: the driver error, on which outputs fall back to the
    // default; the virtual card is not a PortAudio device.
    const SoundCardId missing = SoundCardId::fromName("No such API", "No such card", 0);
    std::unique_ptr<SoundDevice> device;
    EXPECT_EQ(openSoundCard(&missing, true, &device), SoundResult::NotFound);
    EXPECT_EQ(device, nullptr);
    EXPECT_TRUE(isDriverError(SoundResult::NotFound));
    EXPECT_STREQ(soundResultMessage(SoundResult::NotFound), "Error in the sound driver of DirectX");
    const SoundCardId virtualId = virtualCardInfo().id;
    EXPECT_EQ(openPortAudioCard(&virtualId, &device), SoundResult::NotFound);

    // With or without a mixer: restoring before saving does nothing, a second save keeps
    // the first state.
    restoreSystemVolumes();
    saveSystemVolumes();
    saveSystemVolumes();
    restoreSystemVolumes();
    restoreSystemVolumes();
    EXPECT_EQ(capture.text(), "") << "the sound libraries printed";
}
