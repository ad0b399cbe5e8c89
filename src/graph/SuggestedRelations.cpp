#include "SuggestedRelations.h"

#include "LocalizedOrder.h"
#include "foundation/LocatorUrl.h"

#include <QCryptographicHash>
#include <QSet>

#include <algorithm>
#include <utility>

namespace morvane {

namespace {

const QString sameFolderText = QStringLiteral("same folder");
const QString sameDomainText = QStringLiteral("same domain");
const QString sameAppContextText = QStringLiteral("same app context");
constexpr int tagScore = 7;
constexpr int folderScore = 6;
constexpr int domainScore = 5;
constexpr int appContextScore = 4;

// Mail, events and contacts belong to the application they were captured from; a web page or a
// note does not, so two of those from one browser are not suggested for that alone.
bool isAppContextType(LinkType type)
{
    return type == LinkType::mail || type == LinkType::calendar || type == LinkType::fantastical ||
           type == LinkType::contact;
}

// Plain text order by Unicode scalar value. UTF-16 code units order the same except that surrogates
// (U+D800..DFFF) would sort below U+E000..FFFF; shifting the two ranges past each other fixes that.
bool codePointLess(const QString& a, const QString& b)
{
    const auto scalarOrder = [](QChar c) {
        const char16_t u = c.unicode();
        return u >= 0xE000 ? char16_t(u - 0x800) : (u >= 0xD800 ? char16_t(u + 0x2000) : u);
    };
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [&](QChar x, QChar y) { return scalarOrder(x) < scalarOrder(y); });
}

// --- Suggestion ids -------------------------------------------------------------------------------
// The id is a pure function of the ordered pair and the reason text: each link id is spread into
// independent lanes for its role (first or second), the reason is reduced to 128 bits once, and
// the pieces are mixed per 64-bit half. The version and variant bits mark it as a custom (version
// 8) UUID. Its text sorts like the 128-bit number (upper-case hex, fixed width), so ranking
// compares the numbers and only the kept suggestions are written as UUIDs.

struct Bits128 {
    quint64 hi = 0;
    quint64 lo = 0;
    auto operator<=>(const Bits128&) const = default;
};

// The finaliser of MurmurHash3: a bijection that spreads every input bit over the output.
quint64 mix(quint64 x)
{
    x ^= x >> 33;
    x *= 0xff51afd7ed558ccdULL;
    x ^= x >> 33;
    x *= 0xc4ceb9fe1a85ec53ULL;
    x ^= x >> 33;
    return x;
}

Bits128 bitsOf(const QUuid& id)
{
    Bits128 bits{(quint64(id.data1) << 32) | (quint64(id.data2) << 16) | id.data3, 0};
    for (const uchar byte : id.data4)
        bits.lo = (bits.lo << 8) | byte;
    return bits;
}

QUuid uuidOf(const Bits128& bits)
{
    return QUuid(uint(bits.hi >> 32), ushort(bits.hi >> 16), ushort(bits.hi), uchar(bits.lo >> 56),
                 uchar(bits.lo >> 48), uchar(bits.lo >> 40), uchar(bits.lo >> 32), uchar(bits.lo >> 24),
                 uchar(bits.lo >> 16), uchar(bits.lo >> 8), uchar(bits.lo));
}

struct RoleLanes {
    Bits128 asFirst;
    Bits128 asSecond;
};

RoleLanes lanesOf(const QUuid& id)
{
    const Bits128 b = bitsOf(id);
    return {{mix(b.hi ^ mix(b.lo ^ 0x243f6a8885a308d3ULL)), mix(b.lo ^ mix(b.hi ^ 0x13198a2e03707344ULL))},
            {mix(b.hi ^ mix(b.lo ^ 0xa4093822299f31d0ULL)), mix(b.lo ^ mix(b.hi ^ 0x082efa98ec4e6c89ULL))}};
}

Bits128 reasonBits(const QString& reason)
{
    const QByteArray digest = QCryptographicHash::hash(reason.toUtf8(), QCryptographicHash::Sha256);
    Bits128 bits;
    for (int i = 0; i < 8; ++i) {
        bits.hi = (bits.hi << 8) | uchar(digest[i]);
        bits.lo = (bits.lo << 8) | uchar(digest[8 + i]);
    }
    return bits;
}

// The two halves apart: ranking compares the high half first and rarely needs the other.
quint64 edgeHigh(const RoleLanes& first, const RoleLanes& second, const Bits128& reason)
{
    return (mix(first.asFirst.hi ^ mix(second.asSecond.hi ^ reason.hi)) & ~0xF000ULL) | 0x8000ULL;
}

quint64 edgeLow(const RoleLanes& first, const RoleLanes& second, const Bits128& reason)
{
    return (mix(first.asFirst.lo ^ mix(second.asSecond.lo ^ reason.lo)) & 0x3FFFFFFFFFFFFFFFULL) |
           0x8000000000000000ULL;
}

// --- Ranking --------------------------------------------------------------------------------------

// A link as the reasons see it, its keys as small numbers. Tag numbers follow plain text order, so
// the smallest number two links share names the tag of their reason.
struct LinkKeys {
    int position = 0; // in pairing order
    int firstTag = 0; // its run of tag numbers in Ranking::m_tags, ascending
    int tagCount = 0;
    int folder = -1;
    int domain = -1;
    int app = -1;
    bool appContext = false;
    bool loose = false; // fewer than two relations
    RoleLanes lanes;
};

// Reason codes: a tag number, or one of these.
constexpr int folderReason = -1;
constexpr int domainReason = -2;
constexpr int appReason = -3;
constexpr int noReason = -4;

int baseScore(int reason)
{
    switch (reason) {
    case folderReason:
        return folderScore;
    case domainReason:
        return domainScore;
    case appReason:
        return appContextScore;
    default:
        return tagScore;
    }
}

struct Candidate {
    int score = 0;
    Bits128 id;
    int first = 0;
    int second = 0;
    int reason = noReason;
};

bool better(const Candidate& a, const Candidate& b)
{
    return a.score != b.score ? a.score > b.score : a.id < b.id;
}

class KeyNumbers {
public:
    int number(const QString& key)
    {
        if (const auto found = m_numbers.constFind(key); found != m_numbers.cend())
            return *found;
        const int number = int(m_numbers.size());
        m_numbers.insert(key, number);
        return number;
    }

private:
    QHash<QString, int> m_numbers;
};

// Links that share no key cannot be suggested, so only the members of each key's group are paired.
// A pair that shares several keys is weighed once, in the group of the key that gives its reason
// (the smallest shared tag, else the folder, the domain, the application). Each group's members are
// copied side by side first: the pairs of a group then read memory that is already at hand.
class Ranking {
public:
    Ranking(const QList<LinkItem>& items, const QList<LinkRelation>& relations,
            const QHash<QUuid, int>& degrees)
        : m_items(items)
        , m_order(SuggestedRelations::pairingOrder(items))
    {
        for (const LinkRelation& relation : relations)
            m_related.insert(normalized(relation.fromLinkID, relation.toLinkID));
        numberTags();
        describeLinks(degrees);
    }

