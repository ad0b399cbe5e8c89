#include "StoredIdMap.h"

#include <array>

namespace morvane {

namespace {
// The value of each upper-case hex digit, -1 for every other byte. Run for every id of a full read.
constexpr std::array<signed char, 256> upperHexValues = [] {
    std::array<signed char, 256> values{};
    for (signed char& value : values)
        value = -1;
    for (int digit = 0; digit < 10; ++digit)
        values['0' + digit] = static_cast<signed char>(digit);
    for (int digit = 0; digit < 6; ++digit)
        values['A' + digit] = static_cast<signed char>(10 + digit);
    return values;
}();

// Where each of the sixteen bytes starts in the text.
constexpr std::array<int, 16> byteOffsets = {0, 2, 4, 6, 9, 11, 14, 16, 19, 21, 24, 26, 28, 30, 32, 34};
} // namespace

std::optional<StoredIdKey> writtenIdKey(QByteArrayView text)
{
    if (text.size() != 36 || text[8] != '-' || text[13] != '-' || text[18] != '-' || text[23] != '-')
        return std::nullopt;
    std::uint64_t halves[2] = {0, 0};
    int invalid = 0;
    for (std::size_t i = 0; i < byteOffsets.size(); ++i) {
        const int high = upperHexValues[static_cast<unsigned char>(text[byteOffsets[i]])];
        const int low = upperHexValues[static_cast<unsigned char>(text[byteOffsets[i] + 1])];
        invalid |= high | low; // negative once any digit is not one
        halves[i / 8] = halves[i / 8] << 8 | std::uint64_t((high << 4 | low) & 0xFF);
    }
    if (invalid < 0)
        return std::nullopt;
    return StoredIdKey{halves[0], halves[1]};
}

std::optional<QUuid> writtenUuid(QByteArrayView text)
{
    const std::optional<StoredIdKey> key = writtenIdKey(text);
    if (!key)
        return std::nullopt;
    std::array<uchar, 8> tail;
    for (std::size_t i = 0; i < tail.size(); ++i)
        tail[i] = uchar(key->low >> (56 - 8 * i));
    return QUuid(uint(key->high >> 32), ushort(key->high >> 16), ushort(key->high), tail[0], tail[1], tail[2],
                 tail[3], tail[4], tail[5], tail[6], tail[7]);
}

} // namespace morvane
