#include "audio/deck/DeckMessages.h"

#include <sys/eventfd.h>
#include <unistd.h>
#include <utility>

DeckMessages::DeckMessages() {
    fd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
}

DeckMessages::~DeckMessages() {
    if (fd_ >= 0)
        close(fd_);
}

int DeckMessages::slotOf(int message, int deck) {
    return (message == kMsgTrackEnded ? 2 : 0) + (deck & 1);
}

void DeckMessages::raise(int message, int deck) {
    if ((message != kMsgAutoMixStart && message != kMsgTrackEnded) || deck < 0 || deck > 1)
        return;
    uint64_t seq = sequence_.fetch_add(1, std::memory_order_relaxed) + 1;
    uint64_t expected = 0;
    // Keep the first raise's place in the order when the pair is already pending.
    slots_[slotOf(message, deck)].compare_exchange_strong(expected, seq, std::memory_order_release,
                                                          std::memory_order_relaxed);
    if (fd_ >= 0) {
        uint64_t one = 1;
        [[maybe_unused]] ssize_t n = write(fd_, &one, sizeof one);
    }
}

int DeckMessages::takePending(std::array<DeckMessage, 4>& out) {
    if (fd_ >= 0) {
        uint64_t count;
        [[maybe_unused]] ssize_t n = read(fd_, &count, sizeof count);
    }
    std::array<std::pair<uint64_t, DeckMessage>, 4> found;
    int n = 0;
    for (int slot = 0; slot < 4; ++slot) {
        uint64_t seq = slots_[slot].exchange(0, std::memory_order_acquire);
        if (seq != 0)
            found[n++] = {seq, DeckMessage{slot < 2 ? kMsgAutoMixStart : kMsgTrackEnded, slot & 1}};
    }
    // At most four entries: a plain insertion sort by raise order.
    for (int i = 1; i < n; ++i)
        for (int j = i; j > 0 && found[j].first < found[j - 1].first; --j)
            std::swap(found[j], found[j - 1]);
    for (int i = 0; i < n; ++i)
        out[i] = found[i].second;
    return n;
}

DeckMessages& deckMessages() {
    static DeckMessages channel;
    return channel;
}
