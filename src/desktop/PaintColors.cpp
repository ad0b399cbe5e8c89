#include "PaintColors.h"

#include "AppearanceService.h"

namespace morvane {

QColor qColor(Rgba color)
{
    return QColor::fromRgbF(float(color.red), float(color.green), float(color.blue), float(color.alpha));
}

QColor paintColor(const AppearanceColor& color, const AppearanceService* appearance)
{
    const std::optional<Appearance> current =
        appearance ? std::optional(appearance->appearance()) : std::nullopt;
    return qColor(color.in(current));
}

QColor paintColor(SystemColor color, const AppearanceService* appearance)
{
    return paintColor(systemColor(color), appearance);
}

} // namespace morvane
