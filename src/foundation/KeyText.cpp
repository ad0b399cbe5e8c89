#include "foundation/KeyText.h"

#include <QStringList>

#include <array>
#include <utility>

namespace morvane {

QString keyCombinationText(unsigned modifiers, const QString& key)
{
    static const std::array<std::pair<KeyModifier, QString>, 4> names{{
        {KeyModifier::ctrl, QStringLiteral("Ctrl")},
        {KeyModifier::alt, QStringLiteral("Alt")},
        {KeyModifier::shift, QStringLiteral("Shift")},
        {KeyModifier::super, QStringLiteral("Super")},
    }};
    QStringList parts;
    for (const auto& [modifier, name] : names) {
        if (modifiers & static_cast<unsigned>(modifier))
            parts << name;
    }
    if (!key.isEmpty())
        parts << key;
    return parts.join(u'+');
}

} // namespace morvane
