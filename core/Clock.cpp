#include "core/Clock.h"

#include <QDateTime>
#include <QTimer>

RealClock::RealClock() : startMs_(QDateTime::currentMSecsSinceEpoch()) {}

RealClock::~RealClock() = default;

void RealClock::startTimer(int id, int periodMs, Tick tick) {
    auto& timer = timers_[id];
    if (!timer) {
        timer = std::make_unique<QTimer>();
        // Qt's default coarse timers may fire 5 % early or late: a mix's 200-ms steps
        // would wander against the music, and the 40-s history timer by two seconds.
        timer->setTimerType(Qt::PreciseTimer);
    }
    timer->stop();
    timer->disconnect();
    QObject::connect(timer.get(), &QTimer::timeout, [id, tick = std::move(tick)] { tick(id); });
    timer->start(periodMs);
}

void RealClock::killTimer(int id) {
    auto it = timers_.find(id);
    if (it != timers_.end())
        it->second->stop();
}

bool RealClock::isRunning(int id) const {
    auto it = timers_.find(id);
    return it != timers_.end() && it->second->isActive();
}

int64_t RealClock::nowMs() const {
    return QDateTime::currentMSecsSinceEpoch() - startMs_;
}

void VirtualClock::startTimer(int id, int periodMs, Tick tick) {
    int64_t period = periodMs > 0 ? periodMs : 1;
    timers_[id] = Timer{period, now_ + period, nextOrder_++, std::move(tick)};
}

void VirtualClock::killTimer(int id) {
    timers_.erase(id);
}

bool VirtualClock::isRunning(int id) const {
    return timers_.count(id) != 0;
}

void VirtualClock::advance(int64_t ms) {
    const int64_t end = now_ + ms;
    for (;;) {
        // The earliest due timer; a handler may start or kill timers, so search anew.
        auto next = timers_.end();
        for (auto it = timers_.begin(); it != timers_.end(); ++it) {
            if (it->second.due > end)
                continue;
            if (next == timers_.end() || it->second.due < next->second.due ||
                (it->second.due == next->second.due && it->second.order < next->second.order))
                next = it;
        }
        if (next == timers_.end())
            break;
        now_ = next->second.due;
        next->second.due += next->second.period;
        next->second.order = nextOrder_++;
        Tick tick = next->second.tick; // the handler may kill its own timer
        tick(next->first);
    }
    now_ = end;
}
