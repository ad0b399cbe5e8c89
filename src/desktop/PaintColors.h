#pragma once

#include "foundation/AppearanceColor.h"
#include "foundation/SystemColor.h"

#include <QColor>

namespace morvane {

class AppearanceService;

QColor qColor(Rgba color);

// The colour to paint with now: the variant for the service's current appearance, or the light one
// when the widget was given no appearance service.
QColor paintColor(const AppearanceColor& color, const AppearanceService* appearance);
QColor paintColor(SystemColor color, const AppearanceService* appearance);

} // namespace morvane
