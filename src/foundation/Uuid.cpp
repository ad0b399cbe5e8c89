#include "Uuid.h"

#include "HexDigit.h"

#include <QRandomGenerator>

#include <array>

namespace morvane {

namespace {

// Where each of the 32 hex digits of the text form sits: the dashes come after digits 8, 12, 16 and 20.
constexpr std::array<qsizetype, 32> digitPositions = [] {
    std::array<qsizetype, 32> positions{};
    qsizetype at = 0;
    for (std::size_t digit = 0; digit < positions.size(); ++digit) {
        if (digit == 8 || digit == 12 || digit == 16 || digit == 20)
            ++at;
        positions[digit] = at++;
    }
    return positions;
}();

} // namespace

// Written digit by digit: the sync compares record names by this text tens of thousands of times a pass.
QString uuidString(const QUuid& uuid)
{
    static constexpr char16_t digits[] = u"0123456789ABCDEF";
    const QByteArray bytes = uuid.toRfc4122();
    QString text(36, u'-');
    char16_t* out = reinterpret_cast<char16_t*>(text.data());
    for (std::size_t i = 0; i < 16; ++i) {
        const auto byte = static_cast<unsigned char>(bytes[qsizetype(i)]);
        out[digitPositions[2 * i]] = digits[byte >> 4];
        out[digitPositions[2 * i + 1]] = digits[byte & 0xF];
    }
    return text;
}

std::optional<QUuid> parseUuid(const QString& text)
{
    if (text.size() != 36)
        return std::nullopt;
    if (text[8] != u'-' || text[13] != u'-' || text[18] != u'-' || text[23] != u'-')
        return std::nullopt;
    QByteArray bytes(16, Qt::Uninitialized);
    for (std::size_t i = 0; i < 16; ++i) {
        const int high = hexDigitValue(text[digitPositions[2 * i]].unicode());
        const int low = hexDigitValue(text[digitPositions[2 * i + 1]].unicode());
        if (high < 0 || low < 0)
            return std::nullopt;
        bytes[qsizetype(i)] = char(high << 4 | low);
    }
    return QUuid::fromRfc4122(bytes);
}

QUuid newUuid()
{
    std::array<quint32, 4> words{};
    QRandomGenerator::global()->fillRange(words.data(), qsizetype(words.size()));
    QByteArray bytes(reinterpret_cast<const char*>(words.data()), 16);
    bytes[6] = char((bytes[6] & 0x0F) | 0x40); // version 4: random
    bytes[8] = char((bytes[8] & 0x3F) | 0x80); // the variant of RFC 4122
    return QUuid::fromRfc4122(bytes);
}

} // namespace morvane
