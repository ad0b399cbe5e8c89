#pragma once

#include "model/LinkType.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <optional>

namespace morvane {

// A saved item of the library. Equality covers every field, linkedItemCount and lastOpenedAt included.
struct LinkItem {
    QUuid id;
    QString title;
    QString url; // the locator text, exactly as stored
    LinkType type = LinkType::web;
    QString sourceApp;
    QString notes;
    QStringList tags;        // lower-case, unique, ordered by name without regard to case
    int linkedItemCount = 0; // relations touching this item; computed on read, never stored
    std::optional<QByteArray> bookmarkData;
    std::optional<QString> fileResourceIdentifier;
    std::optional<QString> volumeIdentifier;
    std::optional<QString> lastKnownPath;
    std::optional<QString> contentHash;
    std::optional<qint64> fileSize;
    QDateTime createdAt;
    QDateTime updatedAt;
    std::optional<QDateTime> lastOpenedAt;

    bool operator==(const LinkItem&) const = default;

    // lastKnownPath when set and not empty; else the decoded path of a file URL; else the url itself.
    QString displayPath() const;

    // "[title](morvane://open/UUID)", "]" escaped, ", p. N" added for a PDF page link.
    QString markdownLink() const;
};

} // namespace morvane
