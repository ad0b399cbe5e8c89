#pragma once

#include "foundation/LifetimeToken.h"
#include "model/CapturedContext.h"

#include <QString>

#include <qcoro/qcorotask.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace morvane {

class ActiveContextService;
class Clock;
class ClockTimer;
class LinkStore;

// Asks every 3 seconds what the user has in front of them, looks it up in the library and reports
// whenever the answer to "is it already saved?" changes: a saved item coming into view, another
// saved item, or leaving saved items for anything else. Moving between unsaved items reports
// nothing. Main thread.
class ActiveContextMonitor {
public:
    using MatchChanged = std::function<void(bool hasLinks, const std::optional<CapturedContext>& context)>;

    static constexpr std::chrono::milliseconds pollInterval{3000};

    // Does not start polling. The store and the service outlive the monitor.
    ActiveContextMonitor(LinkStore& store, std::shared_ptr<ActiveContextService> service,
                         std::shared_ptr<Clock> clock, MatchChanged onMatchChanged);
    ~ActiveContextMonitor();
    ActiveContextMonitor(const ActiveContextMonitor&) = delete;
    ActiveContextMonitor& operator=(const ActiveContextMonitor&) = delete;

    // Reports "no saved item", polls once at once, then every 3 seconds.
    void start();
    // Ends polling and reports "no saved item"; a lookup still under way reports nothing.
    void stop();
    bool isRunning() const;

    // One poll: capture, then (when something was captured) look its first item up. Completes once
    // its report, if any, has been made. A failed lookup counts as not saved.
    QCoro::Task<> checkActiveContext();

private:
    void pollInBackground();
    void updateMatch(bool hasLinks, const std::optional<CapturedContext>& context);

    LinkStore& m_store;
    std::shared_ptr<ActiveContextService> m_service;
    std::shared_ptr<Clock> m_clock;
    MatchChanged m_onMatchChanged;
    std::unique_ptr<ClockTimer> m_timer;
    std::optional<QString> m_lastMatchedURL;
    // Lookups started before the last stop, or after the monitor is gone, report nothing.
    quint64 m_generation = 0;
    LifetimeToken m_lifetime;
};

} // namespace morvane
