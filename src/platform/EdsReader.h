#pragma once

#include "platform/CalendarStore.h"
#include "platform/ContactStore.h"

#include <QHash>
#include <QList>

#include <chrono>
#include <functional>
#include <memory>

namespace morvane {

// The service's names on the session bus (evolution-data-server 3.x).
inline constexpr const char* sourceRegistryName = "org.gnome.evolution.dataserver.Sources5";
inline constexpr const char* calendarFactoryName = "org.gnome.evolution.dataserver.Calendar8";
inline constexpr const char* addressBookFactoryName = "org.gnome.evolution.dataserver.AddressBook10";

// What the desktop's calendars and address books held when they were last read.
struct EdsSnapshot {
    QList<CalendarEvent> events;          // calendars in the registry's order, events in theirs
    QHash<QString, qsizetype> eventIndex; // identifier → position in events
    QList<ContactCard> cards;             // address books in the registry's order
    QList<ContactCard> cardsByFileAs;     // as the user files them, which is how lists sort them
    QHash<QString, qsizetype> cardIndex;  // identifier → position in cards
    bool calendarsLoaded = false;
    bool cardsLoaded = false;
    // Why the calendars (the cards) could not be read though the service is on the bus: the call that
    // failed and the service's error. Empty when they were read.
    QString calendarsFailure;
    QString cardsFailure;
};

// Reads the calendars and address books of Evolution Data Server into snapshots and renews them when
// the service reports a change. It lives in a module of its own (libmorvane-eds.so), loaded only once
// something asks for an event or a card: its thread, the bus's object proxies and the calendar library
// it links cost memory most starts never need.
class EdsReader {
public:
    enum class Load { calendars, everything };

    virtual ~EdsReader() = default;
    virtual std::shared_ptr<const EdsSnapshot> snapshot() const = 0;
    // Waits at most wait until the calendars (and the cards) are in; false when they are not.
    virtual bool waitUntilLoaded(Load load, std::chrono::milliseconds wait) const = 0;
};

// The module's one entry point: a reader of the stores the session bus has, which starts reading at
// once. failuresChanged is called on the reader's thread after each snapshot whose failures differ
// from the one before. A module left from another build is never loaded (LoadableModule compares the
// build's identity first); the name's revision says which interface the entry answers.
using MakeEdsReader = EdsReader* (*)(bool calendars, bool contacts, std::function<void()> failuresChanged);
inline constexpr const char* makeEdsReaderEntry = "morvane_make_eds_reader_2";

} // namespace morvane