    QList<GraphEdge> run()
    {
        for (int tag = 0; tag < int(m_byTag.size()); ++tag) {
            scanPairs(m_byTag[size_t(tag)], [&](const LinkKeys& a, const LinkKeys& b) {
                return firstSharedTag(a, b) == tag ? tag : noReason;
            });
        }
        // Only files and folders have a folder, only web pages a domain, and an app-context link has
        // neither: past the tags, a pair shares at most one key.
        for (const std::vector<int>& group : m_byFolder) {
            scanPairs(group, [&](const LinkKeys& a, const LinkKeys& b) {
                return firstSharedTag(a, b) < 0 ? folderReason : noReason;
            });
        }
        for (const std::vector<int>& group : m_byDomain) {
            scanPairs(group, [&](const LinkKeys& a, const LinkKeys& b) {
                return firstSharedTag(a, b) < 0 ? domainReason : noReason;
            });
        }
        for (size_t app = 0; app < m_byApp.size(); ++app) {
            if (m_appHasContext[app])
                scanApplication(m_byApp[app]);
        }
        std::sort(m_best.begin(), m_best.end(), better);
        QList<GraphEdge> edges;
        edges.reserve(qsizetype(m_best.size()));
        for (const Candidate& c : m_best)
            edges.append({uuidOf(c.id), item(c.first).id, item(c.second).id,
                          GraphEdgeKind::suggestion(reasonText(c.reason))});
        return edges;
    }

private:
    const LinkItem& item(int position) const { return m_items[m_order[size_t(position)]]; }

