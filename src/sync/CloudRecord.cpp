#include "sync/CloudRecord.h"

#include <cmath>
#include <limits>

namespace morvane {

std::optional<qint64> CloudRecord::int64(const QString& key) const
{
    const auto found = m_fields.constFind(key);
    if (found == m_fields.constEnd())
        return std::nullopt;
    if (const qint64* integer = std::get_if<qint64>(&*found))
        return *integer;
    if (const double* real = std::get_if<double>(&*found)) {
        // A value out of range (or not a number) has no 64-bit integer value to take.
        constexpr double limit = 9223372036854775808.0; // 2^63
        if (std::isnan(*real) || *real >= limit || *real < -limit)
            return std::nullopt;
        return static_cast<qint64>(*real);
    }
    return std::nullopt;
}

} // namespace morvane
