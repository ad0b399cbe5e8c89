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

} // namespace morvane
