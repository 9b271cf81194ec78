// The desk's drawing and response: a whole redraw of the desk into the back buffer,
// one 100 ms display tick with two decks playing, and the time from a click on play
// to the deck playing, with the real audio thread on a real-time virtual card.
// bench_desk [ROUNDS] [--analyse FOLDER SECONDS]
// With --analyse, the program's background analysis works through FOLDER for SECONDS
// of real time while deck 1 plays on and deck 0 is started by a click every 100 ms:
// prints the clicks' latency, deck 1's smallest lead of rendered sound over the card
// (0 would be a frame the card played before it was rendered) and the tracks analysed.

#include "app/DeskInput.h"
#include "app/MainWidget.h"
#include "app/MainWindow.h"
#include "audio/card/VirtualCard.h"
#include "audio/deck/Deck.h"
#include "audio/deck/DeckTable.h"
#include "core/Clock.h"
#include "core/Settings.h"
#include "library/DemoTracks.h"
#include "library/TrackDatabase.h"
#include "library/TrackNames.h"

#include <QApplication>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace {

using Steady = std::chrono::steady_clock;

double msSince(Steady::time_point t) {
    return std::chrono::duration<double, std::milli>(Steady::now() - t).count();
}

void report(const char* what, std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    double sum = 0;
    for (double v : ms)
        sum += v;
    std::printf("%-34s mean %.3f ms  median %.3f  p99 %.3f  max %.3f  (%zu runs)\n", what,
                sum / double(ms.size()), ms[ms.size() / 2], ms[ms.size() * 99 / 100], ms.back(),
                ms.size());
}

// Frames deck d has rendered ahead of the frame heard.
int32_t renderedLead(int d) {
    const Deck* deck = deckAt(d);
    const int32_t lead = deck->sharedWritePos.load() - deck->sharedPlayPos.load();
    return lead < 0 ? lead + kOutputRingFrames : lead;
}

// Clicks play on deck 0 every 100 ms while the analysis queue works, deck 1 playing.
void analyseWhilePlaying(MainWindow& main, VirtualClock& clock, const std::string& folder,
                         int seconds) {
    const int queued = main.analyseFolder(folder);
    const QPoint play(238, 326);
    std::vector<double> click;
    int32_t smallestLead = kOutputRingFrames;
    const auto end = Steady::now() + std::chrono::seconds(seconds);
    while (Steady::now() < end) {
        main.desk()->buttonUp(play);
        deckAt(0)->pause();
        const auto t = Steady::now();
        main.desk()->buttonDown(true, play);
        click.push_back(msSince(t));
        const auto tickEnd = t + std::chrono::milliseconds(100);
        while (Steady::now() < tickEnd) {
            QCoreApplication::processEvents();
            smallestLead = std::min(smallestLead, renderedLead(1));
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        clock.advance(100); // the display tick stores what the workers finished
    }
    main.desk()->buttonUp(play);
    report("click on play, analysis running", click);
    std::printf("deck 1 smallest rendered lead: %.1f ms; tracks queued %d, still pending %d\n",
                smallestLead / 44.1, queued, main.analysesPending());
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(10, std::atoi(argv[1])) : 300;
    const bool analyse = argc > 4 && std::string(argv[2]) == "--analyse";
    QTemporaryDir dir;
    settings().setStorageFile(dir.filePath("settings.ini"));
    settings().load();
    settings().homeFolder = dir.path();
    settings().maximized = 0;
    const std::string folder = dir.filePath("demo").toStdString();
    writeDemoTracks(folder, 30.0, nullptr);

    VirtualClock clock;
    MainWindow main(clock);
    main.audioOptions.systemVolumes = false;
    main.audioOptions.openDevice = [](const SoundCardId*, bool, int,
                                      std::unique_ptr<SoundDevice>* device) {
        *device = VirtualCard::createRealTime();
        return SoundResult::Ok;
    };
    MainWidget widget(main);
    if (!main.onCreate(&widget))
        return 1;
    for (int d = 0; d < 2; ++d) {
        const std::string path = folder + "/" + demoTracks()[size_t(d)].fileName;
        main.loadIntoDeck(
            d, makeTrackRecord(*main.database(), path, uint32_t(std::filesystem::file_size(path))));
        deckAt(d)->play();
    }

    std::vector<double> redraw, tick, click;
    for (int i = 0; i < rounds; ++i) {
        auto t = Steady::now();
        main.desk()->applySkin(i % 2 ? kSliderModePitch : kSliderModeLevel);
        redraw.push_back(msSince(t));
    }
    for (int i = 0; i < rounds; ++i) {
        QCoreApplication::processEvents(); // the decks move on meanwhile
        auto t = Steady::now();
        clock.advance(100);
        tick.push_back(msSince(t));
    }
    const QPoint play(238, 326);
    for (int i = 0; i < rounds; ++i) {
        main.desk()->buttonUp(play);
        deckAt(0)->pause();
        auto t = Steady::now();
        main.desk()->buttonDown(true, play); // waits for the audio thread to start the deck
        const bool playing = deckAt(0)->playing.load();
        click.push_back(msSince(t));
        if (!playing)
            std::printf("a click did not start the deck\n");
    }
    main.desk()->buttonUp(play);
    report("whole desk redraw", redraw);
    report("display tick (two decks playing)", tick);
    report("click on play to playing", click);
    if (analyse)
        analyseWhilePlaying(main, clock, argv[3], std::max(1, std::atoi(argv[4])));
    for (int d = 0; d < 2; ++d)
        deckAt(d)->pause();
    main.prepareClose();
    main.onDestroy();
    return 0;
}
