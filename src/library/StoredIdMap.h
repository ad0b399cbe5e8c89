#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QUuid>

#include <bit>
#include <cstdint>
#include <optional>
#include <vector>

namespace morvane {

// The sixteen bytes of a UUID as two big-endian halves, so that comparing keys compares the written
// texts' order.
struct StoredIdKey {
    std::uint64_t high = 0;
    std::uint64_t low = 0;
    bool operator==(const StoredIdKey&) const = default;
};

// The key of an id stored in the one form the library writes (upper-case 8-4-4-4-12), and nothing for
// any other text, lower-case included: two texts give the same key only when they are the same text.
std::optional<StoredIdKey> writtenIdKey(QByteArrayView text);

// The UUID whose sixteen bytes the key holds.
QUuid uuidOfKey(const StoredIdKey& key);

// The UUID of an id in the written form, and nothing for any other text (see writtenIdKey).
std::optional<QUuid> writtenUuid(QByteArrayView text);

// Values by stored id, for a full read that joins the rows of several tables by id in memory. An id in
// the written form is kept as its sixteen bytes in an open-addressed table whose slots hold the value
// itself: with a hundred thousand links, each lookup of a node-based or string-keyed table cost a few
// cache misses, and these lookups made most of the read. Any other text is kept as itself.
template <class T> class StoredIdMap {
public:
    const T* find(QByteArrayView id) const
    {
        if (const std::optional<StoredIdKey> key = writtenIdKey(id))
            return find(*key);
        const auto found = m_others.constFind(QByteArray::fromRawData(id.data(), id.size()));
        return found == m_others.cend() ? nullptr : &*found;
    }

    const T* find(const StoredIdKey& key) const
    {
        if (m_slots.empty())
            return nullptr;
        for (std::size_t i = slotOf(key);; i = (i + 1) & m_mask) {
            const Slot& slot = m_slots[i];
            if (!slot.used)
                return nullptr;
            if (slot.key == key)
                return &slot.value;
        }
    }

    // Starts loading the slot where a lookup of the key begins, for a loop that looks up many keys.
    void prefetch(const StoredIdKey& key) const
    {
        if (!m_slots.empty())
            __builtin_prefetch(&m_slots[slotOf(key)]);
    }

    // Calls apply(value, i) with the value of keys[i], value-initialized when new, for every i in order.
    // The slots are loaded ahead of use: one by one, each would wait for memory.
    template <class Apply> void update(const std::vector<StoredIdKey>& keys, Apply apply)
    {
        constexpr std::size_t distance = 16;
        for (std::size_t i = 0; i < keys.size(); ++i) {
            if (i + distance < keys.size())
                prefetch(keys[i + distance]);
            apply((*this)[keys[i]], i);
        }
    }

    // The value of the id, value-initialized when it is new.
    T& operator[](QByteArrayView id)
    {
        if (const std::optional<StoredIdKey> key = writtenIdKey(id))
            return (*this)[*key];
        return m_others[id.toByteArray()];
    }

    T& operator[](const StoredIdKey& key)
    {
        if ((m_used + 1) * 4 > m_slots.size() * 3)
            rehash(std::max<std::size_t>(16, m_slots.size() * 2));
        std::size_t i = slotOf(key);
        for (; m_slots[i].used; i = (i + 1) & m_mask) {
            if (m_slots[i].key == key)
                return m_slots[i].value;
        }
        ++m_used;
        m_slots[i].used = true;
        m_slots[i].key = key;
        return m_slots[i].value;
    }

    void reserve(qsizetype size)
    {
        const std::size_t wanted = std::bit_ceil(std::size_t(std::max<qsizetype>(size, 12)) * 4 / 3 + 1);
        if (wanted > m_slots.size())
            rehash(wanted);
    }

private:
    struct Slot {
        StoredIdKey key;
        T value{};
        bool used = false;
    };

    std::size_t slotOf(const StoredIdKey& key) const
    {
        // Stored ids are random more often than not, but ids typed into a backup need not be.
        std::uint64_t h = (key.high ^ (key.low * 0x9E3779B97F4A7C15ull)) * 0xBF58476D1CE4E5B9ull;
        return std::size_t(h ^ (h >> 31)) & m_mask;
    }

    void rehash(std::size_t capacity)
    {
        std::vector<Slot> old(capacity);
        old.swap(m_slots);
        m_mask = capacity - 1;
        m_used = 0;
        for (Slot& slot : old) {
            if (slot.used)
                (*this)[slot.key] = std::move(slot.value);
        }
    }

    std::vector<Slot> m_slots;
    std::size_t m_mask = 0;
    std::size_t m_used = 0;
    QHash<QByteArray, T> m_others;
};

} // namespace morvane
