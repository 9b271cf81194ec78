// The internal database at scale: opens a database of many entries and shows what one
// write of an entry costs in bytes written and read (from /proc/self/io), so that a
// changed entry is seen to rewrite its block and not the file.
//
// Usage: bench_database [entries] [folder]   (default 100000 entries, the temporary folder)

#include "core/FatalMessage.h"
#include "library/DatabaseBlock.h"
#include "library/TrackDatabase.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The calls and bytes of this process's read and write system calls.
struct Io {
    long long rchar = 0, wchar = 0, syscr = 0, syscw = 0;

    static Io now() {
        Io io;
        std::ifstream in("/proc/self/io");
        std::string key;
        long long value;
        while (in >> key >> value) {
            if (key == "rchar:")
                io.rchar = value;
            else if (key == "wchar:")
                io.wchar = value;
            else if (key == "syscr:")
                io.syscr = value;
            else if (key == "syscw:")
                io.syscw = value;
        }
        return io;
    }
    Io operator-(const Io& o) const {
        return {rchar - o.rchar, wchar - o.wchar, syscr - o.syscr, syscw - o.syscw};
    }
};

// What reading /proc/self/io itself adds between two samples.
Io gSampleCost;

Io ioSince(const Io& before) {
    return Io::now() - before - gSampleCost;
}

std::string trackName(int i) {
    char name[96];
    std::snprintf(name, sizeof name, "Artist %05d - Some Rather Long Title Number %d.mp3", i % 7919,
                  i);
    return name;
}

uint32_t trackSize(int i) {
    return 3000000u + static_cast<uint32_t>(i) * 37u;
}

// Writes the file in one go with the product's block encoder: entries as the program
// writes them, a comment on every third, a free block now and then.
int64_t makeDatabase(const std::string& path, int entries) {
    std::vector<uint8_t> file;
    TrackAnalysis values;
    values.startPoint.store(0.02f);
    values.endPoint.store(0.97f);
    values.bpmCount.store(12);
    values.peakEnergy.store(20000);
    for (int i = 0; i < entries; ++i) {
        TrackEntry entry;
        entry.name = trackName(i);
        entry.sizeKey = trackSize(i);
        entry.bpm.store(90.0f + static_cast<float>(i % 70));
        entry.lastUse = 2073375;
        const std::string comment = i % 3 == 0 ? "good opener, " + std::to_string(i) : "";
        const std::vector<uint8_t> block = dbblock::encodeUsedBlock(entry, comment, values);
        file.insert(file.end(), block.begin(), block.end());
        if (i % 1000 == 999) {
            const uint8_t freeBlock[16] = {16, 0, 0, 0, 0, 0, 0, 0};
            file.insert(file.end(), freeBlock, freeBlock + 16);
        }
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(file.data()),
              static_cast<std::streamsize>(file.size()));
    return static_cast<int64_t>(file.size());
}

void report(const char* what, double seconds, const Io& io) {
    std::printf("  %-44s %8.3f ms  written %7lld B in %lld calls, read %9lld B in %lld calls\n",
                what, seconds * 1e3, io.wchar, io.syscw, io.rchar, io.syscr);
}

// Acquires the entry, lets change() alter it, releases it (which writes it) and reports.
template <typename Change>
void measureWrite(TrackDatabase& db, const char* what, TrackEntry* entry, Change change) {
    db.acquireAnalysis(entry);
    change(entry);
    const int64_t before = entry->offset;
    const Io io = Io::now();
    const auto start = Clock::now();
    db.releaseAnalysis(entry);
    const double seconds = secondsSince(start);
    report(what, seconds, ioSince(io));
    std::printf("  %-44s block at %lld -> %lld\n", "", static_cast<long long>(before),
                static_cast<long long>(entry->offset));
}

} // namespace

int main(int argc, char** argv) {
    const int entries = argc > 1 ? std::atoi(argv[1]) : 100000;
    const std::string folder = argc > 2 ? argv[2] : "/tmp";
    if (entries <= 0) {
        std::fprintf(stderr, "usage: bench_database [entries] [folder]\n");
        return 2;
    }
    const std::string path =
        folder + "/bench-" + std::to_string(getpid()) + "-" + TrackDatabase::kFileName;
    const int64_t length = makeDatabase(path, entries);
    {
        const Io first = Io::now();
        gSampleCost = Io::now() - first;
    }
    std::printf("database of %d entries, %lld bytes (%s)\n", entries,
                static_cast<long long>(length), path.c_str());

    // Opening, warm page cache; the best and the worst of five.
    std::vector<double> times;
    Io openIo;
    for (int round = 0; round < 5; ++round) {
        const Io io = Io::now();
        const auto start = Clock::now();
        TrackDatabase db(path);
        times.push_back(secondsSince(start));
        openIo = ioSince(io);
        if (db.status() != DatabaseStatus::Ok || db.entryCount() != entries) {
            std::fprintf(stderr, "reading failed: %s, %lld entries\n", fatalMessage(),
                         static_cast<long long>(db.entryCount()));
            return 1;
        }
    }
    std::sort(times.begin(), times.end());
    std::printf("open (read every header and descriptor), 5 runs: best %.1f ms, median %.1f ms, "
                "worst %.1f ms\n",
                times.front() * 1e3, times[2] * 1e3, times.back() * 1e3);
    report("last open", times[2], openIo);

    std::optional<TrackDatabase> database;
    database.emplace(path);
    TrackDatabase& db = *database;
    {
        const auto start = Clock::now();
        int found = 0;
        for (int i = 0; i < entries; ++i)
            found += db.openEntry("/music/" + trackName(i), trackSize(i))->offset >= 0;
        std::printf("openEntry of all %d tracks: %.1f ms (%d found in the file)\n", entries,
                    secondsSince(start) * 1e3, found);
    }

    std::printf("writes of one entry in the middle of the file:\n");
    const int index = entries / 2 / 3 * 3; // one with a comment
    TrackEntry* middle = db.openEntry(trackName(index), trackSize(index));
    measureWrite(db, "changed values, same size (in place)", middle, [](TrackEntry* e) {
        e->analysis->memoryPoint.store(0.25f);
        e->bpm.store(127.5f);
    });
    measureWrite(db, "shorter comment (in place + free rest)", middle,
                 [](TrackEntry* e) { TrackDatabase::setEntryComment(e, ""); });
    measureWrite(db, "much longer comment (moves: walk + append)", middle,
                 [](TrackEntry* e) { TrackDatabase::setEntryComment(e, std::string(300, 'x')); });
    TrackEntry* fresh = db.openEntry("/music/A New Track.mp3", 4242);
    measureWrite(db, "new entry (walk for a free fit)", fresh, [](TrackEntry*) {});
    {
        const Io io = Io::now();
        const auto start = Clock::now();
        for (int i = 0; i < 2; ++i)
            db.acquireAnalysis(db.openEntry(trackName(i), trackSize(i)));
        database.reset();
        report("close with two entries held", secondsSince(start), ioSince(io));
    }
    struct stat info {};
    stat(path.c_str(), &info);
    std::printf("file now %lld bytes\n", static_cast<long long>(info.st_size));
    unlink(path.c_str());
    return 0;
}
