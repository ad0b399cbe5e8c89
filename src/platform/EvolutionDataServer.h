#pragma once

#include "platform/CalendarStore.h"
#include "platform/ContactStore.h"

#include <QHash>
#include <QList>

#include <chrono>
#include <functional>
#include <memory>

namespace morvane {

// The desktop's calendars and address books, kept by Evolution Data Server (a D-Bus activated
// service). A thread of our own, with its own GLib main context, asks it for every event from 10
// years ago to 5 years ahead and every card, keeps them in a snapshot, and renews the parts the
// service reports changed. Callers read the snapshot and never wait for the service: an answer that
// is not in yet is simply not there. Every call is bounded: the bus is asked with a time-out, and each
// load is cancelled when it runs past its limit or when this object goes.
class EvolutionDataServer {
public:
    // Whether the service can answer: its bus names are owned or can be activated.
    enum class Presence { unknown, present, absent };

    struct Snapshot {
        QList<CalendarEvent> events;          // calendars in the registry's order, events in theirs
        QHash<QString, qsizetype> eventIndex; // identifier → position in events
        QList<ContactCard> cards;             // address books in the registry's order
        QList<ContactCard> cardsByFileAs;     // as the user files them, which is how lists sort them
        QHash<QString, qsizetype> cardIndex;  // identifier → position in cards
        bool calendarsLoaded = false;
        bool cardsLoaded = false;
    };

    EvolutionDataServer();
    // Cancels what the thread is waiting for and joins it.
    ~EvolutionDataServer();
    EvolutionDataServer(const EvolutionDataServer&) = delete;
    EvolutionDataServer& operator=(const EvolutionDataServer&) = delete;

    // The first call waits a quarter of a second at most for the bus to say (it answers within
    // milliseconds); unknown until it has.
    Presence calendarPresence() const;
    Presence contactPresence() const;
    // Runs answer(calendarPresence, contactPresence) once both are known: at once on this thread when
    // they are, else on the service thread.
    void whenPresenceKnown(std::function<void(Presence calendars, Presence contacts)> answer);

    std::shared_ptr<const Snapshot> snapshot() const;
    enum class Load { calendars, everything };
    // For measurements: waits at most wait until the calendars (and the cards) are in; false when they
    // are not.
    bool waitUntilLoaded(Load load, std::chrono::milliseconds wait) const;

private:
    struct Worker;
    std::unique_ptr<Worker> d;
};

} // namespace morvane