    static std::pair<QUuid, QUuid> normalized(const QUuid& a, const QUuid& b)
    {
        return a < b ? std::pair(a, b) : std::pair(b, a);
    }

    static bool sameFolder(const LinkKeys& a, const LinkKeys& b)
    {
        return a.folder >= 0 && a.folder == b.folder;
    }
    static bool sameDomain(const LinkKeys& a, const LinkKeys& b)
    {
        return a.domain >= 0 && a.domain == b.domain;
    }

    int firstSharedTag(const LinkKeys& a, const LinkKeys& b) const
    {
        const int* x = m_tags.data() + a.firstTag;
        const int* const xEnd = x + a.tagCount;
        const int* y = m_tags.data() + b.firstTag;
        const int* const yEnd = y + b.tagCount;
        while (x != xEnd && y != yEnd) {
            if (*x == *y)
                return *x;
            *x < *y ? ++x : ++y;
        }
        return -1;
    }

    void numberTags()
    {
        QSet<QString> distinct;
        for (const LinkItem& item : m_items) {
            for (const QString& tag : item.tags)
                distinct.insert(tag);
        }
        m_tagTexts = QStringList(distinct.begin(), distinct.end());
        std::sort(m_tagTexts.begin(), m_tagTexts.end(), codePointLess);
        for (int i = 0; i < m_tagTexts.size(); ++i)
            m_tagNumbers.insert(m_tagTexts[i], i);
        m_byTag.resize(size_t(m_tagTexts.size()));
        m_tagReasons.resize(size_t(m_tagTexts.size()));
    }

    void describeLinks(const QHash<QUuid, int>& degrees)
    {
        KeyNumbers folders, domains, apps;
        m_keys.resize(m_order.size());
        for (int p = 0; p < int(m_order.size()); ++p) {
            const LinkItem& link = item(p);
            LinkKeys& keys = m_keys[size_t(p)];
            keys.position = p;
            keys.firstTag = int(m_tags.size());
            for (const QString& tag : link.tags)
                m_tags.push_back(m_tagNumbers.value(tag));
            std::sort(m_tags.begin() + keys.firstTag, m_tags.end());
            m_tags.erase(std::unique(m_tags.begin() + keys.firstTag, m_tags.end()), m_tags.end());
            keys.tagCount = int(m_tags.size()) - keys.firstTag;
            for (int t = keys.firstTag; t < int(m_tags.size()); ++t)
                m_byTag[size_t(m_tags[size_t(t)])].push_back(p);
            if (const auto folder = SuggestedRelations::folderKey(link))
                keys.folder = join(m_byFolder, folders.number(*folder), p);
            if (const auto domain = SuggestedRelations::domainKey(link))
                keys.domain = join(m_byDomain, domains.number(*domain), p);
            keys.appContext = isAppContextType(link.type);
            if (!link.sourceApp.isEmpty()) {
                keys.app = join(m_byApp, apps.number(link.sourceApp), p);
                m_appHasContext.resize(m_byApp.size());
                m_appHasContext[size_t(keys.app)] = m_appHasContext[size_t(keys.app)] || keys.appContext;
            }
            keys.loose = degrees.value(link.id) < 2;
            keys.lanes = lanesOf(link.id);
        }
    }

