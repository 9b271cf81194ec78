#include "audio/deck/DeckMessages.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <thread>
#include <vector>

namespace {

std::vector<DeckMessage> takeAll(DeckMessages& channel) {
    std::array<DeckMessage, 4> out;
    int n = channel.takePending(out);
    return {out.begin(), out.begin() + n};
}

} // namespace

TEST(DeckMessages, DeliversInRaiseOrderAndOncePerPendingPair) {
    DeckMessages channel;
    channel.raise(kMsgTrackEnded, 1);
    channel.raise(kMsgAutoMixStart, 0);
    channel.raise(kMsgTrackEnded, 1); // still pending: keeps its first place
    channel.raise(1070, 0);           // unknown messages and decks are ignored
    channel.raise(kMsgTrackEnded, 2);
    channel.raise(kMsgTrackEnded, 0);
    const auto got = takeAll(channel);
    ASSERT_EQ(got.size(), 3u);
    const int expected[3][2] = {{kMsgTrackEnded, 1}, {kMsgAutoMixStart, 0}, {kMsgTrackEnded, 0}};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(got[i].message, expected[i][0]);
        EXPECT_EQ(got[i].deck, expected[i][1]);
    }
    EXPECT_TRUE(takeAll(channel).empty());
}

TEST(DeckMessages, WakesTheReaderAcrossThreads) {
    DeckMessages channel;
    ASSERT_GE(channel.fd(), 0);
    constexpr int kRounds = 2000;
    std::thread raiser([&] {
        for (int i = 0; i < kRounds; ++i)
            channel.raise(i % 2 ? kMsgTrackEnded : kMsgAutoMixStart, i % 4 < 2 ? 0 : 1);
    });
    // Every raise is followed by a wake-up; the reader must see the last raise of each
    // kind at the end, and never a message that was not raised.
    int seen = 0;
    bool sawEach[2][2] = {};
    for (;;) {
        pollfd p{channel.fd(), POLLIN, 0};
        int ready = poll(&p, 1, 5000);
        ASSERT_GT(ready, 0) << "no wake-up within 5 s";
        for (const DeckMessage& m : takeAll(channel)) {
            ASSERT_TRUE(m.message == kMsgAutoMixStart || m.message == kMsgTrackEnded);
            ASSERT_TRUE(m.deck == 0 || m.deck == 1);
            sawEach[m.message == kMsgTrackEnded][m.deck] = true;
            ++seen;
        }
        if (sawEach[0][0] && sawEach[0][1] && sawEach[1][0] && sawEach[1][1])
            break;
    }
    raiser.join();
    EXPECT_GE(seen, 4);
}
