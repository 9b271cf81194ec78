// zorvendal-mix: renders a DJ mix of a playlist with the program's Auto Mix.
//   zorvendal-mix [options] PLAYLIST -o OUT.wav
// PLAYLIST is an .m3u or .pls file, or several audio files.

#include "tools/mix/MixRenderer.h"

#include <QCoreApplication>

#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

void usage() {
    std::fprintf(stderr,
                 "usage: zorvendal-mix [options] PLAYLIST -o OUT.wav\n"
                 "  PLAYLIST            an .m3u or .pls file, or several music files\n"
                 "  -o, --output FILE   the mix to write (WAV, 44100 Hz, 16-bit stereo)\n"
                 "  --long-mix N        mix length: 0 (6.4 s), 16, 40, 64 or 112 (28.8 s)\n"
                 "  --no-master-tempo   speed changes change the pitch\n"
                 "  --auto-level        match the loudness of each incoming track\n"
                 "  --narrow-pitch      speeds limited to -8 %% .. +8 %%\n"
                 "  --no-auto-bpm       do not match the tempo of incoming tracks\n"
                 "  --classic-resampling  speed changes and Master Tempo as the first versions\n"
                 "  --database PATH     the track database (default: the one in the home folder)\n"
                 "  --live              play on the sound card in real time\n"
                 "  --json-summary FILE write what was mixed, and when, as JSON\n");
}

bool parseLongMix(const char* text, int* value) {
    const std::string t = text;
    for (int v : {0, 16, 40, 64, 112}) {
        if (t == std::to_string(v)) {
            *value = v;
            return true;
        }
    }
    return false;
}

std::string baseName(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName("Zorvendal");
    QCoreApplication::setApplicationName("Zorvendal");
    std::setlocale(LC_NUMERIC, "C");
    // Past a file size limit a write then fails (and the mix stops with a message)
    // instead of the signal killing the process with the header out of date.
    std::signal(SIGXFSZ, SIG_IGN);
    // Ctrl-C and SIGTERM end the mix in order: the file's header and the summary are
    // written. A second one ends the process at once.
    struct sigaction stop = {};
    stop.sa_handler = [](int signal) { MixRenderer::requestStop(signal); };
    stop.sa_flags = SA_RESETHAND;
    sigemptyset(&stop.sa_mask);
    sigaction(SIGINT, &stop, nullptr);
    sigaction(SIGTERM, &stop, nullptr);

    MixOptions options;
    std::string summaryPath;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](const char* name) -> const char* {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "zorvendal-mix: %s needs a value\n", name);
                std::exit(2);
            }
            return argv[++i];
        };
        if (arg == "-o" || arg == "--output") {
            options.output = value("--output");
        } else if (arg == "--long-mix") {
            if (!parseLongMix(value("--long-mix"), &options.longMix)) {
                std::fprintf(stderr, "zorvendal-mix: --long-mix takes 0, 16, 40, 64 or 112\n");
                return 2;
            }
        } else if (arg == "--no-master-tempo") {
            options.masterTempo = false;
        } else if (arg == "--auto-level") {
            options.autoLevel = true;
        } else if (arg == "--narrow-pitch") {
            options.narrowPitch = true;
        } else if (arg == "--no-auto-bpm") {
            options.autoBpm = false;
        } else if (arg == "--classic-resampling") {
            options.classicResampling = true;
        } else if (arg == "--database") {
            options.database = value("--database");
        } else if (arg == "--live") {
            options.live = true;
        } else if (arg == "--json-summary") {
            summaryPath = value("--json-summary");
        } else if (arg == "-h" || arg == "--help") {
            usage();
            return 0;
        } else if (!arg.empty() && arg[0] == '-') {
            std::fprintf(stderr, "zorvendal-mix: unknown option %s\n", arg.c_str());
            usage();
            return 2;
        } else {
            options.inputs.push_back(arg);
        }
    }
    if (options.inputs.empty() || options.output.empty()) {
        usage();
        return 2;
    }

    options.notice = [](const std::string& text) {
        std::fprintf(stderr, "zorvendal-mix: %s\n", text.c_str());
    };
    const bool showProgress = isatty(STDERR_FILENO);
    MixProgress progress;
    if (showProgress) {
        progress = [](const std::string& track, double seconds, double factor) {
            const int s = int(seconds);
            std::fprintf(stderr, "\r\033[K%d:%02d:%02d  %6.0fx  %s", s / 3600, s / 60 % 60, s % 60,
                         factor, baseName(track).c_str());
            std::fflush(stderr);
        };
    }

    MixRenderer renderer(options);
    MixSummary summary;
    std::string error;
    const bool ok = renderer.run(&summary, &error, progress);
    if (showProgress)
        std::fprintf(stderr, "\r\033[K");
    for (const SkippedTrack& s : summary.skipped)
        std::fprintf(stderr, "zorvendal-mix: skipped %s: %s\n", s.path.c_str(), s.reason.c_str());
    if (!summaryPath.empty() && summary.rendered) {
        std::ofstream out(summaryPath);
        out << MixRenderer::summaryJson(summary);
        if (!out) {
            std::fprintf(stderr, "zorvendal-mix: cannot write %s\n", summaryPath.c_str());
            return 1;
        }
    }
    if (!ok) {
        std::fprintf(stderr, "zorvendal-mix: %s\n", error.c_str());
        // Stopped on request: the shell's usual status for a process ended by it.
        const int signal = MixRenderer::stopSignal();
        return signal != 0 ? 128 + signal : 1;
    }
    std::fprintf(stderr, "zorvendal-mix: %zu tracks, %.1f s of mix, %.0f x real time\n",
                 summary.tracks.size(), summary.outputSeconds, summary.realTimeFactor);
    return 0;
}
