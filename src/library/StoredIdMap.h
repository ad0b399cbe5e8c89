#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QUuid>

#include <optional>

namespace morvane {

// The UUID of an id stored in the one form the library writes (upper-case 8-4-4-4-12), and nothing for
// any other text, lower-case included: two texts give the same UUID only when they are the same text.
std::optional<QUuid> writtenUuid(QByteArrayView text);

// Values by stored id, for a full read that joins the rows of several tables by id in memory. An id in
// the written form is kept as its sixteen bytes, so that a lookup neither allocates nor compares a
// string: with a hundred thousand links, string keys made these lookups most of the read. Any other
// text is kept as itself, apart from the UUID it may spell.
template <class T> class StoredIdMap {
public:
    const T* find(QByteArrayView id) const
    {
        if (const std::optional<QUuid> uuid = writtenUuid(id)) {
            const auto found = m_uuids.constFind(*uuid);
            return found == m_uuids.cend() ? nullptr : &*found;
        }
        const auto found = m_others.constFind(QByteArray::fromRawData(id.data(), id.size()));
        return found == m_others.cend() ? nullptr : &*found;
    }

    // The value of the id, value-initialized when it is new.
    T& operator[](QByteArrayView id)
    {
        if (const std::optional<QUuid> uuid = writtenUuid(id))
            return m_uuids[*uuid];
        return m_others[id.toByteArray()];
    }

    void reserve(qsizetype size) { m_uuids.reserve(size); }

private:
    QHash<QUuid, T> m_uuids;
    QHash<QByteArray, T> m_others;
};

} // namespace morvane
