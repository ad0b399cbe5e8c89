#include "FileHashCache.h"

#include <QHash>

namespace morvane {

size_t FileHashCache::KeyHash::operator()(const FileHashKey& key) const
{
    return qHashMulti(0, key.volumeIdentifier, key.inode, key.size, key.modificationTime.seconds,
                      key.modificationTime.nanoseconds, key.changeTime.seconds, key.changeTime.nanoseconds);
}

FileHashCache::FileHashCache(size_t capacity)
    : m_capacity(capacity > 0 ? capacity : 1)
{
}

std::optional<QString> FileHashCache::find(const FileHashKey& key)
{
    std::lock_guard lock(m_mutex);
    const auto it = m_entries.find(key);
    if (it == m_entries.end())
        return std::nullopt;
    m_order.splice(m_order.begin(), m_order, it->second.position);
    return it->second.hash;
}

void FileHashCache::insert(const FileHashKey& key, const QString& hash)
{
    std::lock_guard lock(m_mutex);
    if (const auto it = m_entries.find(key); it != m_entries.end()) {
        it->second.hash = hash;
        m_order.splice(m_order.begin(), m_order, it->second.position);
        return;
    }
    m_order.push_front(key);
    m_entries.emplace(key, Entry{hash, m_order.begin()});
    while (m_entries.size() > m_capacity) {
        m_entries.erase(m_order.back());
        m_order.pop_back();
    }
}

size_t FileHashCache::size() const
{
    std::lock_guard lock(m_mutex);
    return m_entries.size();
}

void FileHashCache::clear()
{
    std::lock_guard lock(m_mutex);
    m_entries.clear();
    m_order.clear();
}

} // namespace morvane