    static int join(std::vector<std::vector<int>>& groups, int number, int position)
    {
        if (size_t(number) >= groups.size())
            groups.resize(size_t(number) + 1);
        groups[size_t(number)].push_back(position);
        return number;
    }

    void gather(const std::vector<int>& group)
    {
        m_members.clear();
        for (const int position : group)
            m_members.push_back(m_keys[size_t(position)]);
    }

    // Members are in pairing order, so the first of a pair is the one met first.
    template <class ReasonOf> void scanPairs(const std::vector<int>& group, ReasonOf reasonOf)
    {
        if (group.size() < 2)
            return;
        gather(group);
        for (size_t i = 0; i < m_members.size(); ++i) {
            for (size_t j = i + 1; j < m_members.size(); ++j) {
                const int reason = reasonOf(m_members[i], m_members[j]);
                if (reason != noReason)
                    consider(m_members[i], m_members[j], reason);
            }
        }
    }

    // Only pairs with an app-context link count, so a browser's many pages are never paired here.
    void scanApplication(const std::vector<int>& group)
    {
        gather(group);
        for (size_t i = 0; i < m_members.size(); ++i) {
            if (!m_members[i].appContext)
                continue;
            for (size_t j = 0; j < m_members.size(); ++j) {
                if (j == i || (j < i && m_members[j].appContext))
                    continue; // the pair of two app-context links was met from the first of them
                const LinkKeys& a = m_members[std::min(i, j)];
                const LinkKeys& b = m_members[std::max(i, j)];
                if (firstSharedTag(a, b) < 0)
                    consider(a, b, appReason);
            }
        }
    }

    void consider(const LinkKeys& a, const LinkKeys& b, int reason)
    {
        const int score = baseScore(reason) + (a.loose || b.loose ? SuggestedRelations::looseLinkBonus : 0);
        // Nothing else about a pair matters once it ranks below the worst suggestion kept.
        const bool full = m_best.size() == size_t(SuggestedRelations::limit);
        if (full && score < m_best.front().score)
            return;
        const Bits128& why = reasonBitsOf(reason);
        const quint64 high = edgeHigh(a.lanes, b.lanes, why);
        if (full && score == m_best.front().score && high > m_best.front().id.hi)
            return;
        const Candidate candidate{
            score, {high, edgeLow(a.lanes, b.lanes, why)}, a.position, b.position, reason};
        if (full && !better(candidate, m_best.front()))
            return;
        if (m_related.contains(normalized(item(a.position).id, item(b.position).id)))
            return;
        if (full)
            std::pop_heap(m_best.begin(), m_best.end(), better);
        else
            m_best.emplace_back();
        m_best.back() = candidate;
        std::push_heap(m_best.begin(), m_best.end(), better);
    }

    QString reasonText(int reason) const
    {
        switch (reason) {
        case folderReason:
            return sameFolderText;
        case domainReason:
            return sameDomainText;
        case appReason:
            return sameAppContextText;
        default:
            return u'#' + m_tagTexts[reason];
        }
    }

    const Bits128& reasonBitsOf(int reason)
    {
        static const Bits128 folder = reasonBits(sameFolderText);
        static const Bits128 domain = reasonBits(sameDomainText);
        static const Bits128 app = reasonBits(sameAppContextText);
        switch (reason) {
        case folderReason:
            return folder;
        case domainReason:
            return domain;
        case appReason:
            return app;
        default:
            std::optional<Bits128>& bits = m_tagReasons[size_t(reason)];
            if (!bits)
                bits = reasonBits(reasonText(reason));
            return *bits;
        }
    }

    const QList<LinkItem>& m_items;
    const std::vector<qsizetype> m_order; // pairing position -> index in m_items
    QSet<std::pair<QUuid, QUuid>> m_related;
    QStringList m_tagTexts; // by tag number
    QHash<QString, int> m_tagNumbers;
    std::vector<std::optional<Bits128>> m_tagReasons;
    std::vector<int> m_tags;      // every link's tag numbers, one run per link
    std::vector<LinkKeys> m_keys; // by pairing position
    // The members of each key, by ascending pairing position.
    std::vector<std::vector<int>> m_byTag, m_byFolder, m_byDomain, m_byApp;
    std::vector<bool> m_appHasContext;
    std::vector<LinkKeys> m_members; // the group being paired
    std::vector<Candidate> m_best;   // a heap whose front is the worst kept
};

} // namespace

