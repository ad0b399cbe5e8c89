#pragma once

#include "foundation/Clock.h"

#include <memory>

namespace morvane::test {

// A clock that moves only when the test moves it. Dates and the monotonic time are readable from
// any thread; timers fire on the thread that calls advance().
class ManualClock final : public Clock {
public:
    explicit ManualClock(const QDateTime& now = QDateTime::fromMSecsSinceEpoch(1714554000000, Qt::UTC));
    ~ManualClock() override;

    QDateTime now() const override;
    std::chrono::milliseconds monotonic() const override;
    std::unique_ptr<ClockTimer> makeTimer(std::function<void()> onTimeout) override;

    // Sets the wall clock alone, as a user changing the system time does.
    void setNow(const QDateTime& now);
    // Moves both clocks forward. Each timer due on the way fires in due order (equal times in the
    // order they were started) with the clock standing at its due time; a repeating timer is started
    // again from that time. Callbacks may start, stop or destroy timers.
    void advance(std::chrono::milliseconds duration);

private:
    struct State;
    class Timer;
    std::shared_ptr<State> m_state;
};

} // namespace morvane::test
