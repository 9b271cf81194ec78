// The real program with its message boxes printed to stdout instead of shown, and
// faults injected on request, so tests can run it as a separate process:
//   ZV_PROBE_FAIL_AT=<creation step number>  sets a deferred fatal message there
//   ZV_PROBE_FAULT=throw|segv                 faults in an event handler once running
// It says "PLAYLIST n" whenever the playlist's length changes.

#include "app/MainWindow.h"
#include "app/MessagePresenter.h"
#include "app/Startup.h"
#include "core/FatalMessage.h"
#include "library/Playlist.h"

#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace {

class PrintingPresenter : public MessagePresenter {
public:
    void showMessage(QWidget*, const QString& text, Icon icon) override {
        QString flat = text;
        flat.replace('\n', "\\n");
        std::printf("BOX %s %s\n", icon == Stop ? "stop" : "plain", qPrintable(flat));
        std::fflush(stdout);
    }
    bool askYesNo(QWidget*, const QString& text) override {
        std::printf("ASK %s\n", qPrintable(text));
        std::fflush(stdout);
        return true;
    }
};

volatile int* gNowhere = nullptr;

} // namespace

int main(int argc, char** argv) {
    static PrintingPresenter presenter;
    setMessagePresenter(&presenter);
    const char* failAt = std::getenv("ZV_PROBE_FAIL_AT");
    const char* fault = std::getenv("ZV_PROBE_FAULT");
    return runZorvendal(argc, argv, [&](MainWindow& main) {
        // Tests must not turn the machine's volume up.
        main.audioOptions.systemVolumes = false;
        if (failAt) {
            int step = std::atoi(failAt);
            main.creationObserver = [step](MainWindow::CreationStep s) {
                if (static_cast<int>(s) == step)
                    setFatalMessage("Probe failure");
            };
        }
        if (fault) {
            bool segv = std::strcmp(fault, "segv") == 0;
            QTimer::singleShot(200, [segv] {
                if (segv)
                    *gNowhere = 42;
                else
                    throw std::runtime_error("probe");
            });
        }
        auto* rows = new QTimer; // lives as long as the process
        QObject::connect(rows, &QTimer::timeout, [&main, last = 0]() mutable {
            const int now = main.playlist() ? main.playlist()->rowCount() : 0;
            if (now != last)
                std::printf("PLAYLIST %d\n", last = now);
            std::fflush(stdout);
        });
        rows->start(20);
        // Said once the main loop runs, when a signal closes the window in order.
        QTimer::singleShot(0, [] {
            std::printf("READY\n");
            std::fflush(stdout);
        });
    });
}
