#pragma once
// The one interface through which the main window's timers run, so the same code can
// run in real time (Qt timers) or in the virtual time of tests and offline tools.
//
// Threading: main thread only.

#include <QObject>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>

class QTimer;

class Clock {
public:
    using Tick = std::function<void(int id)>;
    virtual ~Clock() = default;
    // Starts (or restarts) the periodic timer id; each period calls tick(id).
    virtual void startTimer(int id, int periodMs, Tick tick) = 0;
    virtual void killTimer(int id) = 0;
    virtual bool isRunning(int id) const = 0;
    // Milliseconds since the clock was made.
    virtual int64_t nowMs() const = 0;
};

// Real time, on Qt timers of the main thread.
class RealClock : public Clock {
public:
    RealClock();
    ~RealClock() override;
    void startTimer(int id, int periodMs, Tick tick) override;
    void killTimer(int id) override;
    bool isRunning(int id) const override;
    int64_t nowMs() const override;

private:
    std::map<int, std::unique_ptr<QTimer>> timers_;
    int64_t startMs_;
};

// Virtual time: nothing happens until advance() is called; timers then fire in time
// order (equal times in the order they were started), exactly as often as the
// elapsed time says.
class VirtualClock : public Clock {
public:
    void startTimer(int id, int periodMs, Tick tick) override;
    void killTimer(int id) override;
    bool isRunning(int id) const override;
    int64_t nowMs() const override { return now_; }
    // Moves time on by ms, firing every timer that falls due on the way.
    void advance(int64_t ms);

private:
    struct Timer {
        int64_t period;
        int64_t due;
        uint64_t order;
        Tick tick;
    };
    std::map<int, Timer> timers_;
    int64_t now_ = 0;
    uint64_t nextOrder_ = 0;
};
