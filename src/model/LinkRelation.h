#pragma once

#include <QDateTime>
#include <QString>
#include <QUuid>

namespace morvane {

// An undirected relation between two items. The library keeps one row per unordered pair.
struct LinkRelation {
    QUuid id;
    QUuid fromLinkID;
    QUuid toLinkID;
    QDateTime createdAt;

    bool operator==(const LinkRelation&) const = default;

    // The two upper-case UUID strings, sorted, joined with "_": the same for either order.
    static QString recordName(const QUuid& a, const QUuid& b);
};

} // namespace morvane
