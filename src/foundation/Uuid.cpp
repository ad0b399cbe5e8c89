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

template <class Char> void writeText(const unsigned char* bytes, Char* out)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    for (qsizetype at : {8, 13, 18, 23})
        out[at] = Char('-');
    for (std::size_t i = 0; i < 16; ++i) {
        out[digitPositions[2 * i]] = Char(digits[bytes[i] >> 4]);
        out[digitPositions[2 * i + 1]] = Char(digits[bytes[i] & 0xF]);
    }
}

// The value of a digit as uuidString writes it (upper case), -1 for any other character.
template <class Char> int writtenDigitValue(Char c)
{
    if (c >= Char('0') && c <= Char('9'))
        return c - Char('0');
    if (c >= Char('A') && c <= Char('F'))
        return c - Char('A') + 10;
    return -1;
}

template <class Char> bool readText(const Char* text, qsizetype size, unsigned char* bytes)
{
    if (size != 36)
        return false;
    for (qsizetype at : {8, 13, 18, 23}) {
        if (text[at] != Char('-'))
            return false;
    }
    for (std::size_t i = 0; i < 16; ++i) {
        const int high = writtenDigitValue(text[digitPositions[2 * i]]);
        const int low = writtenDigitValue(text[digitPositions[2 * i + 1]]);
        if (high < 0 || low < 0)
            return false;
        bytes[i] = static_cast<unsigned char>(high << 4 | low);
    }
    return true;
}

} // namespace

void writeUuidText(const unsigned char* bytes, char16_t* out)
{
    writeText(bytes, out);
}

void writeUuidText(const unsigned char* bytes, char* out)
{
    writeText(bytes, out);
}

bool readUuidText(QStringView text, unsigned char* bytes)
{
    return readText(text.utf16(), text.size(), bytes);
}

bool readUuidText(QByteArrayView text, unsigned char* bytes)
{
    return readText(text.data(), text.size(), bytes);
}

// Written digit by digit: the sync compares record names by this text tens of thousands of times a pass.
QString uuidString(const QUuid& uuid)
{
    const QByteArray bytes = uuid.toRfc4122();
    QString text(36, Qt::Uninitialized);
    writeUuidText(reinterpret_cast<const unsigned char*>(bytes.constData()),
                  reinterpret_cast<char16_t*>(text.data()));
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
