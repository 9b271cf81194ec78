// A disk that stalls while a track plays: what was loaded before the stall plays whole,
// reads during the stall return at once with silence that takes no time of the track,
// and once the disk answers the track goes on from the very frame where it stopped, to
// where the file now ends.

#include "audio/decoders/BufferedFile.h"
#include "audio/decoders/FilePrefetcher.h"
#include "audio/decoders/WavDecoder.h"
#include "tests/audio/decoders/DecoderTestSupport.h"

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace decodertest;

// The bytes of a file in memory; every read that reaches stallFrom waits until released.
// Bytes from cutAt on are gone, as from a file cut short after it was opened.
class StallingSource : public ByteSource {
public:
    StallingSource(Bytes bytes, int64_t stallFrom, int64_t cutAt = INT64_MAX)
        : bytes_(std::move(bytes)), stallFrom_(stallFrom), cutAt_(cutAt) {}

    int64_t size() const override { return static_cast<int64_t>(bytes_.size()); }
    int64_t readAt(int64_t offset, void* destination, int64_t count) override {
        count = std::min(count, cutAt_ - offset);
        if (offset + count > stallFrom_) {
            std::unique_lock<std::mutex> lock(mutex_);
            stalled_ = true;
            changed_.notify_all();
            changed_.wait(lock, [this] { return released_; });
        }
        const int64_t n = std::max<int64_t>(0, std::min(count, size() - offset));
        std::memcpy(destination, bytes_.data() + offset, static_cast<size_t>(n));
        return n;
    }

    bool waitUntilStalled() {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(20), [this] { return stalled_; });
    }
    void release() {
        std::lock_guard<std::mutex> lock(mutex_);
        released_ = true;
        changed_.notify_all();
    }

private:
    const Bytes bytes_;
    const int64_t stallFrom_;
    const int64_t cutAt_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool stalled_ = false;
    bool released_ = false;
};

constexpr int64_t kHeaderBytes = 44;

TEST(StallingDiskTest, AStallGlitchesNothingLoadedAndPlayOnFromWhereItStopped) {
    constexpr int kSeconds = 30;
    constexpr int64_t kStallFrom = 18 * BufferedFile::kChunkBytes; // after what opening waits for
    constexpr int64_t kCutAt = 19 * BufferedFile::kChunkBytes + 1000; // of 20.2
    // Every block whose bytes lie before the stall; every frame before the cut, the last
    // block padded with silence.
    constexpr int kLoadedBlocks = (kStallFrom - kHeaderBytes) / 4 / kBlockFrames;
    constexpr int kFrames = (kCutAt - kHeaderBytes) / 4;
    constexpr int kBlocks = (kFrames + kBlockFrames - 1) / kBlockFrames;

    auto owned =
        std::make_unique<StallingSource>(indexedFile(44100, kSeconds * 44100), kStallFrom, kCutAt);
    StallingSource& source = *owned;
    WavDecoder decoder;
    ASSERT_EQ(decoder.open(std::move(owned)), kSeconds);
    ASSERT_TRUE(source.waitUntilStalled()) << "the loader never reached the stall";

    Frame block[kBlockFrames];
    int played = 0;
    int silentDuringStall = 0;
    const auto expectBlock = [&] {
        for (int j = 0; j < kBlockFrames; ++j) {
            const uint32_t frame = uint32_t(played) * kBlockFrames + j;
            ASSERT_EQ(block[j], frame < kFrames ? frame : 0u) << "block " << played;
        }
        ++played;
    };
    // Until the stall, and a while into it: never waits, since the disk does not answer.
    for (int i = 0; i < kLoadedBlocks + 20; ++i) {
        const float before = decoder.position;
        ASSERT_EQ(decoder.read(block), 1);
        if (decoder.position == before) {
            for (const Frame f : block)
                ASSERT_EQ(f, Frame{0});
            ++silentDuringStall;
            continue;
        }
        ASSERT_EQ(silentDuringStall, 0) << "a gap before the stall";
        expectBlock();
    }
    EXPECT_EQ(played, kLoadedBlocks);
    EXPECT_EQ(silentDuringStall, 20);

    source.release();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    int32_t result = 1;
    while (result == 1 && std::chrono::steady_clock::now() < deadline) {
        const float before = decoder.position;
        result = decoder.read(block);
        if (result == 1 && decoder.position == before)
            std::this_thread::sleep_for(std::chrono::milliseconds(1)); // still on its way
        else if (result == 1)
            expectBlock();
        if (HasFatalFailure())
            return;
    }
    EXPECT_EQ(result, 0) << "the track did not end";
    EXPECT_EQ(played, kBlocks);
}

// Read-ahead before a load: tickets finish in order, a read that stalls holds up only
// the prefetcher's own thread, and the prefetcher can go while such a read still runs.
TEST(FilePrefetcherTest, ServesInOrderAndLeavesAStalledReadBehind) {
    struct Gate {
        std::mutex mutex;
        std::condition_variable changed;
        bool open = false;
        std::vector<std::string> read;
    };
    auto gate = std::make_shared<Gate>();
    auto prefetcher = std::make_unique<FilePrefetcher>(
        [gate](const std::string& path, const std::atomic<bool>& stop) {
            std::unique_lock lock(gate->mutex);
            gate->changed.wait_for(lock, std::chrono::seconds(10),
                                   [&] { return gate->open || stop.load(); });
            gate->read.push_back(path);
        });
    const uint64_t first = prefetcher->request("a");
    const uint64_t second = prefetcher->request("b");
    EXPECT_FALSE(prefetcher->finished(first) || prefetcher->finished(second));
    {
        std::lock_guard lock(gate->mutex);
        gate->open = true;
    }
    gate->changed.notify_all();
    for (int i = 0; i < 5000 && !prefetcher->finished(second); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_TRUE(prefetcher->finished(first) && prefetcher->finished(second));
    {
        std::lock_guard lock(gate->mutex);
        EXPECT_EQ(gate->read, (std::vector<std::string>{"a", "b"}));
        gate->open = false;
    }
    prefetcher->request("c"); // stalls; the prefetcher goes at once all the same
    prefetcher.reset();
    std::lock_guard lock(gate->mutex);
    gate->open = true;
    gate->changed.notify_all();
}

// The default reader gives up on what is not a regular file instead of waiting on it.
TEST(FilePrefetcherTest, ReadsThroughRegularFilesOnly) {
    const std::string fifo = testing::TempDir() + "/prefetch-fifo";
    ::unlink(fifo.c_str());
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    FilePrefetcher prefetcher;
    const uint64_t ticket = prefetcher.request(fifo);
    const uint64_t missing = prefetcher.request("/nonexistent/track.mp3");
    for (int i = 0; i < 5000 && !prefetcher.finished(missing); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_TRUE(prefetcher.finished(ticket) && prefetcher.finished(missing));
    ::unlink(fifo.c_str());
}

} // namespace
