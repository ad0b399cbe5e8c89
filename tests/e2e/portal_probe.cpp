// Holds the two default shortcuts through the desktop's shortcuts portal alone (started without an
// X11 connection, so no grab competes with the desktop's). Prints "portal available" once the
// desktop has bound them, "trigger <id> <keys>" for each shortcut it reports, "bound" for each set the
// desktop answered, and "hotkey <id>" for each dispatched press. The command "register" on standard
// input answers "registered"; "record" gives the quick panel Ctrl+Alt+M instead, as a recorder would,
// and answers "recorded".
#include "desktop/DBusGlobalShortcutsPortal.h"
#include "desktop/SessionHotkeyBackend.h"
#include "desktop/X11HotkeyBackend.h"
#include "foundation/Clock.h"
#include "services/HotkeyService.h"

#include "ProbeIO.h"

#include <QGuiApplication>

using namespace morvane;

using morvane::probe::say;

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    auto portal = std::make_shared<DBusGlobalShortcutsPortal>();
    const quint32 signature = HotkeyService::registrationSignature();
    auto backend = std::make_shared<SessionHotkeyBackend>(
        std::make_shared<X11HotkeyBackend>(), portal,
        QList<SessionHotkeyBackend::PortalEntry>{
            {{signature, 1}, PortalShortcutId::quickPanel, QStringLiteral("Open Morvane")},
            {{signature, 2}, PortalShortcutId::graph, QStringLiteral("Open Graph")},
        },
        SystemClock::shared());
    HotkeyService service(backend);
    QObject::connect(portal.get(), &GlobalShortcutsPortal::stateChanged, [&portal] {
        if (portal->state() == GlobalShortcutsPortal::State::available)
            say(QStringLiteral("portal available"));
    });
    QObject::connect(portal.get(), &GlobalShortcutsPortal::triggerDescriptionsChanged, [&portal] {
        const QMap<QString, QString> triggers = portal->triggerDescriptions();
        for (auto it = triggers.cbegin(); it != triggers.cend(); ++it)
            say(QStringLiteral("trigger %1 %2").arg(it.key(), it.value()));
    });
    QObject::connect(portal.get(), &GlobalShortcutsPortal::shortcutsBound,
                     [] { say(QStringLiteral("bound")); });
    QList<HotkeyService::Registration> shortcuts = {
        {1, {37, 0x1100}, [] { say(QStringLiteral("hotkey 1")); }},
        {2, {5, 0x1100}, [] { say(QStringLiteral("hotkey 2")); }},
    };
    const auto input = morvane::probe::readCommands([&](std::string_view line) {
        if (line == "register" && service.registerHotkeys(shortcuts).isEmpty())
            say(QStringLiteral("registered"));
        if (line == "record") {
            shortcuts[0].binding = {46, 0x1800};
            if (service.registerHotkeys(shortcuts).isEmpty())
                say(QStringLiteral("recorded"));
        }
    });
    return QGuiApplication::exec();
}
