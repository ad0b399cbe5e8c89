#pragma once

#include "foundation/MappedArray.h"
#include "sync/HeldName.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace morvane {

// Record names in sorted order, held in one buffer: a name costs its held bytes (see HeldName) and an
// offset, not a string of its own, so that a listing of a large store kept between passes stays small. The
// buffers are mappings of their own, outside the allocator's heaps, which a listing made again and again
// would otherwise leave full of holes. Names are made as strings only when asked for.
class RecordNames {
public:
    RecordNames() = default;
    // The names must be sorted (as QString orders them).
    explicit RecordNames(const QStringList& sorted);
    // Names in any order, as UTF-8 bytes one after the other, each ending where `ends` says; sorted here.
    RecordNames(const MappedArray<char>& bytes, const MappedArray<quint32>& ends);

    qsizetype size() const { return qsizetype(m_ends.size()); }
    bool isEmpty() const { return m_ends.empty(); }
    QString at(qsizetype index) const;
    // The name as UTF-8, made in the buffer given when it is not held as its text.
    QByteArrayView utf8(qsizetype index, QByteArray& buffer) const;
    // The name of the record's file, encoded for the file system, in the buffer given: kept from one call
    // to the next, so that a walk over the names makes no string for each.
    const char* fileName(qsizetype index, QByteArray& buffer) const;
    // The first name after the given one, as an index (size() when none).
    qsizetype upperBound(const QString& name) const;
    bool contains(const QString& name) const;
    // Where the name is, or none: looked for first from `from` on, a few names ahead, as a walk over
    // the names in their order finds the next (passing over a few it does not want).
    std::optional<qsizetype> find(const HeldName& name, qsizetype from) const;
    bool holds(qsizetype index, const HeldName& name) const;

    // Orders two names given as UTF-8 as QString orders them (by UTF-16 code units), without making
    // strings of them but where the two orders part (a character beyond U+FFFF against one from U+E000).
    static int compare(QByteArrayView a, QByteArrayView b);

private:
    void append(QByteArrayView name);
    HeldName::Kind kindAt(qsizetype index) const;
    QByteArrayView heldAt(qsizetype index) const;

    // Marks the end of a name whose file's name is encoded otherwise (see RecordFileCodec::fileNameOf).
    static constexpr quint32 encodedName = 0x80000000u;
    // The name's HeldName::Kind, in the two bits below.
    static constexpr int kindShift = 29;
    static constexpr quint32 kindBits = 0x60000000u;
    static constexpr quint32 endBits = 0x1FFFFFFFu;
    MappedArray<char> m_bytes;
    MappedArray<quint32> m_ends; // where each name's bytes end, with encodedName and the kind
};

} // namespace morvane
