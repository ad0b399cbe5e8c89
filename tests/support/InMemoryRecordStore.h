#pragma once

#include "sync/CloudKitSyncService.h"
#include "sync/RecordStore.h"

#include <QMap>
#include <QStringList>

#include <functional>
#include <mutex>
#include <optional>

namespace morvane::test {

// A record store in memory, shared by any number of "machines" (sync services over their own
// libraries). It keeps change tags and refuses stale saves as the real store does, and it pages
// queries at `pageSize`. Faults: fail(...) makes the nth matching request throw the given error.
// Interleaving: beforeRequest runs before every request, on the requesting thread, so a test can
// act as another machine at that exact moment (save over a record between a fetch and its save).
// The log lists every request as "<operation> <record type or name>". With `tracking` set it answers the
// records changed since an earlier answer, logged as "changes since" (or "changes everything").
class InMemoryRecordStore final : public RecordStore {
public:
    enum class Operation { fetch, save, remove, query, changes };

    AccountStatus account = AccountStatus::available;
    bool tracking = false;
    int pageSize = maximumResults;
    std::function<void(Operation, const QString& typeOrName)> beforeRequest;

    // The `skip`+1th request of the operation whose record type or name contains `match` throws.
    void fail(Operation operation, QString match, CloudKitError error, int skip = 0)
    {
        std::lock_guard lock(m_mutex);
        m_faults.append({operation, std::move(match), std::move(error), skip});
    }

    // Writes a record as another machine would (no tag check), answering it as stored.
    CloudRecord put(CloudRecord record)
    {
        std::lock_guard lock(m_mutex);
        record.setChangeTag(QString::number(++m_lastTag));
        m_records.insert(record.recordName(), record);
        return record;
    }
    std::optional<CloudRecord> record(const QString& name) const
    {
        std::lock_guard lock(m_mutex);
        const auto found = m_records.constFind(name);
        return found == m_records.constEnd() ? std::nullopt : std::optional<CloudRecord>(*found);
    }
    QStringList names(const QString& recordType) const
    {
        std::lock_guard lock(m_mutex);
        QStringList result;
        for (const CloudRecord& record : m_records)
            if (record.recordType() == recordType)
                result.append(record.recordName());
        return result;
    }
    QStringList log() const
    {
        std::lock_guard lock(m_mutex);
        return m_log;
    }
    void clearLog()
    {
        std::lock_guard lock(m_mutex);
        m_log.clear();
    }

    AccountStatus accountStatus() override { return account; }

    CloudRecord fetch(const QString& recordName) override
    {
        request(Operation::fetch, recordName);
        std::lock_guard lock(m_mutex);
        const auto found = m_records.constFind(recordName);
        if (found == m_records.constEnd())
            throw CloudKitError(CloudKitError::unknownItem, "Record not found");
        return *found;
    }

    CloudRecord save(const CloudRecord& record) override
    {
        request(Operation::save, record.recordType());
        std::lock_guard lock(m_mutex);
        const auto found = m_records.constFind(record.recordName());
        const QString storedTag = found == m_records.constEnd() ? QString() : found->changeTag();
        if (record.changeTag() != storedTag)
            throw CloudKitError(CloudKitError::serverRecordChanged, "Record changed since it was fetched");
        if (found != m_records.constEnd() && found->sameContent(record))
            return *found;
        CloudRecord saved = record;
        saved.setChangeTag(QString::number(++m_lastTag));
        m_records.insert(saved.recordName(), saved);
        return saved;
    }

    void remove(const QString& recordName) override
    {
        request(Operation::remove, recordName);
        std::lock_guard lock(m_mutex);
        if (!m_records.remove(recordName))
            throw CloudKitError(CloudKitError::unknownItem, "Record not found");
        m_removed.append({++m_removals, recordName});
    }

    bool tracksChanges() const override { return tracking; }
    Changes changesSince(const QByteArray& since) override
    {
        request(Operation::changes, since.isEmpty() ? QStringLiteral("everything") : QStringLiteral("since"));
        std::lock_guard lock(m_mutex);
        const QList<QByteArray> point = since.split(':');
        Changes changes;
        changes.complete = point.size() != 2;
        const int tagsSince = changes.complete ? 0 : point[0].toInt();
        const int removalsSince = changes.complete ? 0 : point[1].toInt();
        for (const CloudRecord& record : std::as_const(m_records)) {
            if (record.changeTag().toInt() > tagsSince)
                changes.records.append(record);
        }
        for (const auto& [removal, name] : std::as_const(m_removed)) {
            if (removal > removalsSince)
                changes.removed.append(name);
        }
        changes.since = QByteArray::number(m_lastTag) + ':' + QByteArray::number(m_removals);
        return changes;
    }

    // Moves with every write and removal.
    std::optional<QByteArray> changeToken() override
    {
        std::lock_guard lock(m_mutex);
        return QByteArray::number(m_lastTag) + ':' + QByteArray::number(m_removals);
    }

    Page query(const QString& recordType, int limit) override
    {
        request(Operation::query, recordType);
        return pageFrom(recordType, QString(), limit);
    }
    Page query(const Cursor& cursor, int limit) override
    {
        request(Operation::query, cursor.recordType);
        return pageFrom(cursor.recordType, cursor.after, limit);
    }

private:
    struct Fault {
        Operation operation;
        QString match;
        CloudKitError error;
        int skip;
    };

    void request(Operation operation, const QString& typeOrName)
    {
        if (beforeRequest)
            beforeRequest(operation, typeOrName);
        std::lock_guard lock(m_mutex);
        static const char* const operationNames[] = {"fetch", "save", "remove", "query", "changes"};
        m_log.append(QString::fromLatin1(operationNames[int(operation)]) + u' ' + typeOrName);
        for (qsizetype i = 0; i < m_faults.size(); ++i) {
            Fault& fault = m_faults[i];
            if (fault.operation != operation || !typeOrName.contains(fault.match))
                continue;
            if (fault.skip-- > 0)
                continue;
            const CloudKitError error = fault.error;
            m_faults.removeAt(i);
            throw error;
        }
    }

    Page pageFrom(const QString& recordType, const QString& after, int limit)
    {
        std::lock_guard lock(m_mutex);
        Page page;
        for (auto record = m_records.upperBound(after); record != m_records.end(); ++record) {
            if (record->recordType() != recordType)
                continue;
            if (page.records.size() == std::min(limit, pageSize)) {
                page.cursor = Cursor{recordType, page.records.constLast().recordName(), {}};
                break;
            }
            page.records.append(*record);
        }
        return page;
    }

    mutable std::mutex m_mutex;
    QMap<QString, CloudRecord> m_records; // by name, so pages come in name order
    QList<Fault> m_faults;
    QStringList m_log;
    int m_lastTag = 0;
    int m_removals = 0;
    QList<std::pair<int, QString>> m_removed; // each removal's number with the name removed
};

} // namespace morvane::test
