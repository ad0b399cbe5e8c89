#pragma once

#include "GraphElements.h"
#include "model/LinkItem.h"
#include "model/LinkRelation.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QUuid>

#include <optional>
#include <vector>

namespace morvane {

// Pairs of links that are not related yet but share a tag, a folder, a web domain or an application
// context, ranked. Pure functions of their arguments, callable from any thread.
class SuggestedRelations {
public:
    struct Reason {
        QString text;
        int baseScore = 0;
        bool operator==(const Reason&) const = default;
    };

    // The most suggestions one load keeps.
    static constexpr int limit = 80;
    // Added to the base score when either link has fewer than two relations, so loose links rise.
    static constexpr int looseLinkBonus = 3;

    // At most `limit` suggestion edges, best score first, equal scores by id text. `from` is the
    // pair's first link in title order. Only links that share a key are compared, so the cost
    // follows the number of links that share something rather than the square of the library.
    static QList<GraphEdge> rank(const QList<LinkItem>& items, const QList<LinkRelation>& relations,
                                 const QHash<QUuid, int>& degrees);

    // The first reason that applies to the pair: a shared tag, the same folder, the same domain,
    // the same application context.
    static std::optional<Reason> reason(const LinkItem& first, const LinkItem& second);
    static int score(const Reason& reason, int firstDegree, int secondDegree);
    // The parent folder of a file or folder link's path, dot components resolved.
    static std::optional<QString> folderKey(const LinkItem& item);
    // The lower-cased host of a web link without one leading "www.".
    static std::optional<QString> domainKey(const LinkItem& item);
    // A 128-bit value of the ordered pair and the reason, written as a UUID: the same suggestion
    // keeps its id from one load to the next.
    static QUuid edgeID(const QUuid& from, const QUuid& to, const QString& reason);
    // The positions of the items in the order in which pairs are formed: by title, localized and
    // ignoring case, equal titles in their given order.
    static std::vector<qsizetype> pairingOrder(const QList<LinkItem>& items);
};

} // namespace morvane
