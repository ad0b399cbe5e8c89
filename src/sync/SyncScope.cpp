#include "sync/SyncScope.h"

#include "foundation/Uuid.h"
#include "sync/KeptRecords.h"
#include "sync/RecordFormats.h"

#include <QCoroFuture>

namespace morvane {

namespace {

// The scope's keys in the forms the library is read by.
void addReadingKeys(SyncScope& scope)
{
    for (const QUuid& id : std::as_const(scope.links)) {
        scope.linkIDs.append(uuidString(id));
        scope.relationEnds.append(uuidString(id));
    }
    for (const QString& name : std::as_const(scope.relations))
        scope.relationEnds.append(name.split(u'_'));
    scope.deletionKeys = QList<std::pair<QString, QString>>(scope.deletions.cbegin(), scope.deletions.cend());
}

// Every value readPart(row, count) gives, a part after another until a part reads no row.
template <class T, class ReadPart> QCoro::Task<QList<T>> readInParts(ReadPart readPart, qsizetype perPart)
{
    QList<T> values;
    qint64 after = 0;
    for (;;) {
        QFuture<SyncedLibrary::Part<T>> reading = readPart(after, perPart);
        SyncedLibrary::Part<T> part = co_await reading;
        if (part.lastRow == after)
            co_return values;
        after = part.lastRow;
        values.append(std::move(part.values));
    }
}

// Hands every value of the parts readPart(row, count) gives to take, a part after another until a part
// reads no row; the store's thread reads the next part while one is handed over.
template <class T, class ReadPart, class Take>
QCoro::Task<void> takeInParts(ReadPart readPart, qsizetype perPart, Take take)
{
    QFuture<SyncedLibrary::Part<T>> reading = readPart(0, perPart);
    for (qint64 after = 0;;) {
        const SyncedLibrary::Part<T> part = co_await reading;
        if (part.lastRow == after)
            co_return;
        after = part.lastRow;
        reading = readPart(after, perPart);
        for (const T& value : part.values)
            take(value);
    }
}

} // namespace

void SyncScope::touch(const QString& recordName, const KeptRecord& kept)
{
    if (const auto* deleted = std::get_if<DeletedRecord>(&kept.value)) {
        deletions.insert({deleted->recordType, deleted->recordName});
    } else if (kept.type == KeptRecord::Type::link) {
        if (const auto* link = std::get_if<LinkSummary>(&kept.value))
            links.insert(link->id);
        if (const std::optional<QUuid> id = parseUuid(recordName))
            links.insert(*id);
    } else if (kept.type == KeptRecord::Type::relation) {
        if (const auto* relation = std::get_if<LinkRelation>(&kept.value))
            relations.insert(RecordFormats::relationRecordName(*relation));
        relations.insert(recordName);
    }
}

void SyncScope::touch(const LibraryChangeJournal::Changes& journal)
{
    for (const QString& stored : journal.links) {
        if (const std::optional<QUuid> id = parseUuid(stored))
            links.insert(*id);
        linkIDs.append(stored);
        relationEnds.append(stored);
    }
    for (const auto& [from, to] : journal.relations) {
        const std::optional<QUuid> fromID = parseUuid(from);
        const std::optional<QUuid> toID = parseUuid(to);
        if (fromID && toID)
            relations.insert(LinkRelation::recordName(*fromID, *toID));
        relationEnds.append(from);
        relationEnds.append(to);
    }
    for (const std::pair<QString, QString>& deleted : journal.deletedRecords)
        deletions.insert(deleted);
}

void SyncScope::close(const KeptRecords& kept)
{
    for (const auto& [type, name] : std::as_const(deletions)) {
        if (type == RecordFormats::linkType) {
            if (const std::optional<QUuid> id = parseUuid(name))
                links.insert(*id);
        } else if (type == RecordFormats::relationType) {
            relations.insert(name);
        }
    }
    for (const QUuid& id : std::as_const(links)) {
        for (const QString& name : kept.relationsAt(id)) {
            const std::optional<KeptRecord> found = kept.find(name);
            if (!found)
                continue;
            if (const auto* relation = std::get_if<LinkRelation>(&found->value))
                relations.insert(RecordFormats::relationRecordName(*relation));
        }
        deletions.insert({RecordFormats::linkType, uuidString(id)});
    }
    for (const QString& name : std::as_const(relations))
        deletions.insert({RecordFormats::relationType, name});
    addReadingKeys(*this);
}

QStringList SyncScope::recordsIn(const KeptRecords& kept) const
{
    QStringList names;
    for (const QUuid& id : links) {
        names += kept.linkRecords(id);
        names.append(uuidString(id));
    }
    for (const QString& relation : relations) {
        names += kept.relationRecords(relation);
        names.append(relation);
    }
    // The library's side holds every relation at an end it reads by: the store's side holds them too,
    // so that one the store has already is not sent again.
    for (const QString& end : relationEnds) {
        if (const std::optional<QUuid> id = parseUuid(end))
            names += kept.relationsAt(*id);
    }
    for (const auto& [type, name] : deletions) {
        names += kept.deletionRecords(type, name);
        names.append(name);
    }
    names.removeIf([&kept](const QString& name) { return !kept.contains(name); });
    names.sort();
    names.removeDuplicates();
    return names;
}

QCoro::Task<SyncedLibrary::State> readLibrary(LinkStore& store, std::shared_ptr<const SyncScope> scope,
                                              qsizetype perPart)
{
    if (scope) {
        SyncedLibrary::Keys keys{scope->linkIDs, scope->relationEnds, scope->deletionKeys};
        QFuture<SyncedLibrary::State> reading = SyncedLibrary(store).state(std::move(keys));
        co_return co_await reading;
    }
    const auto links = [&store](qint64 row, qsizetype count) {
        return SyncedLibrary(store).linksAfter(row, count);
    };
    const auto relations = [&store](qint64 row, qsizetype count) {
        return SyncedLibrary(store).relationsAfter(row, count);
    };
    SyncedLibrary::State state;
    state.links = co_await readInParts<LinkItem>(links, perPart);
    state.relations = co_await readInParts<LinkRelation>(relations, perPart);
    QFuture<QList<DeletedRecord>> deletions = SyncedLibrary(store).deletions();
    state.deletions = co_await deletions;
    co_return state;
}

QList<LinkSummary> LibrarySide::linkSummaries() const
{
    if (whole)
        return summaries;
    QList<LinkSummary> result;
    result.reserve(rows.links.size());
    for (const LinkItem& link : rows.links)
        result.append(LinkSummary::of(link));
    return result;
}

QCoro::Task<LibrarySide> readLibrarySide(LinkStore& store, std::shared_ptr<const SyncScope> scope,
                                         qsizetype perPart)
{
    LibrarySide side;
    if (scope) {
        side.rows = co_await readLibrary(store, scope, perPart);
        co_return side;
    }
    side.whole = true;
    // Not squeezed, which would copy them: a large library's lists are mappings of their own (from 4 MiB,
    // see keepLittleFreedMemory), whose pages past their ends were never written and take no memory.
    const LinkTaker summing = [&side](const LinkItem& link) { side.summaries.append(LinkSummary::of(link)); };
    const RelationTaker keeping = [&side](const LinkRelation& relation) {
        side.rows.relations.append(relation);
    };
    side.rows.deletions = co_await walkLibrary(store, summing, keeping, perPart);
    co_return side;
}

QCoro::Task<QList<DeletedRecord>> walkLibrary(LinkStore& store, LinkTaker link, RelationTaker relation,
                                              qsizetype perPart)
{
    // A link read in full takes a few kilobytes: two parts of a few hundred are what the read holds at
    // any time, where parts of thousands held tens of megabytes, which stayed with the allocator of the
    // store's thread.
    const auto links = [&store](qint64 row, qsizetype count) {
        return SyncedLibrary(store).linksAfter(row, count);
    };
    const qsizetype linksPart = std::min(perPart, fullLinksPerPart);
    co_await takeInParts<LinkItem>(links, linksPart, link);
    const auto relations = [&store](qint64 row, qsizetype count) {
        return SyncedLibrary(store).relationsAfter(row, count);
    };
    co_await takeInParts<LinkRelation>(relations, perPart, relation);
    QFuture<QList<DeletedRecord>> deletions = SyncedLibrary(store).deletions();
    QList<DeletedRecord> deleted = co_await deletions;
    // The cache is full of the pages just read, which a whole pass reads again only for the few links it
    // compares: held, they would add to what the pass holds at its height, while the record store is listed.
    QFuture<void> releasing = SyncedLibrary(store).releaseCachedPages();
    co_await releasing;
    co_return deleted;
}

QFuture<QList<LinkItem>> readLinksByID(LinkStore& store, const QList<QUuid>& ids)
{
    SyncedLibrary::Keys keys;
    keys.linkIDs.reserve(ids.size() * 2);
    for (const QUuid& id : ids) {
        const QString text = uuidString(id);
        keys.linkIDs.append(text);
        keys.linkIDs.append(text.toLower());
    }
    return SyncedLibrary(store).linksOnly(std::move(keys.linkIDs));
}

} // namespace morvane
