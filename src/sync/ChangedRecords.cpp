#include "sync/ChangedRecords.h"

#include "sync/RecordNames.h"

#include <array>
#include <cstring>

namespace morvane {

namespace {

// What the byte before each record's bytes says of them: the kind of its held name in the lowest bits.
constexpr quint8 kindBits = 0x03;
constexpr quint8 listedName = 0x04;   // its name is where the listing has it
constexpr quint8 keptByName = 0x08;   // its kept bytes are made again from the name
constexpr quint8 stampVersion = 0x10; // its version is five numbers (a file's stamp)

constexpr std::size_t stampNumbers = 5;
constexpr qsizetype stampBytes = qsizetype(stampNumbers * sizeof(quint64));

// Reads the numbers appendNumber writes, seven bits a byte, the lowest first.
quint64 readNumber(const char*& at)
{
    quint64 value = 0;
    for (int shift = 0;; shift += 7) {
        const auto byte = quint8(*at++);
        value |= quint64(byte & 0x7F) << shift;
        if (!(byte & 0x80))
            return value;
    }
}

} // namespace

void ChangedRecords::listedIn(std::shared_ptr<const RecordNames> names)
{
    m_listed = std::move(names);
    m_nextListed = 0;
}

void ChangedRecords::appendNumber(quint64 value)
{
    std::array<char, 10> bytes{};
    std::size_t size = 0;
    do {
        bytes[size++] = char((value & 0x7F) | (value > 0x7F ? 0x80 : 0));
        value >>= 7;
    } while (value != 0);
    m_bytes.append(bytes.data(), size);
}

void ChangedRecords::appendRecord(const HeldName& name, QByteArrayView version,
                                  std::optional<QByteArrayView> kept)
{
    const quint64 start = m_bytes.size();
    std::optional<qsizetype> listed;
    if (m_listed)
        listed = m_listed->find(name, m_nextListed);
    const bool stamp = version.size() == stampBytes;
    const char flags = char(quint8(name.kind) | (listed ? listedName : 0) | (kept ? 0 : keptByName) |
                            (stamp ? stampVersion : 0));
    m_bytes.push_back(flags);
    if (listed) {
        appendNumber(quint64(*listed));
        m_nextListed = *listed + 1;
    } else {
        appendNumber(quint64(name.bytes.size()));
        m_bytes.append(name.bytes.constData(), std::size_t(name.bytes.size()));
    }
    if (stamp) {
        // A size, two times in nanoseconds (the second most often the first or just after it), an inode
        // and a mode.
        std::array<quint64, stampNumbers> numbers{};
        std::memcpy(numbers.data(), version.data(), std::size_t(stampBytes));
        const quint64 after = numbers[2] - numbers[1];
        appendNumber(numbers[0]);
        m_bytes.append(version.data() + sizeof(quint64), sizeof(quint64));
        appendNumber((after << 1) ^ quint64(qint64(after) >> 63)); // small either way from the first
        appendNumber(numbers[3]);
        appendNumber(numbers[4]);
    } else {
        appendNumber(quint64(version.size()));
        m_bytes.append(version.data(), std::size_t(version.size()));
    }
    if (kept) {
        appendNumber(quint64(kept->size()));
        m_bytes.append(kept->data(), std::size_t(kept->size()));
    }
    m_starts.push_back(start);
}

ChangedRecords::Read ChangedRecords::read(quint64 at, QByteArray* version) const
{
    Read record;
    const char* bytes = m_bytes.begin() + at;
    record.flags = quint8(*bytes++);
    if (record.flags & listedName) {
        record.listed = qsizetype(readNumber(bytes));
    } else {
        const auto size = qsizetype(readNumber(bytes));
        record.held = QByteArrayView(bytes, size);
        bytes += size;
    }
    if (record.flags & stampVersion) {
        std::array<quint64, stampNumbers> numbers{};
        numbers[0] = readNumber(bytes);
        std::memcpy(&numbers[1], bytes, sizeof(quint64));
        bytes += sizeof(quint64);
        const quint64 after = readNumber(bytes);
        numbers[2] = numbers[1] + ((after >> 1) ^ (~(after & 1) + 1));
        numbers[3] = readNumber(bytes);
        numbers[4] = readNumber(bytes);
        if (version)
            *version = QByteArray(reinterpret_cast<const char*>(numbers.data()), stampBytes);
    } else {
        const auto size = qsizetype(readNumber(bytes));
        if (version)
            *version = QByteArray(bytes, size);
        bytes += size;
    }
    record.versionEnd = quint64(bytes - m_bytes.begin());
    if (!(record.flags & keptByName)) {
        const auto size = qsizetype(readNumber(bytes));
        record.kept = QByteArrayView(bytes, size);
    }
    return record;
}

bool ChangedRecords::isNamed(const Read& record, const HeldName& name) const
{
    if (record.listed)
        return m_listed->holds(*record.listed, name);
    return HeldName::Kind(record.flags & kindBits) == name.kind && record.held == QByteArrayView(name.bytes);
}

QString ChangedRecords::nameOf(const Read& record) const
{
    if (record.listed)
        return m_listed->at(*record.listed);
    return HeldName::nameOf(HeldName::Kind(record.flags & kindBits), record.held);
}

void ChangedRecords::append(const QString& name, QByteArrayView version, QByteArrayView kept)
{
    appendRecord(HeldName::of(name), version, kept);
}

void ChangedRecords::appendKeptByName(const QString& name, QByteArrayView version)
{
    appendRecord(HeldName::of(name), version, std::nullopt);
}

void ChangedRecords::keepBytesOfLast(const QString& name, QByteArrayView kept)
{
    const HeldName held = HeldName::of(name);
    for (std::size_t i = m_starts.size(); i-- > 0;) {
        const Read record = read(m_starts[i], nullptr);
        if (!isNamed(record, held))
            continue;
        if (record.flags & keptByName) {
            // The record again after the others, with its kept bytes.
            const QByteArray named(m_bytes.begin() + m_starts[i], qsizetype(record.versionEnd - m_starts[i]));
            const quint64 start = m_bytes.size();
            m_bytes.append(named.constData(), std::size_t(named.size()));
            m_bytes[start] = char(record.flags & ~keptByName);
            appendNumber(quint64(kept.size()));
            m_bytes.append(kept.data(), std::size_t(kept.size()));
            m_starts[i] = start;
        }
        return;
    }
}

void ChangedRecords::forEach(const LibrarySyncPoint::RecordTaker& take, const KeptOf& keptOf) const
{
    LibrarySyncPoint::Record record;
    for (const quint64 start : m_starts) {
        const Read read = this->read(start, &record.version);
        record.name = nameOf(read);
        if (read.kept)
            record.kept = read.kept->toByteArray();
        else
            record.kept = keptOf ? keptOf(record.name) : QByteArray();
        take(record);
    }
}

} // namespace morvane
