#pragma once

#include "platform/EdsReader.h"

#include <functional>
#include <memory>
#include <thread>

namespace morvane {

class GLibLoopThread;

// The desktop's calendars and address books, kept by Evolution Data Server (a D-Bus activated
// service). A thread of our own, with its own GLib main context, asks it for every event from 10
// years ago to 5 years ahead and every card, keeps them in a snapshot, and renews the parts the
// service reports changed. Everything is read over the bus: the registry of sources (which are
// enabled), then each calendar's events as iCalendar text, expanded here, and each address book's
// cards, their few fields read from the vCards themselves (EdsMapping). Callers read the
// snapshot and never wait for the service: an answer that is not in yet is simply not there. Every call is
// bounded: each load is cancelled when it runs past its limit or when this object goes.
class EdsStoreReader final : public EdsReader {
public:
    // Reads the stores the bus was found to have; one it has not is loaded, and empty, at once.
    // failuresChanged is called on the reader's thread once a snapshot's failures differ from the last.
    EdsStoreReader(bool calendars, bool contacts, std::function<void()> failuresChanged);
    // Cancels what the thread is waiting for and ends it; a thread inside a call that does not return
    // at once (the service stopped, or hung) is not waited for: it ends once the call returns, or with
    // the process.
    ~EdsStoreReader() override;
    EdsStoreReader(const EdsStoreReader&) = delete;
    EdsStoreReader& operator=(const EdsStoreReader&) = delete;

    std::shared_ptr<const EdsSnapshot> snapshot() const override;
    bool waitUntilLoaded(Load load, std::chrono::milliseconds wait) const override;

private:
    struct Worker;
    // Held by every job of the thread too, which may outlive this object.
    std::shared_ptr<Worker> d;
    std::unique_ptr<GLibLoopThread> m_thread;
    std::thread m_watchdog; // cancels a load that runs past its limit
};

} // namespace morvane
