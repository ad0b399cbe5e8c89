#include "sync/KeptByName.h"

#include "foundation/Uuid.h"

#include <QStringList>

#include <algorithm>
#include <cstring>
#include <numeric>

namespace morvane {

namespace {

// The order of the ids' texts: their bytes in order. QUuid's own order puts the variant first.
bool textLess(const QUuid& a, const QUuid& b)
{
    if (a.data1 != b.data1)
        return a.data1 < b.data1;
    if (a.data2 != b.data2)
        return a.data2 < b.data2;
    if (a.data3 != b.data3)
        return a.data3 < b.data3;
    return std::memcmp(a.data4, b.data4, sizeof a.data4) < 0;
}

// A relation's own name is its ids' texts, the lesser first.
KeptByName::Pair textPair(const QUuid& a, const QUuid& b)
{
    return textLess(b, a) ? KeptByName::Pair(b, a) : KeptByName::Pair(a, b);
}

bool relationTextLess(const KeptRecords::Relation& a, const KeptRecords::Relation& b)
{
    const KeptByName::Pair first = textPair(a.from, a.to);
    const KeptByName::Pair second = textPair(b.from, b.to);
    if (first.first != second.first)
        return textLess(first.first, second.first);
    return textLess(first.second, second.second);
}

QString nameOf(const LinkSummary& link)
{
    return uuidString(link.id);
}

QString nameOf(const KeptRecords::Relation& relation)
{
    return LinkRelation::recordName(relation.from, relation.to);
}

KeptByName::Pair pairOf(const QUuid& a, const QUuid& b)
{
    return a < b ? KeptByName::Pair(a, b) : KeptByName::Pair(b, a);
}

// The positions of the kept array's records and of those under other names (after the array's), in
// the order of their names; none when that is the array's own order.
template <class Own, class TextLess, class Other>
std::vector<quint32> nameOrder(std::span<const Own> own, TextLess textLess, const QList<Other>& others)
{
    std::vector<quint32> order;
    const bool inOrder = std::is_sorted(own.begin(), own.end(), textLess);
    if (inOrder && others.isEmpty())
        return order;
    std::vector<quint32> byText(own.size());
    std::iota(byText.begin(), byText.end(), quint32(0));
    if (!inOrder)
        std::stable_sort(byText.begin(), byText.end(),
                         [&](quint32 a, quint32 b) { return textLess(own[a], own[b]); });
    order.reserve(own.size() + std::size_t(others.size()));
    const auto otherAt = [&](qsizetype at) { return quint32(own.size() + std::size_t(at)); };
    qsizetype other = 0;
    for (const quint32 at : byText) {
        if (other < others.size()) {
            const QString name = nameOf(own[at]);
            for (; other < others.size() && others[other].name < name; ++other)
                order.push_back(otherAt(other));
        }
        order.push_back(at);
    }
    for (; other < others.size(); ++other)
        order.push_back(otherAt(other));
    return order;
}

} // namespace

KeptByName::KeptByName(const KeptRecords& settled)
    : m_kept(&settled)
    , m_links(settled.linksByID())
    , m_relations(settled.relationsByPair())
{
    QStringList names = settled.others().keys();
    names.sort();
    for (const QString& name : std::as_const(names)) {
        const KeptRecord& kept = *settled.others().constFind(name);
        if (const auto* link = std::get_if<LinkSummary>(&kept.value)) {
            m_lastOtherLink.insert(link->id, m_otherLinks.size());
            m_otherLinks.append({name, *link});
        } else if (const auto* relation = std::get_if<LinkRelation>(&kept.value)) {
            m_lastOtherRelation.insert(pairOf(relation->fromLinkID, relation->toLinkID),
                                       m_otherRelations.size());
            m_otherRelations.append({name, *relation});
        } else if (const auto* deleted = std::get_if<DeletedRecord>(&kept.value)) {
            deletions.append(*deleted);
        }
    }
    m_linkOrder = nameOrder(
        m_links, [](const LinkSummary& a, const LinkSummary& b) { return textLess(a.id, b.id); },
        m_otherLinks);
    m_relationOrder = nameOrder(m_relations, relationTextLess, m_otherRelations);
}

const LinkSummary& KeptByName::linkAt(qsizetype at) const
{
    const std::size_t position = m_linkOrder.empty() ? std::size_t(at) : m_linkOrder[std::size_t(at)];
    return position < m_links.size() ? m_links[position]
                                     : m_otherLinks[qsizetype(position - m_links.size())].record;
}

LinkRelation KeptByName::relationAt(qsizetype at) const
{
    const std::size_t position = m_relationOrder.empty() ? std::size_t(at) : m_relationOrder[std::size_t(at)];
    return position < m_relations.size() ? KeptRecords::relationOf(m_relations[position])
                                         : m_otherRelations[qsizetype(position - m_relations.size())].record;
}

const LinkSummary* KeptByName::lastLink(const QUuid& id) const
{
    const auto found =
        std::lower_bound(m_links.begin(), m_links.end(), id,
                         [](const LinkSummary& link, const QUuid& key) { return link.id < key; });
    const LinkSummary* own = found != m_links.end() && found->id == id ? &*found : nullptr;
    const auto other = m_lastOtherLink.constFind(id);
    if (other == m_lastOtherLink.constEnd())
        return own;
    const Named<LinkSummary>& named = m_otherLinks[*other];
    return own && named.name < uuidString(id) ? own : &named.record;
}

QString KeptByName::linkName(const QUuid& id) const
{
    const auto other = m_lastOtherLink.constFind(id);
    if (other == m_lastOtherLink.constEnd())
        return uuidString(id);
    const LinkSummary* last = lastLink(id);
    const Named<LinkSummary>& named = m_otherLinks[*other];
    return last == &named.record ? named.name : uuidString(id);
}

const KeptRecords::Relation* KeptByName::ownRelation(const Pair& pair) const
{
    const auto found = std::lower_bound(m_relations.begin(), m_relations.end(), pair,
                                        [](const KeptRecords::Relation& relation, const Pair& key) {
                                            return pairOf(relation.from, relation.to) < key;
                                        });
    return found != m_relations.end() && pairOf(found->from, found->to) == pair ? &*found : nullptr;
}

std::optional<LinkRelation> KeptByName::lastRelation(const Pair& pair) const
{
    const KeptRecords::Relation* own = ownRelation(pair);
    const auto other = m_lastOtherRelation.constFind(pair);
    if (other == m_lastOtherRelation.constEnd())
        return own ? std::optional(KeptRecords::relationOf(*own)) : std::nullopt;
    const Named<LinkRelation>& named = m_otherRelations[*other];
    if (own && named.name < nameOf(*own))
        return KeptRecords::relationOf(*own);
    return named.record;
}

bool KeptByName::listed(const QString& name) const
{
    // A deletion is not a link or relation record; one that does not read is, of its type.
    const std::optional<KeptRecord> kept = m_kept->find(name);
    return kept && kept->type != KeptRecord::Type::deletion;
}

} // namespace morvane
