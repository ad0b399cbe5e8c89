#pragma once

#include "foundation/IsoDate.h"
#include "model/MorvaneLibraryExport.h"

#include <QByteArray>
#include <QUuid>

namespace morvane::bench {

// The backup file of a plausible library of `linkCount` links: half web pages, half files with their
// evidence, a few tags each, and relations between neighbours (half as many as links).
inline QByteArray syntheticBackup(long linkCount)
{
    const QDateTime base = *parseLibraryDate(QStringLiteral("2024-01-01T00:00:00.000Z"));
    QList<LinkItem> links;
    links.reserve(linkCount);
    for (long i = 0; i < linkCount; ++i) {
        LinkItem item;
        item.id = QUuid::createUuid();
        item.title = QStringLiteral("Item %1").arg(i);
        if (i % 2 == 0) {
            item.type = LinkType::web;
            item.url = QStringLiteral("https://example.com/articles/%1").arg(i);
            item.sourceApp = QStringLiteral("Browser");
        } else {
            item.type = LinkType::file;
            const QString path = QStringLiteral("/home/me/Documents/file-%1.pdf").arg(i);
            item.url = QStringLiteral("file://") + path;
            item.sourceApp = QStringLiteral("Finder");
            item.lastKnownPath = path;
            item.contentHash = QStringLiteral("%1").arg(i, 64, 16, QLatin1Char('0'));
            item.fileSize = 1000 + i;
        }
        item.notes = i % 5 == 0 ? QStringLiteral("Some notes about this item") : QString();
        item.tags = {QStringLiteral("tag%1").arg(i % 50), QStringLiteral("group%1").arg(i % 7)};
        item.createdAt = base.addSecs(i);
        item.updatedAt = base.addSecs(i + 60);
        links.append(item);
    }
    QList<LinkRelation> relations;
    for (long i = 0; i + 1 < linkCount && relations.size() < linkCount / 2; i += 2)
        relations.append(LinkRelation{QUuid::createUuid(), links[i].id, links[i + 1].id, base.addSecs(i)});
    return MorvaneLibraryExport::makeJSONCoders().encoder.encode(
        MorvaneLibraryExport(links, relations, base.addDays(30)));
}

} // namespace morvane::bench
