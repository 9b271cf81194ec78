#pragma once
// The fatal-exception guard of the main loop. A C++ exception escaping an event
// handler, or a fatal signal (SIGSEGV, SIGBUS, SIGILL, SIGFPE) on the main thread,
// ends the loop; the guard then reports the faulting address and the 32-bit word
// stored there (0 when it cannot be read) and returns, so the caller ends the run
// without saving the settings.
//
// A fatal signal on any other thread (the audio thread, the sound library's, a
// worker) never returns into the loop's thread: the report goes to the standard error
// stream and the process ends there by that signal. After a signal, on any thread,
// none of the program's own code runs on: the database and the settings are not
// written from memory the fault may have damaged.

#include <QApplication>
#include <QString>

#include <cstdint>
#include <functional>

// The application object: it catches exceptions escaping event handlers.
class GuardedApplication : public QApplication {
public:
    GuardedApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

struct FatalReport {
    bool happened = false;
    bool fromSignal = false; // a fault, not an exception: memory may be damaged
    uint64_t address = 0;
    uint32_t word = 0;
};

// Runs loop() under the guard. Returns the report; happened is false when loop()
// ended normally.
FatalReport runGuarded(const std::function<void()>& loop);

// The report's text for the message box.
QString fatalReportText(const FatalReport& report);

// Called once the report was shown: after a fault the process ends here (exit status
// 0, as after any reported fatal error), before anything could write files from
// damaged memory; after an exception it returns, and the run ends in order.
void endRunAfter(const FatalReport& report);

// The 32-bit word at address, or 0 when that memory cannot be read.
uint32_t readWordSafely(uint64_t address);