QList<GraphEdge> SuggestedRelations::rank(const QList<LinkItem>& items, const QList<LinkRelation>& relations,
                                          const QHash<QUuid, int>& degrees)
{
    if (items.size() < 2)
        return {};
    return Ranking(items, relations, degrees).run();
}

std::optional<SuggestedRelations::Reason> SuggestedRelations::reason(const LinkItem& first,
                                                                     const LinkItem& second)
{
    QStringList shared;
    for (const QString& tag : first.tags) {
        if (second.tags.contains(tag))
            shared.append(tag);
    }
    if (!shared.isEmpty())
        return Reason{u'#' + *std::min_element(shared.begin(), shared.end(), codePointLess), tagScore};
    const auto firstFolder = folderKey(first);
    if (firstFolder && firstFolder == folderKey(second))
        return Reason{sameFolderText, folderScore};
    const auto firstDomain = domainKey(first);
    if (firstDomain && firstDomain == domainKey(second))
        return Reason{sameDomainText, domainScore};
    if (!first.sourceApp.isEmpty() && first.sourceApp == second.sourceApp &&
        (isAppContextType(first.type) || isAppContextType(second.type)))
        return Reason{sameAppContextText, appContextScore};
    return std::nullopt;
}

int SuggestedRelations::score(const Reason& reason, int firstDegree, int secondDegree)
{
    return reason.baseScore + (firstDegree < 2 || secondDegree < 2 ? looseLinkBonus : 0);
}

std::optional<QString> SuggestedRelations::folderKey(const LinkItem& item)
{
    if (item.type != LinkType::file && item.type != LinkType::folder)
        return std::nullopt;
    QString path;
    if (item.lastKnownPath) {
        path = *item.lastKnownPath;
    } else if (const auto url = LocatorUrl::parse(item.url)) {
        path = url->path();
    } else {
        return std::nullopt;
    }
    if (path.isEmpty())
        return std::nullopt;
    QStringList parts = path.split(u'/', Qt::SkipEmptyParts);
    if (!parts.isEmpty())
        parts.removeLast();
    QStringList resolved;
    for (const QString& part : std::as_const(parts)) {
        if (part == u"..") {
            if (!resolved.isEmpty())
                resolved.removeLast();
        } else if (part != u".") {
            resolved.append(part);
        }
    }
    const QString key = (path.startsWith(u'/') ? QStringLiteral("/") : QString()) + resolved.join(u'/');
    return key.isEmpty() ? QStringLiteral(".") : key;
}

std::optional<QString> SuggestedRelations::domainKey(const LinkItem& item)
{
    if (item.type != LinkType::web)
        return std::nullopt;
    const auto url = LocatorUrl::parse(item.url);
    const std::optional<QString> host = url ? url->host() : std::nullopt;
    if (!host || host->isEmpty())
        return std::nullopt;
    QString key = host->toLower();
    if (key.startsWith(QStringLiteral("www.")))
        key.remove(0, 4);
    return key;
}

QUuid SuggestedRelations::edgeID(const QUuid& from, const QUuid& to, const QString& reason)
{
    const RoleLanes first = lanesOf(from);
    const RoleLanes second = lanesOf(to);
    const Bits128 why = reasonBits(reason);
    return uuidOf({edgeHigh(first, second, why), edgeLow(first, second, why)});
}

std::vector<qsizetype> SuggestedRelations::pairingOrder(const QList<LinkItem>& items)
{
    QList<QString> titles;
    titles.reserve(items.size());
    for (const LinkItem& item : items)
        titles.append(item.title);
    return LocalizedOrder().order(titles);
}

} // namespace morvane
