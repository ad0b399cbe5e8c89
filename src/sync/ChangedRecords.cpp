#include "sync/ChangedRecords.h"

#include "foundation/Uuid.h"

#include <cstring>

namespace morvane {

namespace {

constexpr qsizetype idText = 36; // as uuidString writes an id

// The id the text is written from, when uuidString writes it so.
std::optional<QUuid> idWrittenAs(QStringView text)
{
    if (text.size() != idText)
        return std::nullopt;
    const QString written = text.toString();
    const std::optional<QUuid> id = parseUuid(written);
    if (!id || uuidString(*id) != written)
        return std::nullopt;
    return id;
}

void appendId(QByteArray& bytes, const QUuid& id)
{
    bytes.append(reinterpret_cast<const char*>(&id), sizeof(QUuid));
}

QUuid idAt(QByteArrayView bytes, qsizetype index)
{
    QUuid id;
    std::memcpy(&id, bytes.data() + index * qsizetype(sizeof(QUuid)), sizeof(QUuid));
    return id;
}

} // namespace

QByteArray ChangedRecords::heldName(const QString& name, quint8& ids)
{
    QByteArray held;
    if (const std::optional<QUuid> id = idWrittenAs(name)) {
        appendId(held, *id);
        ids = 1;
        return held;
    }
    if (name.size() == 2 * idText + 1 && name.at(idText) == u'_') {
        const std::optional<QUuid> from = idWrittenAs(QStringView(name).first(idText));
        const std::optional<QUuid> to = idWrittenAs(QStringView(name).sliced(idText + 1));
        if (from && to) {
            appendId(held, *from);
            appendId(held, *to);
            ids = 2;
            return held;
        }
    }
    ids = 0;
    return name.toUtf8();
}

QString ChangedRecords::nameFrom(QByteArrayView held, quint8 ids)
{
    switch (ids) {
    case 1:
        return uuidString(idAt(held, 0));
    case 2:
        return uuidString(idAt(held, 0)) + u'_' + uuidString(idAt(held, 1));
    default:
        return QString::fromUtf8(held);
    }
}

void ChangedRecords::append(const QString& name, QByteArrayView version, QByteArrayView kept)
{
    quint8 ids = 0;
    const QByteArray held = heldName(name, ids);
    const quint64 at = m_bytes.size();
    m_entries.push_back({at, at + quint64(held.size() + version.size()), quint32(held.size()),
                         quint32(version.size()), quint32(kept.size()), ids});
    m_bytes.append(held.constData(), std::size_t(held.size()));
    m_bytes.append(version.data(), std::size_t(version.size()));
    m_bytes.append(kept.data(), std::size_t(kept.size()));
}

void ChangedRecords::appendKeptByName(const QString& name, QByteArrayView version)
{
    quint8 ids = 0;
    const QByteArray held = heldName(name, ids);
    m_entries.push_back({m_bytes.size(), byName, quint32(held.size()), quint32(version.size()), 0, ids});
    m_bytes.append(held.constData(), std::size_t(held.size()));
    m_bytes.append(version.data(), std::size_t(version.size()));
}

QByteArrayView ChangedRecords::nameOf(const Entry& entry) const
{
    return QByteArrayView(m_bytes.begin() + entry.at, entry.nameSize);
}

void ChangedRecords::keepBytesOfLast(const QString& name, QByteArrayView kept)
{
    quint8 ids = 0;
    const QByteArray held = heldName(name, ids);
    for (std::size_t i = m_entries.size(); i-- > 0;) {
        Entry& entry = m_entries[i];
        if (entry.ids != ids || nameOf(entry) != QByteArrayView(held))
            continue;
        if (entry.keptAt == byName) {
            entry.keptAt = m_bytes.size();
            entry.keptSize = quint32(kept.size());
            m_bytes.append(kept.data(), std::size_t(kept.size()));
        }
        return;
    }
}

void ChangedRecords::forEach(const LibrarySyncPoint::RecordTaker& take, const KeptOf& keptOf) const
{
    LibrarySyncPoint::Record record;
    for (const Entry& entry : m_entries) {
        record.name = nameFrom(nameOf(entry), entry.ids);
        record.version = QByteArray(m_bytes.begin() + entry.at + entry.nameSize, entry.versionSize);
        if (entry.keptAt == byName)
            record.kept = keptOf ? keptOf(record.name) : QByteArray();
        else
            record.kept = QByteArray(m_bytes.begin() + entry.keptAt, entry.keptSize);
        take(record);
    }
}

} // namespace morvane
