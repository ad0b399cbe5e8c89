#pragma once

#include <QString>

namespace morvane {

// Comparisons of what the user typed or an application shows with the names and titles of the user's
// events and cards: without regard to letter case, and canonically equivalent texts count as equal.
bool sameTextIgnoringCase(const QString& a, const QString& b);
bool containsIgnoringCase(const QString& text, const QString& part);

} // namespace morvane
