#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>

namespace morvane {

// A service's reads wait for the desktop's stores to be read, each at most the service's bound, on
// the service's own thread. The service's end finishes the reads queued there, so a wait that ran on
// to its bound would hold the quit that long, and each queued one as long again: the end cuts them
// short. Copies share one state, so a read takes a copy and the service closes its own.
class StoreReadWait {
public:
    // How long the store is waited for at a time before the wait looks whether the service is ending.
    static constexpr std::chrono::milliseconds step{50};

    // Waits through waitFor (the store's own bounded wait) until it answers true or the bound passes;
    // false then, and at once when the service is ending. Any thread.
    bool wait(const std::function<bool(std::chrono::milliseconds)>& waitFor,
              std::chrono::milliseconds bound) const;
    bool closed() const { return m_closed->load(); }
    // From the service's destructor, before its reads' thread is ended.
    void close() const { m_closed->store(true); }

private:
    std::shared_ptr<std::atomic_bool> m_closed = std::make_shared<std::atomic_bool>(false);
};

} // namespace morvane
