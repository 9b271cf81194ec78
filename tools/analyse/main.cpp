// zorvendal-analyse: measures the tempo, start and end points, peak energy and loudness
// of music files (any format the decks play) with the decks' own decoders and beat
// analyser, without a sound card and as fast as the machine allows.
//
// Usage: zorvendal-analyse [--json] [--store [--database PATH]] FILE...
// Exit status: 0 when at least one file was analysed, 1 when none could be, 2 for a
// usage error. A folder of music with a few broken files is still a success: the good
// files are reported and each failure is named. With --store the results also go into
// the track database, as if each track had been played through; a database that another
// running copy holds is left alone, with a word and status 1.

#include "core/Settings.h"
#include "library/AnalysisService.h"
#include "library/FileAnalyser.h"
#include "library/TrackDatabase.h"
#include "tools/analyse/ReportFormat.h"

#include <QCoreApplication>

#include <algorithm>
#include <atomic>
#include <clocale>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kMaxWorkers = 2; // files analysed at once
constexpr int kBarWidth = 30;

void printUsage(FILE* to) {
    std::fputs("Usage: zorvendal-analyse [--json] [--store [--database PATH]] FILE...\n"
               "Prints for each music file (MP3, WAV, FLAC, Ogg, Opus, AAC/M4A, ALAC, AIFF):\n"
               "path, BPM, start and end point in seconds, peak energy and loudness,\n"
               "separated by tabs; with --json, one JSON array.\n"
               "--store also keeps the results in the track database (default: the one in\n"
               "the home folder), as if each track had been played through.\n",
               to);
}

// Results come back from the workers in any order and are printed in the order given.
struct Progress {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<FileReport> reports;
    std::vector<bool> done;
    size_t finished = 0;
};

void work(const std::vector<std::string>& paths, std::atomic<size_t>& next, Progress& progress) {
    auto analyser = std::make_unique<FileAnalyser>();
    for (size_t i = next++; i < paths.size(); i = next++) {
        FileReport report = analyser->analyse(paths[i]);
        std::lock_guard lock(progress.mutex);
        progress.reports[i] = std::move(report);
        progress.done[i] = true;
        ++progress.finished;
        progress.changed.notify_one();
    }
}

class ProgressBar {
public:
    explicit ProgressBar(bool shown) : shown_(shown) {}
    void draw(size_t finished, size_t total) {
        if (!shown_)
            return;
        const size_t filled = total ? finished * kBarWidth / total : 0;
        std::string bar(filled, '#');
        bar.append(kBarWidth - filled, '.');
        std::fprintf(stderr, "\r[%s] %zu/%zu", bar.c_str(), finished, total);
        std::fflush(stderr);
    }
    // Clears the bar's line before other output goes to the terminal.
    void clear() {
        if (shown_) {
            std::fputs("\r\033[K", stderr);
            std::fflush(stderr);
        }
    }

private:
    bool shown_;
};

// Stores the reports of the files analysed; false with a message when the database
// cannot take them.
bool storeReports(const std::vector<FileReport>& reports, std::string databasePath) {
    if (databasePath.empty()) {
        settings().load();
        databasePath = TrackDatabase::defaultFilePath();
    }
    TrackDatabase database(databasePath);
    if (database.status() != DatabaseStatus::Ok || !database.hasFile() || database.isReadOnly()) {
        const char* why = database.isReadOnly() ? "in use by a running copy of the program"
                          : database.status() != DatabaseStatus::Ok
                              ? databaseMessage(database.status())
                              : "cannot be opened";
        std::fprintf(stderr, "zorvendal-analyse: %s: %s; nothing stored\n", databasePath.c_str(),
                     why);
        return false;
    }
    int stored = 0, analysed = 0;
    for (const FileReport& report : reports) {
        analysed += report.ok() ? 1 : 0;
        stored += storeWholeAnalysis(database, report) != nullptr ? 1 : 0;
    }
    std::fprintf(stderr, "zorvendal-analyse: %d of %d analysed tracks stored in %s\n", stored,
                 analysed, databasePath.c_str());
    return true;
}

} // namespace

int main(int argc, char** argv) {
    bool json = false;
    bool store = false;
    std::string databasePath;
    std::vector<std::string> paths;
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (options && std::strcmp(arg, "--") == 0) {
            options = false;
        } else if (options && std::strcmp(arg, "--json") == 0) {
            json = true;
        } else if (options && std::strcmp(arg, "--store") == 0) {
            store = true;
        } else if (options && std::strcmp(arg, "--database") == 0) {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "zorvendal-analyse: --database needs a path\n");
                return 2;
            }
            databasePath = argv[++i];
        } else if (options && (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0)) {
            printUsage(stdout);
            return 0;
        } else if (options && arg[0] == '-' && arg[1] != '\0') {
            std::fprintf(stderr, "zorvendal-analyse: unknown option %s\n", arg);
            printUsage(stderr);
            return 2;
        } else {
            paths.emplace_back(arg);
        }
    }
    if (paths.empty() || (!databasePath.empty() && !store)) {
        printUsage(stderr);
        return 2;
    }
    // The settings (the home folder, where the database lives) are read through Qt.
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName("Zorvendal");
    QCoreApplication::setApplicationName("Zorvendal");
    std::setlocale(LC_NUMERIC, "C"); // Qt took the user's locale: numbers keep their point

    Progress progress;
    progress.reports.resize(paths.size());
    progress.done.assign(paths.size(), false);
    std::atomic<size_t> next{0};
    const size_t workers = std::min<size_t>(
        {kMaxWorkers, paths.size(), std::max(1u, std::thread::hardware_concurrency())});
    std::vector<std::thread> threads;
    for (size_t w = 0; w < workers; ++w)
        threads.emplace_back(work, std::cref(paths), std::ref(next), std::ref(progress));

    ProgressBar bar(paths.size() > 1 && isatty(STDERR_FILENO));
    if (json)
        std::fputs("[", stdout);
    size_t printed = 0;
    size_t analysed = 0;
    std::unique_lock lock(progress.mutex);
    bar.draw(0, paths.size());
    while (printed < paths.size()) {
        progress.changed.wait(lock, [&] { return progress.done[printed]; });
        bar.clear();
        for (; printed < paths.size() && progress.done[printed]; ++printed) {
            const FileReport& r = progress.reports[printed];
            if (r.ok())
                ++analysed;
            if (json) {
                std::printf("%s\n  %s", printed ? "," : "", reportJson(r).c_str());
            } else if (r.ok()) {
                std::printf("%s\n", reportLine(r).c_str());
            }
            std::fflush(stdout);
            if (!r.ok() && !json)
                std::fprintf(stderr, "zorvendal-analyse: %s: %s\n", r.path.c_str(),
                             r.error.c_str());
            if (!r.warning.empty() && !json)
                std::fprintf(stderr, "zorvendal-analyse: %s: %s\n", r.path.c_str(),
                             r.warning.c_str());
        }
        bar.draw(progress.finished, paths.size());
    }
    lock.unlock();
    bar.clear();
    if (json)
        std::fputs("\n]\n", stdout);
    for (std::thread& t : threads)
        t.join();
    if (store && analysed > 0 && !storeReports(progress.reports, databasePath))
        return 1;
    return analysed > 0 ? 0 : 1;
}
