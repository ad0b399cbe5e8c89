#pragma once

#include "model/DeletedRecord.h"
#include "model/LinkRelation.h"
#include "sync/KeptRecords.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QUuid>

#include <optional>
#include <span>
#include <utility>
#include <vector>

namespace morvane {

// The link and relation records of a settled set of kept records in the order of their names, as a
// listing gives them, read where the set holds them: a complete listing's remote side, without a
// second copy of every summary beside the point that keeps them. The set must stay as it is while
// this reads it. Of the records under another name than their own (a few, in a folder another program
// wrote) and of the deletions, this holds a copy.
class KeptByName {
public:
    using Pair = std::pair<QUuid, QUuid>; // the lesser id first

    explicit KeptByName(const KeptRecords& settled);

    qsizetype linkCount() const { return qsizetype(m_links.size()) + m_otherLinks.size(); }
    const LinkSummary& linkAt(qsizetype at) const;
    qsizetype relationCount() const { return qsizetype(m_relations.size()) + m_otherRelations.size(); }
    LinkRelation relationAt(qsizetype at) const;

    // Of the records of a link or pair, the one whose name comes last; none when no record holds it.
    const LinkSummary* lastLink(const QUuid& id) const;
    std::optional<LinkRelation> lastRelation(const Pair& pair) const;
    // The name of the record lastLink answers (the link's own name when none does).
    QString linkName(const QUuid& id) const;
    // Whether a link or relation record of the name was listed, readable or not.
    bool listed(const QString& name) const;

    // The deletions, in the order of their names.
    QList<DeletedRecord> deletions;

private:
    template <class Record> struct Named {
        QString name;
        Record record;
    };
    const KeptRecords* m_kept;
    std::span<const LinkSummary> m_links;
    std::span<const KeptRecords::Relation> m_relations;
    QList<Named<LinkSummary>> m_otherLinks;      // by name
    QList<Named<LinkRelation>> m_otherRelations; // by name
    QHash<QUuid, qsizetype> m_lastOtherLink;     // the last of m_otherLinks with the id
    QHash<Pair, qsizetype> m_lastOtherRelation;  // the last of m_otherRelations of the pair
    // Positions by name (those past the kept array's end are of the other names'), none when the kept
    // array is in the order of its names already and no record is under another name: a record's own
    // name is the text of its ids, whose order is not always the ids' own.
    std::vector<quint32> m_linkOrder;
    std::vector<quint32> m_relationOrder;
    const KeptRecords::Relation* ownRelation(const Pair& pair) const;
};

} // namespace morvane
