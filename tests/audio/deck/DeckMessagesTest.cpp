// The deck messages channel: order and merging of pending messages, and the wake-up of
// the reader on another thread (also under ThreadSanitizer).

#include "audio/deck/DeckMessages.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <thread>
#include <vector>

namespace {

using Pairs = std::vector<std::pair<int, int>>; // (message, deck)

Pairs takeAll(DeckMessages& channel) {
    std::array<DeckMessage, 4> out;
    Pairs taken;
    for (int i = 0, n = channel.takePending(out); i < n; ++i)
        taken.emplace_back(out[i].message, out[i].deck);
    return taken;
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
    EXPECT_EQ(takeAll(channel),
              (Pairs{{kMsgTrackEnded, 1}, {kMsgAutoMixStart, 0}, {kMsgTrackEnded, 0}}));
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
        for (const auto& [message, deck] : takeAll(channel)) {
            ASSERT_TRUE(message == kMsgAutoMixStart || message == kMsgTrackEnded);
            ASSERT_TRUE(deck == 0 || deck == 1);
            sawEach[message == kMsgTrackEnded][deck] = true;
            ++seen;
        }
        if (sawEach[0][0] && sawEach[0][1] && sawEach[1][0] && sawEach[1][1])
            break;
    }
    raiser.join();
    EXPECT_GE(seen, 4);
}
