#pragma once

#include <QString>

namespace morvane {

// Comparisons of what the user typed or an application shows with the names and titles of the user's
// events and cards: without regard to letter case, and canonically equivalent texts count as equal.
bool sameTextIgnoringCase(const QString& a, const QString& b);
bool containsIgnoringCase(const QString& text, const QString& part);

// One text looked for in many (a search through every event or card): prepared once.
class TextNeedle {
public:
    explicit TextNeedle(const QString& part);
    bool isIn(const QString& text) const;

private:
    QString m_folded;
};

} // namespace morvane
