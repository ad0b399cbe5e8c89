#include "sync/KeptRecords.h"

#include "foundation/Uuid.h"
#include "sync/RecordFormats.h"

namespace morvane {

namespace {

QString linkKey(const QUuid& id)
{
    return u'L' + uuidString(id);
}

QString relationKey(const QString& relationName)
{
    return u'R' + relationName;
}

QString endKey(const QUuid& linkID)
{
    return u'E' + uuidString(linkID);
}

QString deletionKey(const QString& type, const QString& name)
{
    return u'D' + type + u'\x1f' + name;
}

QStringList indexKeys(const RemoteRecord& decoded)
{
    if (const auto* deleted = std::get_if<DeletedRecord>(&decoded.value))
        return {deletionKey(deleted->recordType, deleted->recordName)};
    if (const auto* link = std::get_if<LinkItem>(&decoded.value))
        return {linkKey(link->id)};
    if (const auto* relation = std::get_if<LinkRelation>(&decoded.value))
        return {relationKey(RecordFormats::relationRecordName(*relation)), endKey(relation->fromLinkID),
                endKey(relation->toLinkID)};
    return {};
}

} // namespace

void KeptRecords::keep(const QString& name, RemoteRecord decoded)
{
    for (const QString& key : indexKeys(decoded))
        m_index.insert(key, name);
    m_records.insert(name, std::move(decoded));
}

std::optional<RemoteRecord> KeptRecords::forget(const QString& name)
{
    const auto found = m_records.constFind(name);
    if (found == m_records.constEnd())
        return std::nullopt;
    RemoteRecord decoded = *found;
    m_records.erase(found);
    for (const QString& key : indexKeys(decoded))
        m_index.remove(key, name);
    return decoded;
}

const RemoteRecord* KeptRecords::find(const QString& name) const
{
    const auto found = m_records.constFind(name);
    return found == m_records.constEnd() ? nullptr : &*found;
}

QStringList KeptRecords::linkRecords(const QUuid& id) const
{
    return namesOf(linkKey(id));
}

QStringList KeptRecords::relationRecords(const QString& relationName) const
{
    return namesOf(relationKey(relationName));
}

QStringList KeptRecords::relationsAt(const QUuid& linkID) const
{
    return namesOf(endKey(linkID));
}

QStringList KeptRecords::deletionRecords(const QString& type, const QString& name) const
{
    return namesOf(deletionKey(type, name));
}

QStringList KeptRecords::namesOf(const QString& key) const
{
    QStringList names;
    for (auto name = m_index.constFind(key); name != m_index.constEnd() && name.key() == key; ++name)
        names.append(*name);
    return names;
}

} // namespace morvane
