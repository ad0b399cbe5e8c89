// Holds the two default shortcuts through the real X11 backend. Commands on standard input, one a
// line: "register" (answers a "failed <shortcut>" line per refused shortcut, then "registered") and
// "unregister" (answers "unregistered"). Each dispatched press prints "hotkey <id>".
#include "desktop/X11HotkeyBackend.h"
#include "services/HotkeyService.h"

#include "ProbeIO.h"

#include <QGuiApplication>

using namespace morvane;

using morvane::probe::say;

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    auto backend = std::make_shared<X11HotkeyBackend>();
    HotkeyService service(backend);
    const QList<HotkeyService::Registration> defaults = {
        {1, {37, 0x1100}, [] { say(QStringLiteral("hotkey 1")); }},
        {2, {5, 0x1100}, [] { say(QStringLiteral("hotkey 2")); }},
    };
    const auto input = morvane::probe::readCommands([&](std::string_view line) {
        if (line == "register") {
            for (const auto& failure : service.registerHotkeys(defaults))
                say(QStringLiteral("failed ") + failure.binding.displayString());
            say(QStringLiteral("registered"));
        } else if (line == "unregister") {
            service.unregisterAll();
            say(QStringLiteral("unregistered"));
        }
    });
    return QGuiApplication::exec();
}
