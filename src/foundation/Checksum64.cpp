#include "Checksum64.h"

#include <bit>
#include <cstring>

namespace morvane {

namespace {

constexpr quint64 prime1 = 0x9E3779B185EBCA87ULL;
constexpr quint64 prime2 = 0xC2B2AE3D27D4EB4FULL;
constexpr quint64 prime3 = 0x165667B19E3779F9ULL;
constexpr quint64 prime4 = 0x85EBCA77C2B2AE63ULL;
constexpr quint64 prime5 = 0x27D4EB2F165667C5ULL;

quint64 word64(const unsigned char* at)
{
    quint64 word;
    std::memcpy(&word, at, sizeof word);
    return word;
}

quint32 word32(const unsigned char* at)
{
    quint32 word;
    std::memcpy(&word, at, sizeof word);
    return word;
}

quint64 round(quint64 lane, quint64 word)
{
    return std::rotl(lane + word * prime2, 31) * prime1;
}

void stripes(std::array<quint64, 4>& lanes, const unsigned char* at, std::size_t count)
{
    quint64 a = lanes[0], b = lanes[1], c = lanes[2], d = lanes[3];
    for (const unsigned char* end = at + count; at != end; at += 32) {
        a = round(a, word64(at));
        b = round(b, word64(at + 8));
        c = round(c, word64(at + 16));
        d = round(d, word64(at + 24));
    }
    lanes = {a, b, c, d};
}

} // namespace

Checksum64::Checksum64()
    : m_lanes{prime1 + prime2, prime2, 0, 0 - prime1}
{
}

void Checksum64::add(const void* bytes, std::size_t count)
{
    if (count == 0)
        return; // the bytes of an empty array may be no address at all
    auto at = static_cast<const unsigned char*>(bytes);
    m_totalBytes += count;
    if (m_pendingBytes > 0) {
        const std::size_t taken = std::min(count, m_pending.size() - m_pendingBytes);
        std::memcpy(m_pending.data() + m_pendingBytes, at, taken);
        m_pendingBytes += taken;
        at += taken;
        count -= taken;
        if (m_pendingBytes < m_pending.size())
            return;
        stripes(m_lanes, m_pending.data(), m_pending.size());
        m_pendingBytes = 0;
    }
    const std::size_t whole = count / 32 * 32;
    stripes(m_lanes, at, whole);
    m_pendingBytes = count - whole;
    std::memcpy(m_pending.data(), at + whole, m_pendingBytes);
}

quint64 Checksum64::value() const
{
    quint64 h;
    if (m_totalBytes >= 32) {
        h = std::rotl(m_lanes[0], 1) + std::rotl(m_lanes[1], 7) + std::rotl(m_lanes[2], 12) +
            std::rotl(m_lanes[3], 18);
        for (const quint64 lane : m_lanes)
            h = (h ^ round(0, lane)) * prime1 + prime4;
    } else {
        h = prime5;
    }
    h += m_totalBytes;
    const unsigned char* at = m_pending.data();
    const unsigned char* const end = at + m_pendingBytes;
    for (; end - at >= 8; at += 8)
        h = std::rotl(h ^ round(0, word64(at)), 27) * prime1 + prime4;
    if (end - at >= 4) {
        h = std::rotl(h ^ (quint64(word32(at)) * prime1), 23) * prime2 + prime3;
        at += 4;
    }
    for (; at != end; ++at)
        h = std::rotl(h ^ (*at * prime5), 11) * prime1;
    h ^= h >> 33;
    h *= prime2;
    h ^= h >> 29;
    h *= prime3;
    h ^= h >> 32;
    return h;
}

} // namespace morvane
