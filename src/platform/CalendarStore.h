#pragma once

#include "platform/AccessRequestCompletion.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <chrono>
#include <optional>

namespace morvane {

// What the user allowed this application to do with their calendars.
enum class CalendarAuthorizationStatus { notDetermined, restricted, denied, fullAccess, writeOnly };

// One event of the user's calendars.
struct CalendarEvent {
    QString identifier;                        // this store's identifier of the event
    std::optional<QString> externalIdentifier; // the calendar server's identifier (the event's uid)
    QString title;
    QDateTime startDate;
    QDateTime endDate;
    std::optional<QString> calendarTitle;
    std::optional<QString> location;
    std::optional<QString> notes;

    bool operator==(const CalendarEvent&) const = default;
};

// The user's calendars. Access is asked and revealEvent called on the main thread; the reads may wait
// on the service that keeps the calendars, so they run on a worker.
class CalendarStore {
public:
    virtual ~CalendarStore() = default;

    virtual CalendarAuthorizationStatus authorizationStatus() const = 0;
    // What of the calendars cannot be read although the system has a store of them, in words shown to
    // the user: the calendars that failed, each by its name and why, or why the store failed as a
    // whole; nothing when they can be read, or when there is no store at all.
    virtual std::optional<QString> unavailableReason() const = 0;
    // Asks the user for full access to events; the answer comes later, possibly on another thread.
    virtual void requestFullAccess(AccessRequestCompletion completion) = 0;
    // The events of every calendar that overlap [start, end], in the store's order.
    virtual QList<CalendarEvent> events(const QDateTime& start, const QDateTime& end) const = 0;
    // The item with this identifier, when it is an event.
    virtual std::optional<CalendarEvent> event(const QString& identifier) const = 0;
    // Waits at most bound until the store holds what the calendars have; false when it does not by then.
    virtual bool waitUntilRead(std::chrono::milliseconds bound) const = 0;
    // Shows the event in the calendar application that keeps this store's events, or at least starts
    // that application. False when there is none.
    virtual bool revealEvent(const CalendarEvent& event) = 0;
};

// This system has no calendar store an application may read: access is restricted, nothing is held,
// and no one is asked.
class UnavailableCalendarStore final : public CalendarStore {
public:
    CalendarAuthorizationStatus authorizationStatus() const override;
    std::optional<QString> unavailableReason() const override;
    void requestFullAccess(AccessRequestCompletion completion) override;
    QList<CalendarEvent> events(const QDateTime& start, const QDateTime& end) const override;
    std::optional<CalendarEvent> event(const QString& identifier) const override;
    bool waitUntilRead(std::chrono::milliseconds bound) const override;
    bool revealEvent(const CalendarEvent& event) override;
};

} // namespace morvane
