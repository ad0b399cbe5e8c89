#pragma once

#include <QString>

#include <optional>

namespace morvane {

// Where an event or a card lives in Evolution Data Server: the uid of its calendar or address book
// (the registry's source) and its own uid; an occurrence of a repeating event also has its recurrence
// id. These stay the same across restarts, so they make the identifiers the library keeps.
struct EdsItemKey {
    QString sourceUid;
    QString uid;
    std::optional<QString>
        recurrenceId; // events only: the occurrence's original start, as iCalendar writes it

    bool operator==(const EdsItemKey&) const = default;
};

// One text holding the key's parts, each percent-encoded and joined by "/".
QString edsItemIdentifier(const EdsItemKey& key);
// Nothing unless the text holds two (cards and single events) or three (occurrences) non-empty parts.
std::optional<EdsItemKey> parseEdsItemIdentifier(const QString& identifier);

} // namespace morvane
