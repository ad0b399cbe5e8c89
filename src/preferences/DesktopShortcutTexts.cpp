#include "DesktopShortcutTexts.h"

#include "platform/DesktopSession.h"
#include "platform/GlobalShortcutsPortal.h"

#include <QStringList>

namespace morvane {

namespace {

// The session's desktop names itself in XDG_CURRENT_DESKTOP, a colon-separated list ("ubuntu:GNOME").
bool desktopIs(const QString& name)
{
    const QStringList names = qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(u':', Qt::SkipEmptyParts);
    return names.contains(name, Qt::CaseInsensitive);
}

} // namespace

QString desktopShortcutSettings()
{
    return desktopIs(QStringLiteral("KDE")) ? QStringLiteral("System Settings › Shortcuts")
                                            : QStringLiteral("your desktop's shortcut settings");
}

QString desktopCommandSettings()
{
    if (desktopIs(QStringLiteral("GNOME")))
        return QStringLiteral("Settings › Keyboard › Custom Shortcuts");
    if (desktopIs(QStringLiteral("KDE")))
        return QStringLiteral("System Settings › Shortcuts");
    return QStringLiteral("your desktop's keyboard settings");
}

QString shortcutInvitation(const GlobalShortcutsPortal* portal, const QString& portalId, const QString& label,
                           const QString& storedKeys, const QString& command)
{
    if (!isWaylandSession())
        return QStringLiteral("Press ") + storedKeys;
    if (portal && portal->state() != GlobalShortcutsPortal::State::unavailable) {
        const QString held = portal->triggerDescriptions().value(portalId);
        if (portal->state() == GlobalShortcutsPortal::State::available &&
            portal->triggerDescriptions().contains(portalId))
            return held.isEmpty() ? QStringLiteral("Give “%1” keys in %2 and press them")
                                        .arg(label, desktopShortcutSettings())
                                  : QStringLiteral("Press ") + held;
        // Still asking: the keys we asked the desktop for, which it gives unless the user changes them.
        return QStringLiteral("Press ") + storedKeys;
    }
    return QStringLiteral("Press keys you bind in %1 to “%2”").arg(desktopCommandSettings(), command);
}

} // namespace morvane
