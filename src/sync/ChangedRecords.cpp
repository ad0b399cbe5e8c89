#include "sync/ChangedRecords.h"

namespace morvane {

void ChangedRecords::append(const QString& name, QByteArrayView version, QByteArrayView kept)
{
    const QByteArray utf8 = name.toUtf8();
    m_entries.push_back(
        {m_bytes.size(), quint32(utf8.size()), quint32(version.size()), quint32(kept.size())});
    m_bytes.append(utf8.constData(), std::size_t(utf8.size()));
    m_bytes.append(version.data(), std::size_t(version.size()));
    m_bytes.append(kept.data(), std::size_t(kept.size()));
}

void ChangedRecords::forEach(const LibrarySyncPoint::RecordTaker& take) const
{
    LibrarySyncPoint::Record record;
    for (const Entry& entry : m_entries) {
        const char* at = m_bytes.begin() + entry.at;
        record.name = QString::fromUtf8(at, entry.nameSize);
        at += entry.nameSize;
        record.version = QByteArray(at, entry.versionSize);
        at += entry.versionSize;
        record.kept = QByteArray(at, entry.keptSize);
        take(record);
    }
}

} // namespace morvane
