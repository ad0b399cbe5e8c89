#include "ManualClock.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <utility>

namespace morvane::test {

struct ManualClock::State {
    struct Entry {
        std::function<void()> onTimeout;
        bool active = false;
        bool repeating = false;
        std::chrono::milliseconds interval{0};
        std::chrono::milliseconds due{0};
        quint64 order = 0; // when it was last started, to break ties between equal due times
    };

    mutable std::mutex mutex;
    QDateTime wall;
    std::chrono::milliseconds monotonic{0};
    std::map<quint64, Entry> timers;
    quint64 nextId = 0;
    quint64 nextOrder = 0;

    // Moves both clocks to the monotonic time `to`; the caller holds the mutex.
    void moveTo(std::chrono::milliseconds to)
    {
        wall = wall.addMSecs((to - monotonic).count());
        monotonic = to;
    }
};

class ManualClock::Timer final : public ClockTimer {
public:
    Timer(std::shared_ptr<State> state, quint64 id)
        : m_state(std::move(state))
        , m_id(id)
    {
    }
    ~Timer() override
    {
        std::lock_guard lock(m_state->mutex);
        m_state->timers.erase(m_id);
    }

    void start(std::chrono::milliseconds interval, bool repeating) override
    {
        std::lock_guard lock(m_state->mutex);
        State::Entry& entry = m_state->timers.at(m_id);
        entry.active = true;
        entry.repeating = repeating;
        entry.interval = interval;
        entry.due = m_state->monotonic + interval;
        entry.order = m_state->nextOrder++;
    }
    void stop() override
    {
        std::lock_guard lock(m_state->mutex);
        m_state->timers.at(m_id).active = false;
    }
    bool isActive() const override
    {
        std::lock_guard lock(m_state->mutex);
        return m_state->timers.at(m_id).active;
    }

private:
    std::shared_ptr<State> m_state;
    quint64 m_id;
};

ManualClock::ManualClock(const QDateTime& now)
    : m_state(std::make_shared<State>())
{
    m_state->wall = now.toUTC();
}

ManualClock::~ManualClock() = default;

QDateTime ManualClock::now() const
{
    std::lock_guard lock(m_state->mutex);
    return m_state->wall;
}

std::chrono::milliseconds ManualClock::monotonic() const
{
    std::lock_guard lock(m_state->mutex);
    return m_state->monotonic;
}

std::unique_ptr<ClockTimer> ManualClock::makeTimer(std::function<void()> onTimeout)
{
    std::lock_guard lock(m_state->mutex);
    const quint64 id = m_state->nextId++;
    m_state->timers[id].onTimeout = std::move(onTimeout);
    return std::make_unique<Timer>(m_state, id);
}

void ManualClock::setNow(const QDateTime& now)
{
    std::lock_guard lock(m_state->mutex);
    m_state->wall = now.toUTC();
}

void ManualClock::advance(std::chrono::milliseconds duration)
{
    std::unique_lock lock(m_state->mutex);
    const std::chrono::milliseconds target = m_state->monotonic + duration;
    for (;;) {
        State::Entry* next = nullptr;
        for (auto& [id, entry] : m_state->timers) {
            if (entry.active && entry.due <= target &&
                (!next || std::pair(entry.due, entry.order) < std::pair(next->due, next->order)))
                next = &entry;
        }
        if (!next)
            break;
        m_state->moveTo(next->due);
        if (next->repeating) {
            // A zero interval would fire forever within one instant.
            next->due += std::max(next->interval, std::chrono::milliseconds(1));
            next->order = m_state->nextOrder++;
        } else {
            next->active = false;
        }
        // A copy: the callback may destroy its own timer.
        const std::function<void()> onTimeout = next->onTimeout;
        lock.unlock();
        onTimeout();
        lock.lock();
    }
    m_state->moveTo(target);
}

} // namespace morvane::test
