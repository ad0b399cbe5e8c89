#pragma once

#include <QList>
#include <QString>

#include <optional>

namespace morvane {

// The kind of a saved item. The raw value is what the library, sync records and backups store.
enum class LinkType { file, folder, web, mail, obsidian, devonthink, calendar, fantastical, contact };

QString rawValue(LinkType type);
std::optional<LinkType> linkTypeFromRawValue(const QString& raw);
const QList<LinkType>& allLinkTypes();

// Only files and folders carry identity evidence and take part in file matching and repair.
bool isFileLike(LinkType type);

} // namespace morvane
