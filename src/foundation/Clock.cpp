#include "Clock.h"

#include <QTimer>

namespace morvane {

namespace {

class QtClockTimer final : public ClockTimer {
public:
    explicit QtClockTimer(std::function<void()> onTimeout)
    {
        // The callback belongs to the connection, which Qt keeps alive while it runs, so a callback
        // that destroys its own timer does not pull the code it runs from under itself.
        QObject::connect(&m_timer, &QTimer::timeout, std::move(onTimeout));
    }

    void start(std::chrono::milliseconds interval, bool repeating) override
    {
        m_timer.setSingleShot(!repeating);
        m_timer.start(interval);
    }
    void stop() override { m_timer.stop(); }
    bool isActive() const override { return m_timer.isActive(); }

private:
    QTimer m_timer;
};

} // namespace

QDateTime SystemClock::now() const
{
    return QDateTime::currentDateTimeUtc();
}

std::chrono::milliseconds SystemClock::monotonic() const
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
}

std::unique_ptr<ClockTimer> SystemClock::makeTimer(std::function<void()> onTimeout)
{
    return std::make_unique<QtClockTimer>(std::move(onTimeout));
}

std::shared_ptr<Clock> SystemClock::shared()
{
    static const std::shared_ptr<Clock> clock = std::make_shared<SystemClock>();
    return clock;
}

} // namespace morvane
