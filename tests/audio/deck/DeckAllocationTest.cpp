// Nothing on the audio path allocates: global operator new is replaced in this test
// program by a counting one, armed only around the audio loop's calls.

#include "tests/audio/deck/DeckRig.h"

#include "audio/deck/DspPlugin.h"

#include <cstdlib>
#include <new>

namespace {

std::atomic<bool> gArmed{false};
std::atomic<int> gAllocations{0};

} // namespace

// The default new[] calls this one, and the default deletes free() what it took.
void* operator new(std::size_t size) {
    if (gArmed.load(std::memory_order_relaxed))
        gAllocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size))
        return p;
    throw std::bad_alloc();
}

namespace {

class Halver : public DspPlugin {
public:
    int process(Frame* frames, int count) override {
        for (int i = 0; i < count; ++i)
            frames[i] = makeFrame(frameLeft(frames[i]) / 2, frameRight(frames[i]) / 2);
        return count;
    }
};

// Serves one command the way the audio thread does: posted without waiting, carried
// out inside an armed serve().
void serveArmed(Deck& d, DeckCommand code, int32_t a1 = 0, float a2 = 0.0f) {
    d.commandArg1 = a1;
    d.commandArg2 = a2;
    d.command.store(static_cast<int32_t>(code), std::memory_order_release);
    gArmed = true;
    d.serve();
    gArmed = false;
    ASSERT_TRUE(d.commandDone.try_acquire());
}

void runArmed(DeckRig& rig, int turns) {
    // The poll is armed too: through it the output reports the heard frames, and the
    // decks raise their messages from there.
    for (int i = 0; i < turns; ++i) {
        gArmed = true;
        rig.output.poll();
        rig.deck(0).serve();
        rig.deck(1).serve();
        gArmed = false;
    }
}

} // namespace

TEST(DeckAllocation, ServingNeverAllocates) {
    for (int mode = 0; mode < 4; ++mode) {
        const bool masterTempo = mode & 1, classic = mode & 2;
        SCOPED_TRACE(testing::Message()
                     << (masterTempo ? "master tempo" : "plain") << (classic ? ", classic" : ""));
        DeckRig rig;
        settings().masterTempo = masterTempo ? 1 : 0;
        settings().classicResampling = classic ? 1 : 0;
        const TestDecoder::Setup s{.seconds = 8};
        ASSERT_TRUE(rig.loadTest(0, s));
        ASSERT_TRUE(rig.loadTest(1, s));
        rig.deck(0).play();
        rig.deck(1).setDspPlugin(std::make_unique<Halver>());
        rig.deck(1).play();
        gAllocations = 0;

        runArmed(rig, 200);
        Deck& d = rig.deck(0);
        serveArmed(d, DeckCommand::SetSpeed, 4424);
        runArmed(rig, 50);
        serveArmed(d, DeckCommand::Seek, 0, 0.9f);
        serveArmed(d, DeckCommand::Skip, -3000);
        serveArmed(d, DeckCommand::Shift, 2000);
        serveArmed(d, DeckCommand::Pause);
        serveArmed(d, DeckCommand::Shift, -2000);
        serveArmed(d, DeckCommand::Play);
        serveArmed(d, DeckCommand::Refresh);
        // On to the end of the track, its message and the silence after it.
        runArmed(rig, 400);
        EXPECT_EQ(d.playing, 0);
        EXPECT_EQ(gAllocations.load(), 0);
    }
}
