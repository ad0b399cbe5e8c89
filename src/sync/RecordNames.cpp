#include "sync/RecordNames.h"

#include "sync/RecordFileCodec.h"

#include <QFile>

#include <algorithm>
#include <cstring>
#include <numeric>

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
    m_bytes.append(name.data(), std::size_t(name.size()));
    m_ends.push_back(quint32(m_bytes.size()) | (isPlain(name) ? 0 : encodedName));
}

QByteArrayView RecordNames::utf8(qsizetype index) const
{
    const quint32 begin = index == 0 ? 0 : m_ends[std::size_t(index - 1)] & ~encodedName;
    return QByteArrayView(m_bytes.begin() + begin, (m_ends[std::size_t(index)] & ~encodedName) - begin);
}

QString RecordNames::at(qsizetype index) const
{
    return QString::fromUtf8(utf8(index));
}

const char* RecordNames::fileName(qsizetype index, QByteArray& buffer) const
{
    constexpr std::string_view suffix = RecordFileCodec::fileSuffix;
    const QByteArrayView name = utf8(index);
    if (m_ends[std::size_t(index)] & encodedName) {
        buffer = QFile::encodeName(RecordFileCodec::fileNameOf(at(index)));
        return buffer.constData();
    }
    buffer.resize(name.size() + qsizetype(suffix.size()));
    std::memcpy(buffer.data(), name.data(), size_t(name.size()));
    std::memcpy(buffer.data() + name.size(), suffix.data(), suffix.size());
    return buffer.constData();
}

qsizetype RecordNames::upperBound(const QString& name) const
{
    const QByteArray utf8Name = name.toUtf8();
    qsizetype low = 0, high = size();
    while (low < high) {
        const qsizetype middle = low + (high - low) / 2;
        if (compare(utf8Name, utf8(middle)) < 0)
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

} // namespace morvane
