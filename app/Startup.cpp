#include "app/Startup.h"

#include "app/FatalGuard.h"
#include "app/MainWidget.h"
#include "app/MainWindow.h"
#include "app/MessagePresenter.h"
#include "app/ScreenSaverInhibitor.h"
#include "app/SingleInstance.h"
#include "app/StartScreen.h"
#include "audio/decoders/PlayableFiles.h"
#include "core/Clock.h"
#include "core/FatalMessage.h"
#include "core/Settings.h"
#include "library/DemoTracks.h"

#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QSocketNotifier>

#include <clocale>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

namespace {

// SIGTERM and SIGINT close the window in order (settings saved), through a pipe
// because a signal handler may not touch Qt.
int gTerminatePipe[2] = {-1, -1};

void onTerminate(int) {
    char byte = 1;
    [[maybe_unused]] ssize_t n = write(gTerminatePipe[1], &byte, 1);
}

// Installed before the program claims its name: a SIGTERM that comes while the window
// is still being built waits in the pipe instead of killing the process unsaved.
void catchTermination() {
    if (pipe2(gTerminatePipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    struct sigaction action {};
    action.sa_handler = onTerminate;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

std::unique_ptr<QSocketNotifier> watchTermination(MainWindow& main) {
    if (gTerminatePipe[0] < 0)
        return nullptr;
    auto notifier = std::make_unique<QSocketNotifier>(gTerminatePipe[0], QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, [&main] {
        char byte;
        while (read(gTerminatePipe[0], &byte, 1) > 0) {
        }
        if (main.quitRequested())
            return;
        main.prepareClose();
        main.onDestroy();
    });
    return notifier;
}

int displayWidth() {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen || screen->geometry().width() < 800)
        return 800;
    return screen->geometry().width();
}

} // namespace

// On the first run the home folder receives a few demo tracks, so that a new user has
// something to load, play and mix at once. A marker keeps them from coming back once
// deleted; a failure costs nothing but the demo.
std::thread offerDemoTracks() {
    const QString home = settings().homeFolder;
    if (home.isEmpty())
        return {};
    const std::string marker = (home + "/.demo-tracks-written").toStdString();
    if (QFileInfo::exists(QString::fromStdString(marker)))
        return {};
    const std::string folder = (home + "/" + kDemoTracksFolder).toStdString();
    // Made beside the starting desk, at a lower priority than the sound.
    return std::thread([folder, marker] {
        setpriority(PRIO_PROCESS, pid_t(syscall(SYS_gettid)), 10);
        std::string error;
        if (writeDemoTracks(folder, kDemoTrackSeconds, &error) == int(demoTracks().size()))
            std::ofstream(marker, std::ios::binary).flush();
    });
}

std::vector<std::string> filesToOpen(int argc, char** argv) {
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        char* full = isPlayableFileName(argv[i]) ? ::realpath(argv[i], nullptr) : nullptr;
        if (full != nullptr)
            files.emplace_back(full);
        std::free(full);
    }
    return files;
}

int runZorvendal(int argc, char** argv, const std::function<void(MainWindow&)>& prepare) {
    GuardedApplication app(argc, argv);
    QCoreApplication::setOrganizationName("Zorvendal");
    QCoreApplication::setApplicationName("Zorvendal");
    // The program's own numbers always use '.', whatever the user's locale.
    setlocale(LC_NUMERIC, "C");
    app.setQuitOnLastWindowClosed(false);

    settings().load();

    catchTermination();
    const std::vector<std::string> files = filesToOpen(argc, argv);
    SingleInstance instance;
    bool multi = settings().multiInstance.load(std::memory_order_relaxed) != 0;
    if (!multi && !files.empty() && instance.handOver(files))
        return 0; // the running copy opens them
    if (!multi && instance.anotherIsRunning()) {
        messagePresenter().showMessage(nullptr, kMultiInstanceRefusal, MessagePresenter::None);
        return -1;
    }
    instance.claim();

    clearFatalMessage();
    auto startScreen = std::make_unique<StartScreen>();
    startScreen->present();
    clearFatalMessage();
    std::thread demoTracks = offerDemoTracks();

    RealClock clock;
    auto main = std::make_unique<MainWindow>(clock);
    main->onQuit = [] { QCoreApplication::quit(); };
    if (prepare)
        prepare(*main);

    const int width = displayWidth();
    auto widget = std::make_unique<MainWidget>(*main);
    widget->move(width / 2 - 400, 0);
    if (!main->onCreate(widget.get())) {
        main->onDestroy();
        widget.reset();
    } else {
        if (!widget->isFullScreen())
            widget->show();
        main->openFiles(files);
        instance.onFiles = [&main, &widget](const std::vector<std::string>& paths) {
            main->openFiles(paths);
            widget->activateWindow();
            widget->raise();
        };
    }

    startScreen->close();
    startScreen.reset();

    if (widget) {
        auto terminate = watchTermination(*main);
        ScreenSaverInhibitor screenSaver;
        FatalReport report = runGuarded([&] {
            if (!main->quitRequested())
                app.exec();
        });
        if (report.happened) {
            messagePresenter().showMessage(nullptr, fatalReportText(report),
                                           MessagePresenter::None);
            endRunAfter(report);
        }
        terminate.reset();
        instance.onFiles = nullptr;
        widget.reset();
    }

    main.reset();
    if (demoTracks.joinable())
        demoTracks.join();
    if (const char* text = fatalMessage())
        messagePresenter().showMessage(nullptr, text, MessagePresenter::Stop);
    return 0;
}
