#pragma once

#include "StoreReadWatch.h"

#include "platform/CalendarStore.h"

#include <utility>

namespace morvane::test {

// Calendars held in a list, in the store's order. Access requests wait in pending until the test
// answers them (answerRequests, or by calling a completion itself from any thread).
class InMemoryCalendarStore final : public CalendarStore {
public:
    CalendarAuthorizationStatus authorizationStatus() const override { return status; }
    std::optional<QString> unavailableReason() const override { return failure; }
    void requestFullAccess(AccessRequestCompletion completion) override
    {
        pending.append(std::move(completion));
    }
    QList<CalendarEvent> events(const QDateTime& start, const QDateTime& end) const override
    {
        reads.note();
        ranges.append({start, end});
        QList<CalendarEvent> overlapping;
        for (const CalendarEvent& event : calendarEvents) {
            if (event.startDate <= end && event.endDate >= start)
                overlapping.append(event);
        }
        return overlapping;
    }
    std::optional<CalendarEvent> event(const QString& identifier) const override
    {
        reads.note();
        for (const CalendarEvent& event : calendarEvents) {
            if (event.identifier == identifier)
                return event;
        }
        return std::nullopt;
    }
    bool waitUntilRead(std::chrono::milliseconds bound) const override { return reads.waitUntilRead(bound); }

    bool revealEvent(const CalendarEvent& event) override
    {
        revealed.append(event.identifier);
        return revealAnswer;
    }

    // The user answers every waiting request: the status becomes the one given.
    void answerRequests(CalendarAuthorizationStatus answer, std::optional<QString> error = std::nullopt)
    {
        status = answer;
        for (const AccessRequestCompletion& completion : std::exchange(pending, {}))
            completion(answer == CalendarAuthorizationStatus::fullAccess, error);
    }

    CalendarAuthorizationStatus status = CalendarAuthorizationStatus::fullAccess;
    std::optional<QString> failure;
    QList<CalendarEvent> calendarEvents;
    QList<AccessRequestCompletion> pending;
    mutable QList<std::pair<QDateTime, QDateTime>> ranges; // every range asked for, in order
    QStringList revealed;                                  // events shown in the application, in order
    bool revealAnswer = false;                             // whether the application showed them
    StoreReadWatch reads;
};

} // namespace morvane::test
