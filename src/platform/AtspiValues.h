#pragma once

// GLib's headers name struct members "signals", which Qt's headers define as a keyword: whoever
// includes this header includes it before any Qt header.
#include <atspi/atspi.h>

#include "platform/AccessibilityApi.h"
#include "platform/GLibErrorSlot.h"

#include <QHash>
#include <QString>

#include <optional>

namespace morvane {

// libatspi's values as the accessibility interface has them; each take* frees what it is given.
QString takeAtspiString(gchar* text);
QHash<QString, QString> takeAtspiTable(GHashTable* table);
AccessibilityRole roleOf(AtspiRole role);
AccessibilityStates statesOf(AtspiStateSet* set);
// One text property of an accessible; nothing when it cannot be read.
std::optional<QString> readAtspiText(AtspiAccessible* accessible, gchar* (*read)(AtspiAccessible*, GError**));

} // namespace morvane
