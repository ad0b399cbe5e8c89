#pragma once

#include <QString>
#include <QUuid>

#include <optional>

namespace morvane {

// The one text form of identifiers that reaches storage, records and URLs:
// upper-case 8-4-4-4-12 without braces.
QString uuidString(const QUuid& uuid);

// Reads 8-4-4-4-12 text in either case, without braces. Anything else (braces included) is not a UUID.
std::optional<QUuid> parseUuid(const QString& text);

// A new random (version 4) identifier, from the application's random generator rather than the system's,
// which costs far more per call: for identifiers made by the thousand, such as those a sync pass gives
// relations whose records do not carry one.
QUuid newUuid();

} // namespace morvane
