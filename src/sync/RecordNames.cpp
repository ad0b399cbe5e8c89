#include "sync/RecordNames.h"

#include "sync/RecordFileCodec.h"

#include <QFile>

#include <algorithm>
#include <cstring>

namespace morvane {

RecordNames::RecordNames(const QStringList& sorted)
{
    m_ends.reserve(sorted.size());
    for (const QString& name : sorted) {
        m_bytes.append(name.toUtf8());
        m_ends.append(quint32(m_bytes.size()));
    }
    m_bytes.squeeze();
}

QByteArrayView RecordNames::bytes(qsizetype index) const
{
    const quint32 begin = index == 0 ? 0 : m_ends.at(index - 1);
    return QByteArrayView(m_bytes).sliced(begin, m_ends.at(index) - begin);
}

QString RecordNames::at(qsizetype index) const
{
    return QString::fromUtf8(bytes(index));
}

const char* RecordNames::fileName(qsizetype index, QByteArray& buffer) const
{
    constexpr std::string_view suffix = RecordFileCodec::fileSuffix;
    const QByteArrayView name = bytes(index);
    // A name of the characters a file name keeps as they are is its file's name (nearly every one).
    if (!std::all_of(name.begin(), name.end(),
                     [](char c) { return RecordFileCodec::isPlainCharacter(QChar(char16_t(uchar(c)))); })) {
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
    qsizetype low = 0, high = size();
    while (low < high) {
        const qsizetype middle = low + (high - low) / 2;
        if (name < at(middle))
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
