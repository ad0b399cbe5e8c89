#pragma once

#include <QDateTime>
#include <QString>

namespace morvane {

// A tombstone: the record of a deletion, kept locally and synced.
struct DeletedRecord {
    QString recordType; // "Link" or "LinkRelation"
    QString recordName; // the item's UUID string, or the relation's record name
    QDateTime deletedAt;

    bool operator==(const DeletedRecord&) const = default;
    QString id() const { return recordType + u':' + recordName; }
};

} // namespace morvane
