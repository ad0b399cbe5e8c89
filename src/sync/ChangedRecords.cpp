#include "sync/ChangedRecords.h"

namespace morvane {

void ChangedRecords::append(const QString& name, QByteArrayView version, QByteArrayView kept)
{
    const QByteArray utf8 = name.toUtf8();
    const quint64 at = m_bytes.size();
    m_entries.push_back({at, at + quint64(utf8.size() + version.size()), quint32(utf8.size()),
                         quint32(version.size()), quint32(kept.size())});
    m_bytes.append(utf8.constData(), std::size_t(utf8.size()));
    m_bytes.append(version.data(), std::size_t(version.size()));
    m_bytes.append(kept.data(), std::size_t(kept.size()));
}

void ChangedRecords::appendKeptByName(const QString& name, QByteArrayView version)
{
    const QByteArray utf8 = name.toUtf8();
    m_entries.push_back({m_bytes.size(), byName, quint32(utf8.size()), quint32(version.size()), 0});
    m_bytes.append(utf8.constData(), std::size_t(utf8.size()));
    m_bytes.append(version.data(), std::size_t(version.size()));
}

QByteArrayView ChangedRecords::nameOf(const Entry& entry) const
{
    return QByteArrayView(m_bytes.begin() + entry.at, entry.nameSize);
}

void ChangedRecords::keepBytesOfLast(const QString& name, QByteArrayView kept)
{
    const QByteArray utf8 = name.toUtf8();
    for (std::size_t i = m_entries.size(); i-- > 0;) {
        Entry& entry = m_entries[i];
        if (nameOf(entry) != QByteArrayView(utf8))
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
        record.name = QString::fromUtf8(nameOf(entry));
        record.version = QByteArray(m_bytes.begin() + entry.at + entry.nameSize, entry.versionSize);
        if (entry.keptAt == byName)
            record.kept = keptOf ? keptOf(record.name) : QByteArray();
        else
            record.kept = QByteArray(m_bytes.begin() + entry.keptAt, entry.keptSize);
        take(record);
    }
}

} // namespace morvane
