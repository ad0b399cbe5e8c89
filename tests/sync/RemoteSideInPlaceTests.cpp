// A complete listing's remote side, read where the next point keeps its records, must answer as the side
// made of the same records added one by one in the order of their names, as a listing gives them.
#include "TestValues.h"

#include "foundation/Uuid.h"
#include "sync/KeptRecords.h"
#include "sync/RecordFormats.h"
#include "sync/SyncRemoteState.h"

#include <algorithm>
#include <random>

#include <gtest/gtest.h>

namespace morvane::test {
namespace {

using Listed = QList<std::pair<QString, KeptRecord>>;

KeptRecord linkRecord(const QUuid& id, qint64 updatedAt)
{
    return {KeptRecord::Type::link, LinkSummary{id, updatedAt, {}, 0}};
}

KeptRecord relationRecord(const QUuid& from, const QUuid& to, const QDateTime& createdAt)
{
    return {KeptRecord::Type::relation, LinkRelation{QUuid::createUuid(), from, to, createdAt}};
}

bool sameLink(const LinkSummary* a, const LinkSummary* b)
{
    if (!a || !b)
        return !a && !b;
    return a->id == b->id && a->updatedAt == b->updatedAt;
}

// Every answer of both sides about the records listed, and about names, ids and pairs never listed.
void expectSameAnswers(const SyncRemoteState& inPlace, const SyncRemoteState& added, const Listed& listed)
{
    ASSERT_EQ(inPlace.linkCount(), added.linkCount());
    for (qsizetype at = 0; at < added.linkCount(); ++at)
        EXPECT_TRUE(sameLink(&inPlace.linkAt(at), &added.linkAt(at))) << "link " << at;
    ASSERT_EQ(inPlace.relationCount(), added.relationCount());
    for (qsizetype at = 0; at < added.relationCount(); ++at)
        EXPECT_EQ(inPlace.relationAt(at), added.relationAt(at)) << "relation " << at;
    EXPECT_EQ(inPlace.deletions, added.deletions);
    EXPECT_EQ(inPlace.deletionsByName, added.deletionsByName);

    QList<QUuid> ids{QUuid::createUuid()};
    QList<SyncRemoteState::RelationPair> pairs{{QUuid::createUuid(), QUuid::createUuid()}};
    QStringList names{"never-listed", LinkRelation::recordName(ids[0], pairs[0].first)};
    for (const auto& [name, kept] : listed) {
        names << name << name.toLower() << name.toUpper();
        if (const auto* link = std::get_if<LinkSummary>(&kept.value)) {
            ids.append(link->id);
            names.append(uuidString(link->id));
        } else if (const auto* relation = std::get_if<LinkRelation>(&kept.value)) {
            pairs << SyncRemoteState::pairOf(*relation);
            names.append(RecordFormats::relationRecordName(*relation));
            ids << relation->fromLinkID << relation->toLinkID; // links never listed
        }
    }
    for (const QUuid& id : std::as_const(ids)) {
        EXPECT_TRUE(sameLink(inPlace.linkByID(id), added.linkByID(id))) << uuidString(id).toStdString();
        EXPECT_EQ(inPlace.linkName(id), added.linkName(id));
    }
    for (const SyncRemoteState::RelationPair& pair : std::as_const(pairs))
        EXPECT_EQ(inPlace.relationByPair(pair), added.relationByPair(pair));
    for (const QString& name : std::as_const(names))
        EXPECT_EQ(inPlace.listed(name), added.listed(name)) << name.toStdString();
}

// Kept in the order given, read in place; and added in the order of the names.
void expectReadInPlaceAsListed(Listed listed)
{
    KeptRecords kept;
    for (const auto& [name, record] : std::as_const(listed))
        kept.keep(name, record);
    kept.settle();
    const SyncRemoteState inPlace = SyncRemoteState::over(kept, {});

    std::stable_sort(listed.begin(), listed.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    SyncRemoteState added;
    for (const auto& [name, record] : std::as_const(listed))
        added.add(name, record);
    expectSameAnswers(inPlace, added, listed);
}

TEST(SyncRemoteState, ReadInPlaceAnswersAsTheRecordsListedInTheOrderOfTheirNames)
{
    // QUuid orders ids by their variant first, their texts do not: these are in another order by each.
    const QUuid ncsLate = uuid("F0000000-0000-4000-0000-000000000001");
    const QUuid ncsEarly = uuid("05000000-0000-4000-0000-000000000003");
    const QUuid dce = uuid("1A000000-0000-4000-8000-00000000000B");
    const QUuid microsoft = uuid("08000000-0000-4000-C000-000000000004");
    const QUuid elsewhere = uuid("0E000000-0000-4000-8000-000000000005");
    const QDateTime made = at("2024-05-01T09:30:12.345Z");
    const Listed listed{
        {uuidString(ncsLate), linkRecord(ncsLate, 1)},
        {"0-before", linkRecord(ncsLate, 2)}, // the own name comes later: the own record is the link
        {uuidString(dce), linkRecord(dce, 3)},
        {uuidString(dce).toLower(), linkRecord(dce, 4)}, // comes after the own name: this is the link
        {uuidString(ncsEarly), linkRecord(ncsEarly, 5)},
        {uuidString(microsoft), linkRecord(microsoft, 6)},
        {"zz-only-name", linkRecord(elsewhere, 7)}, // never under its own name
        {LinkRelation::recordName(ncsLate, dce), relationRecord(dce, ncsLate, made)},
        {"renamed-pair", relationRecord(ncsLate, dce, made.addSecs(1))}, // after the own name: the relation
        {LinkRelation::recordName(ncsEarly, microsoft), relationRecord(ncsEarly, microsoft, QDateTime())},
        {"0-pair", relationRecord(microsoft, ncsEarly, made)}, // before the own name
        {LinkRelation::recordName(ncsLate, microsoft), relationRecord(microsoft, ncsLate, made)},
        {LinkRelation::recordName(ncsEarly, dce), relationRecord(ncsEarly, dce, made)},
        {"0D000000-0000-4000-8000-000000000006", {KeptRecord::Type::link, std::monostate()}},
        {"unreadable-pair", {KeptRecord::Type::relation, std::monostate()}},
        {"unreadable-deletion", {KeptRecord::Type::deletion, std::monostate()}},
        {RecordFormats::tombstoneRecordName({RecordFormats::linkType, uuidString(elsewhere), made}),
         {KeptRecord::Type::deletion, DeletedRecord{RecordFormats::linkType, uuidString(elsewhere), made}}},
        {"deletion-elsewhere",
         {KeptRecord::Type::deletion, DeletedRecord{RecordFormats::linkType, uuidString(dce), made}}},
    };
    Listed reversed = listed;
    std::reverse(reversed.begin(), reversed.end()); // names out of order
    expectReadInPlaceAsListed(listed);
    expectReadInPlaceAsListed(reversed);
}

// A folder of many records, some of ids of other variants, some under other names or listed twice.
TEST(SyncRemoteState, ReadInPlaceAnswersAsListedForManyRecordsOfEveryKind)
{
    std::mt19937 random(67);
    QList<QUuid> ids;
    for (int i = 0; i < 400; ++i) {
        QUuid id = QUuid::createUuid();
        if (i % 3 == 0)
            id.data4[0] = uchar(random() & 0x7f); // the old variant, first by QUuid's order
        else if (i % 3 == 1)
            id.data4[0] = uchar(0xc0 | (random() & 0x1f));
        ids.append(id);
    }
    const QDateTime made = at("2024-05-01T09:30:12.345Z");
    Listed listed;
    for (qsizetype i = 0; i < ids.size(); ++i) {
        const QUuid& id = ids[i];
        if (i % 5 != 4)
            listed.append({uuidString(id), linkRecord(id, i)});
        if (i % 4 == 0) // under another name too, before or after its own
            listed.append({(i % 8 ? "~" : "") + uuidString(id).toLower(), linkRecord(id, 1000 + i)});
        const QUuid& other = ids[qsizetype(random() % std::size_t(ids.size()))];
        if (other == id)
            continue;
        const KeptRecord relation = relationRecord(id, other, made.addSecs(i));
        listed.append(
            {i % 7 ? LinkRelation::recordName(id, other) : QStringLiteral("pair-%1").arg(i), relation});
    }
    std::shuffle(listed.begin(), listed.end(), random);
    // A name listed twice is the last record under it, as the point keeps it.
    QHash<QString, qsizetype> last;
    for (qsizetype i = 0; i < listed.size(); ++i)
        last.insert(listed[i].first, i);
    Listed once;
    for (qsizetype i = 0; i < listed.size(); ++i) {
        if (last.value(listed[i].first) == i)
            once.append(listed[i]);
    }
    expectReadInPlaceAsListed(once);
}

// The links read this pass are at hand as the later record of each link has it.
TEST(SyncRemoteState, ReadInPlaceHoldsTheLaterReadCopyOfALinkAtHand)
{
    const QUuid id = uuid("0A000000-0000-4000-8000-000000000001");
    LinkItem own;
    own.id = id;
    own.title = QStringLiteral("own");
    LinkItem copy = own;
    copy.title = QStringLiteral("copy");
    KeptRecords kept;
    QHash<QString, RemoteRecord> read;
    for (const auto& [name, link] :
         {std::pair(uuidString(id), own), std::pair(uuidString(id).toLower(), copy)}) {
        const RemoteRecord record{RecordFormats::linkType, link};
        kept.keep(name, KeptRecord::of(record));
        read.insert(name, record);
    }
    read.insert("not-kept", RemoteRecord{RecordFormats::linkType, own});
    kept.settle();
    const SyncRemoteState inPlace = SyncRemoteState::over(kept, read);
    ASSERT_TRUE(inPlace.linksAtHand.contains(id));
    EXPECT_EQ(inPlace.linksAtHand.value(id).title, "copy");
    EXPECT_EQ(inPlace.linksAtHand,
              SyncRemoteState::of(kept, {uuidString(id), uuidString(id).toLower()}, read).linksAtHand);
}

} // namespace
} // namespace morvane::test
