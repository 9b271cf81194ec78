#pragma once
// The fatal-exception guard of the main loop. A C++ exception escaping an event
// handler, or a fatal signal (SIGSEGV, SIGBUS, SIGILL, SIGFPE) on the main thread,
// ends the loop; the guard then reports the faulting address and the 32-bit word
// stored there (0 when it cannot be read) and returns, so the caller ends the run in
// order without saving the settings.

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
    uint64_t address = 0;
    uint32_t word = 0;
};

// Runs loop() under the guard. Returns the report; happened is false when loop()
// ended normally.
FatalReport runGuarded(const std::function<void()>& loop);

// The report's text for the message box.
QString fatalReportText(const FatalReport& report);

// The 32-bit word at address, or 0 when that memory cannot be read.
uint32_t readWordSafely(uint64_t address);
