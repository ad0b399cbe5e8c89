#pragma once

#include "TestEnvironment.h"
#include "desktop/AppearanceService.h"

#include <QImage>

#include <memory>

namespace morvane::test {

// An appearance service pinned to one appearance through its override.
inline std::unique_ptr<AppearanceService> appearanceService(Appearance appearance)
{
    const ScopedEnvironmentVariable pinned("MORVANE_APPEARANCE",
                                           QByteArray(appearance == Appearance::dark ? "dark" : "light"));
    return std::make_unique<AppearanceService>();
}

// The smallest rectangle holding every pixel where the two images differ by more than the threshold
// in any channel; null when they do not.
inline QRect differenceBounds(const QImage& a, const QImage& b, int threshold = 80)
{
    QRect bounds;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QColor p = a.pixelColor(x, y);
            const QColor q = b.pixelColor(x, y);
            if (qAbs(p.red() - q.red()) > threshold || qAbs(p.green() - q.green()) > threshold ||
                qAbs(p.blue() - q.blue()) > threshold)
                bounds |= QRect(x, y, 1, 1);
        }
    return bounds;
}

} // namespace morvane::test
