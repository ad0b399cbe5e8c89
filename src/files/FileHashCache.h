#pragma once

#include "platform/FileStatus.h"

#include <QString>

#include <list>
#include <mutex>
#include <optional>
#include <unordered_map>

namespace morvane {

// Identifies one unchanged state of one file: any write moves the change time, so a hit means the
// content is the one that was hashed.
struct FileHashKey {
    QString volumeIdentifier;
    quint64 inode = 0;
    qint64 size = 0;
    FileTimestamp modificationTime;
    FileTimestamp changeTime;

    bool operator==(const FileHashKey&) const = default;
};

// Content fingerprints already computed, shared by every FileIdentityService of the process so that
// an unchanged file is hashed once. Thread-safe; the least recently used entries go first.
class FileHashCache {
public:
    explicit FileHashCache(size_t capacity = 100000);

    std::optional<QString> find(const FileHashKey& key);
    void insert(const FileHashKey& key, const QString& hash);
    size_t size() const;
    void clear();

private:
    struct KeyHash {
        size_t operator()(const FileHashKey& key) const;
    };
    using Order = std::list<FileHashKey>;
    struct Entry {
        QString hash;
        Order::iterator position;
    };

    size_t m_capacity;
    mutable std::mutex m_mutex;
    Order m_order; // most recently used first
    std::unordered_map<FileHashKey, Entry, KeyHash> m_entries;
};

} // namespace morvane
