#include "sync/RecordNames.h"

#include "sync/RecordFileCodec.h"

#include <QFile>

#include <algorithm>
#include <cstring>
#include <numeric>
#include <stdexcept>

namespace morvane {

namespace {

// The lead byte of a character from U+E000 on, where UTF-8's order and UTF-16's part.
bool partsOrders(char byte)
{
    return uchar(byte) >= 0xEE;
}

// Whether the name is its file's name with the suffix added: made of the characters a file name keeps as
// they are (nearly every name).
bool isPlain(QByteArrayView name)
{
    return std::all_of(name.begin(), name.end(),
                       [](char c) { return RecordFileCodec::isPlainCharacter(QChar(char16_t(uchar(c)))); });
}

} // namespace

int RecordNames::compare(QByteArrayView a, QByteArrayView b)
{
    const qsizetype common = std::min(a.size(), b.size());
    const auto differ = std::mismatch(a.begin(), a.begin() + common, b.begin());
    if (differ.first == a.begin() + common)
        return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
    const char x = *differ.first, y = *differ.second;
    if (partsOrders(x) && partsOrders(y))
        return QString::compare(QString::fromUtf8(a), QString::fromUtf8(b)) < 0 ? -1 : 1;
    return uchar(x) < uchar(y) ? -1 : 1;
}

RecordNames::RecordNames(const QStringList& sorted)
{
    m_ends.reserve(std::size_t(sorted.size()));
    for (const QString& name : sorted)
        append(name.toUtf8());
}

RecordNames::RecordNames(const MappedArray<char>& bytes, const MappedArray<quint32>& ends)
{
    const auto nameAt = [&](quint32 index) {
        const quint32 begin = index == 0 ? 0 : ends[index - 1];
        return QByteArrayView(bytes.begin() + begin, ends[index] - begin);
    };
    MappedArray<quint32> order;
    order.resize(ends.size());
    std::iota(order.data(), order.data() + order.size(), quint32(0));
    std::sort(order.data(), order.data() + order.size(),
              [&](quint32 a, quint32 b) { return compare(nameAt(a), nameAt(b)) < 0; });
    m_bytes.reserve(bytes.size());
    m_ends.reserve(ends.size());
    for (const quint32 index : order)
        append(nameAt(index));
}

void RecordNames::append(QByteArrayView name)
{
    const HeldName held = HeldName::ofUtf8(name);
    m_bytes.append(held.bytes.constData(), std::size_t(held.bytes.size()));
    if (m_bytes.size() > endBits)
        throw std::length_error("More record names than a listing holds");
    m_ends.push_back(quint32(m_bytes.size()) | quint32(held.kind) << kindShift |
                     (isPlain(name) ? 0 : encodedName));
}

HeldName::Kind RecordNames::kindAt(qsizetype index) const
{
    return HeldName::Kind((m_ends[std::size_t(index)] & kindBits) >> kindShift);
}

QByteArrayView RecordNames::heldAt(qsizetype index) const
{
    const quint32 begin = index == 0 ? 0 : m_ends[std::size_t(index - 1)] & endBits;
    return QByteArrayView(m_bytes.begin() + begin, (m_ends[std::size_t(index)] & endBits) - begin);
}

QByteArrayView RecordNames::utf8(qsizetype index, QByteArray& buffer) const
{
    return HeldName::utf8Of(kindAt(index), heldAt(index), buffer);
}

QString RecordNames::at(qsizetype index) const
{
    return HeldName::nameOf(kindAt(index), heldAt(index));
}

const char* RecordNames::fileName(qsizetype index, QByteArray& buffer) const
{
    constexpr std::string_view suffix = RecordFileCodec::fileSuffix;
    if (m_ends[std::size_t(index)] & encodedName) {
        buffer = QFile::encodeName(RecordFileCodec::fileNameOf(at(index)));
        return buffer.constData();
    }
    const HeldName::Kind kind = kindAt(index);
    const QByteArrayView held = heldAt(index);
    if (kind == HeldName::Kind::text) {
        buffer.resize(held.size());
        std::memcpy(buffer.data(), held.data(), std::size_t(held.size()));
    } else {
        HeldName::utf8Of(kind, held, buffer);
    }
    buffer.append(suffix.data(), qsizetype(suffix.size()));
    return buffer.constData();
}

qsizetype RecordNames::upperBound(const QString& name) const
{
    const QByteArray utf8Name = name.toUtf8();
    QByteArray buffer;
    qsizetype low = 0, high = size();
    while (low < high) {
        const qsizetype middle = low + (high - low) / 2;
        if (compare(utf8Name, utf8(middle, buffer)) < 0)
            high = middle;
        else
            low = middle + 1;
    }
    return low;
}

bool RecordNames::contains(const QString& name) const
{
    const qsizetype after = upperBound(name);
    return after > 0 && at(after - 1) == name;
}

bool RecordNames::holds(qsizetype index, const HeldName& name) const
{
    return kindAt(index) == name.kind && heldAt(index) == QByteArrayView(name.bytes);
}

std::optional<qsizetype> RecordNames::find(const HeldName& name, qsizetype from) const
{
    constexpr qsizetype lookAhead = 8;
    for (qsizetype index = std::max(from, qsizetype(0)); index < std::min(from + lookAhead, size());
         ++index) {
        if (holds(index, name))
            return index;
    }
    const qsizetype after = upperBound(name.name());
    if (after > 0 && holds(after - 1, name))
        return after - 1;
    return std::nullopt;
}

} // namespace morvane
