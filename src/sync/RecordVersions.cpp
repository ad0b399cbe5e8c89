#include "sync/RecordVersions.h"

#include <algorithm>

namespace morvane {

void RecordVersions::append(QByteArrayView name, QByteArrayView version)
{
    m_entries.push_back({m_bytes.size(), quint32(name.size()), quint32(version.size())});
    m_bytes.append(name.data(), std::size_t(name.size()));
    m_bytes.append(version.data(), std::size_t(version.size()));
}

QByteArrayView RecordVersions::nameOf(const Entry& entry) const
{
    return QByteArrayView(m_bytes.begin() + entry.at, entry.nameSize);
}

void RecordVersions::sort()
{
    const auto before = [this](const Entry& a, const Entry& b) { return nameOf(a).compare(nameOf(b)) < 0; };
    // What a library gives back is in order already.
    if (!std::is_sorted(m_entries.begin(), m_entries.end(), before))
        std::sort(m_entries.data(), m_entries.data() + m_entries.size(), before);
}

QByteArrayView RecordVersions::name(qsizetype index) const
{
    return nameOf(m_entries[std::size_t(index)]);
}

QByteArrayView RecordVersions::version(qsizetype index) const
{
    const Entry& entry = m_entries[std::size_t(index)];
    return QByteArrayView(m_bytes.begin() + entry.at + entry.nameSize, entry.versionSize);
}

std::optional<qsizetype> RecordVersions::find(QByteArrayView name, qsizetype hint) const
{
    for (const qsizetype guess : {hint, hint + 1}) {
        if (guess >= 0 && guess < size() && this->name(guess) == name)
            return guess;
    }
    const Entry* found = std::lower_bound(
        m_entries.begin(), m_entries.end(), name,
        [this](const Entry& entry, QByteArrayView name) { return nameOf(entry).compare(name) < 0; });
    if (found == m_entries.end() || nameOf(*found) != name)
        return std::nullopt;
    return qsizetype(found - m_entries.begin());
}

void RecordVersions::clear()
{
    m_bytes.release();
    m_entries.release();
}

} // namespace morvane
