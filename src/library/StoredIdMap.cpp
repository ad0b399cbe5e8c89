#include "StoredIdMap.h"

#include <array>
#include <cstring>

namespace morvane {

namespace {
constexpr std::uint64_t eachByte(std::uint8_t byte)
{
    return 0x0101010101010101ull * byte;
}

// Eight bytes of text, the first one lowest.
std::uint64_t load8(const char* text)
{
    std::uint64_t bytes;
    std::memcpy(&bytes, text, sizeof bytes);
    if constexpr (std::endian::native == std::endian::big)
        bytes = __builtin_bswap64(bytes);
    return bytes;
}

// Two runs of four bytes of text, the first one lowest.
std::uint64_t load4And4(const char* first, const char* second)
{
    std::uint32_t low;
    std::uint32_t high;
    std::memcpy(&low, first, sizeof low);
    std::memcpy(&high, second, sizeof high);
    if constexpr (std::endian::native == std::endian::big) {
        low = __builtin_bswap32(low);
        high = __builtin_bswap32(high);
    }
    return std::uint64_t(high) << 32 | low;
}

// The value of eight upper-case hex digits (bytes, the first one lowest), the first digit highest. Any
// byte that is not such a digit sets bits of invalid. All eight are checked and converted at once: this
// runs for every id of a full read.
std::uint32_t eightHexDigits(std::uint64_t bytes, std::uint64_t& invalid)
{
    constexpr std::uint64_t highBits = eachByte(0x80);
    // With every byte below 0x80, adding to a byte never carries into the next one, and a byte's high bit
    // then tells whether it reached a bound.
    const std::uint64_t atLeastZero = bytes + eachByte(0x80 - '0');
    const std::uint64_t aboveNine = bytes + eachByte(0x7F - '9');
    const std::uint64_t atLeastA = bytes + eachByte(0x80 - 'A');
    const std::uint64_t aboveF = bytes + eachByte(0x7F - 'F');
    const std::uint64_t digits = atLeastZero & ~aboveNine & highBits;
    const std::uint64_t letters = atLeastA & ~aboveF & highBits;
    invalid |= (bytes & highBits) | ((digits | letters) ^ highBits);
    // '0'..'9' end in their value, 'A'..'F' in their value less nine.
    std::uint64_t nibbles = (bytes & eachByte(0x0F)) + (letters >> 7) * 9;
    // Pair each digit with the next into one byte, then gather the four bytes.
    nibbles = ((nibbles & 0x000F000F000F000Full) << 4) | ((nibbles & 0x0F000F000F000F00ull) >> 8);
    nibbles = (nibbles | (nibbles >> 8)) & 0x0000FFFF0000FFFFull;
    nibbles = (nibbles | (nibbles >> 16)) & 0xFFFFFFFFull;
    return __builtin_bswap32(std::uint32_t(nibbles));
}
} // namespace

std::optional<StoredIdKey> writtenIdKey(QByteArrayView text)
{
    if (text.size() != 36 || text[8] != '-' || text[13] != '-' || text[18] != '-' || text[23] != '-')
        return std::nullopt;
    // The groups of 8, 4, 4, 4 and 12 digits, read as four runs of eight.
    const char* const data = text.data();
    std::uint64_t invalid = 0;
    const std::uint32_t first = eightHexDigits(load8(data), invalid);
    const std::uint32_t second = eightHexDigits(load4And4(data + 9, data + 14), invalid);
    const std::uint32_t third = eightHexDigits(load4And4(data + 19, data + 24), invalid);
    const std::uint32_t fourth = eightHexDigits(load8(data + 28), invalid);
    if (invalid != 0)
        return std::nullopt;
    return StoredIdKey{std::uint64_t(first) << 32 | second, std::uint64_t(third) << 32 | fourth};
}

QUuid uuidOfKey(const StoredIdKey& key)
{
    std::array<uchar, 8> tail;
    for (std::size_t i = 0; i < tail.size(); ++i)
        tail[i] = uchar(key.low >> (56 - 8 * i));
    return QUuid(uint(key.high >> 32), ushort(key.high >> 16), ushort(key.high), tail[0], tail[1], tail[2],
                 tail[3], tail[4], tail[5], tail[6], tail[7]);
}

std::optional<QUuid> writtenUuid(QByteArrayView text)
{
    const std::optional<StoredIdKey> key = writtenIdKey(text);
    if (!key)
        return std::nullopt;
    return uuidOfKey(*key);
}

} // namespace morvane
