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

// A calendar or address book that could not be read: its name as the user sees it, and why in the
// service's own words.
struct EdsSourceFailure {
    QString name;
    QString message;
    friend bool operator==(const EdsSourceFailure&, const EdsSourceFailure&) = default;
};

// What the desktop's calendars and address books held when they were last read.
struct EdsSnapshot {
    QList<CalendarEvent> events;          // calendars in the registry's order, events in theirs
    QHash<QString, qsizetype> eventIndex; // identifier → position in events
    QList<ContactCard> cards;             // address books in the registry's order
    QList<ContactCard> cardsByFileAs;     // as the user files them, which is how lists sort them
    QHash<QString, qsizetype> cardIndex;  // identifier → position in cards
    bool calendarsLoaded = false;
    bool cardsLoaded = false;
    // Why the calendars (the cards) could not be read at all though the service is on the bus: its
    // registry failed, or every calendar switched on failed. The call that failed and the service's
    // error; empty when any was read, or none is switched on.
    QString calendarsFailure;
    QString cardsFailure;
    // The calendars (address books) switched on that could not be read, in the registry's order.
    QList<EdsSourceFailure> failedCalendars;
    QList<EdsSourceFailure> failedBooks;
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
inline constexpr const char* makeEdsReaderEntry = "morvane_make_eds_reader_3";

} // namespace morvane
