// render-desk OUT.png [SECONDS]: the real desk, drawn offscreen with two demo tracks
// loaded and playing on a virtual sound card for a while, the rhythm window running,
// saved as a picture (the README's picture). Touches no user file: settings, database
// and demo tracks live in a temporary folder.

#include "app/DeskInput.h"
#include "app/MainWidget.h"
#include "app/MainWindow.h"
#include "audio/card/VirtualCard.h"
#include "audio/deck/Deck.h"
#include "audio/deck/DeckTable.h"
#include "core/Clock.h"
#include "core/FatalMessage.h"
#include "core/Settings.h"
#include "library/DemoTracks.h"
#include "library/TrackDatabase.h"
#include "library/TrackNames.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: render-desk OUT.png [SECONDS]\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setStyle("Fusion");
    std::setlocale(LC_NUMERIC, "C");
    const QString out = QString::fromLocal8Bit(argv[1]);
    const int seconds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 12;

    QTemporaryDir dir;
    settings().setStorageFile(dir.filePath("settings.ini"));
    settings().load();
    settings().homeFolder = dir.path();
    settings().maximized = 0;
    std::string error;
    const std::string folder = dir.filePath("demo").toStdString();
    if (writeDemoTracks(folder, 80.0, &error) != int(demoTracks().size())) {
        std::fprintf(stderr, "render-desk: cannot write the demo tracks: %s\n", error.c_str());
        return 1;
    }

    RealClock clock;
    MainWindow main(clock);
    main.audioOptions.systemVolumes = false;
    main.audioOptions.openDevice = [](const SoundCardId*, bool, int,
                                      std::unique_ptr<SoundDevice>* device) {
        *device = VirtualCard::createRealTime();
        return SoundResult::Ok;
    };
    MainWidget widget(main);
    if (!main.onCreate(&widget)) {
        std::fprintf(stderr, "render-desk: the desk could not start: %s\n",
                     fatalMessage() ? fatalMessage() : "?");
        main.onDestroy();
        return 1;
    }
    widget.show();

    // Two tracks, both playing, the second beat-matched to the first and the crossfader
    // a little towards it: a mix under way.
    const auto& tracks = demoTracks();
    for (int d = 0; d < 2; ++d) {
        const std::string path = folder + "/" + tracks[size_t(d)].fileName;
        main.loadIntoDeck(
            d, makeTrackRecord(*main.database(), path, uint32_t(std::filesystem::file_size(path))));
    }
    deckAt(0)->play();
    QTimer::singleShot(2000, [&] {
        deckAt(1)->play();
        main.magicSync(1);
        main.desk()->setCrossfader(150);
        main.desk()->selectPage(kPagePlaylist);
    });
    // Once the second deck's beats are known, its phase is matched again.
    QTimer::singleShot(6000, [&] { main.magicSync(1); });
    QTimer::singleShot(seconds * 1000, [&] {
        const QImage picture = widget.grab().toImage();
        if (!picture.save(out))
            std::fprintf(stderr, "render-desk: cannot write %s\n", qPrintable(out));
        // Stopped decks close the window without the quit question.
        for (int d = 0; d < 2; ++d)
            deckAt(d)->pause();
        QApplication::quit();
    });
    QApplication::exec();
    main.prepareClose();
    main.onDestroy();
    return 0;
}
