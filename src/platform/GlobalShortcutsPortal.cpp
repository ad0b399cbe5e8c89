#include "GlobalShortcutsPortal.h"

namespace morvane {

GlobalShortcutsPortal::~GlobalShortcutsPortal() = default;

std::optional<QString> GlobalShortcutsPortal::heldKeysText(const QString& id) const
{
    if (state() != State::available)
        return std::nullopt;
    const QMap<QString, QString> triggers = triggerDescriptions();
    const auto found = triggers.constFind(id);
    if (found == triggers.constEnd())
        return std::nullopt;
    return found->isEmpty() ? QStringLiteral("None") : *found;
}

} // namespace morvane
