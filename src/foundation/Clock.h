#pragma once

#include <QDateTime>

#include <chrono>
#include <functional>
#include <memory>

namespace morvane {

// A timer made by a Clock: fires its callback on the thread that made it (the main thread for every
// timer-driven service), once or repeatedly, until stopped or destroyed.
class ClockTimer {
public:
    virtual ~ClockTimer() = default;
    // Starting an active timer starts it again from now with the new interval.
    virtual void start(std::chrono::milliseconds interval, bool repeating) = 0;
    virtual void stop() = 0;
    virtual bool isActive() const = 0;
};

// Where time comes from: the wall clock for dates written to the library, a monotonic clock for
// durations, and timers. Injected so that tests pin dates and advance a long timer without waiting.
// now() and monotonic() may be called from any thread (the store thread dates what it writes);
// timers are made on the thread they fire on.
class Clock {
public:
    virtual ~Clock() = default;
    // Now, in UTC, to the millisecond.
    virtual QDateTime now() const = 0;
    // Time since an arbitrary fixed point; never goes back.
    virtual std::chrono::milliseconds monotonic() const = 0;
    virtual std::unique_ptr<ClockTimer> makeTimer(std::function<void()> onTimeout) = 0;
};

// The real clock: QDateTime for the wall, steady_clock for durations, QTimer for timers.
class SystemClock final : public Clock {
public:
    QDateTime now() const override;
    std::chrono::milliseconds monotonic() const override;
    std::unique_ptr<ClockTimer> makeTimer(std::function<void()> onTimeout) override;

    // The process's one real clock.
    static std::shared_ptr<Clock> shared();
};

} // namespace morvane
