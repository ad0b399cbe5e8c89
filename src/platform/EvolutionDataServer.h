#pragma once

#include "platform/EdsReader.h"

#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace morvane {

class GLibLoopThread;

// The desktop's calendars and address books, kept by Evolution Data Server (a D-Bus activated
// service). A thread of our own asks the session bus whether the service is there once something
// wants to know (not while the application starts); the stores themselves are read by a module
// loaded on the first look at an event or a card (see EdsReader), so a start maps none of the
// service's libraries and starts none of its processes.
// The snapshot is read, and waited for, off the main thread (a read there is logged, once). Callers
// wait for the service no longer than the bound they give: an answer that is not in yet is simply
// not there.
class EvolutionDataServer {
public:
    // Whether the service can answer: its bus names are owned or can be activated.
    enum class Presence { unknown, present, absent };
    using Snapshot = EdsSnapshot;
    using Load = EdsReader::Load;

    // The module is libmorvane-<module>.so.
    explicit EvolutionDataServer(const QString& module = QStringLiteral("eds"));
    // Cancels what the threads are waiting for and ends them, waiting a moment at most: a thread still
    // inside a call into the service then (it is stopped, or hung) ends with that call, or with the
    // process.
    ~EvolutionDataServer();
    EvolutionDataServer(const EvolutionDataServer&) = delete;
    EvolutionDataServer& operator=(const EvolutionDataServer&) = delete;

    // Unknown until the bus has said, which the calls below have it do (within milliseconds); never
    // waits. A module that cannot be loaded makes both absent.
    Presence calendarPresence() const;
    Presence contactPresence() const;
    // Runs answer(calendarPresence, contactPresence) once both are known: at once on this thread when
    // they are, else on the service thread.
    void whenPresenceKnown(std::function<void(Presence calendars, Presence contacts)> answer);
    // Why the calendars (the cards) cannot be read at all though the service is present (its registry
    // failed, or every calendar switched on did): the call that failed in the last reading and the
    // service's error. Nothing when they were read, or are not read yet.
    // Never waits, and loads nothing.
    std::optional<QString> calendarFailure() const;
    std::optional<QString> contactFailure() const;
    // What of the calendars (the cards) cannot be read, for the user: each calendar (address book)
    // that failed by its name with the service's message, one a line; or, when the service failed as
    // a whole, that it did and why. Nothing when everything was read, or is not read yet.
    std::optional<QString> calendarProblem() const;
    std::optional<QString> contactProblem() const;
    // Calls changed, on the reader's thread, each time a reading ends with other failures than the last.
    void followFailures(std::function<void()> changed);

    // The stores as last read. The first call has them read, in the background: until they are in,
    // the snapshot is empty and marked loaded only for the stores that are absent.
    std::shared_ptr<const Snapshot> snapshot() const;
    // Has the stores read without asking for anything yet, when a look at them is coming.
    void prepare() const;
    // For measurements: waits at most wait until the calendars (and the cards) are in; false when they
    // are not.
    bool waitUntilLoaded(Load load, std::chrono::milliseconds wait) const;

private:
    struct Worker;

    // The bus is asked once something wants the answer, not while the application starts.
    void start() const;
    // The reader once it is there, after asking for it.
    EdsReader* wantReader() const;
    // What the reader last read; nothing before there is one. Asks for nothing.
    std::shared_ptr<const Snapshot> lastReading() const;

    std::shared_ptr<Worker> d; // held by the thread's jobs too
    mutable std::once_flag m_started;
    mutable std::unique_ptr<GLibLoopThread> m_thread;
};

} // namespace morvane
