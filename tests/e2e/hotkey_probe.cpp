// Holds the two default shortcuts through the real X11 backend. Commands on standard input, one a
// line: "register" (answers a "failed <shortcut>" line per refused shortcut, then "registered") and
// "unregister" (answers "unregistered"). Each dispatched press prints "hotkey <id>".
#include "desktop/X11HotkeyBackend.h"
#include "services/HotkeyService.h"

#include <QGuiApplication>
#include <QSocketNotifier>

#include <cstdio>
#include <string>
#include <unistd.h>

using namespace morvane;

static void say(const QString& line)
{
    std::puts(qPrintable(line));
    std::fflush(stdout);
}

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    auto backend = std::make_shared<X11HotkeyBackend>();
    HotkeyService service(backend);
    const QList<HotkeyService::Registration> defaults = {
        {1, {37, 0x1100}, [] { say(QStringLiteral("hotkey 1")); }},
        {2, {5, 0x1100}, [] { say(QStringLiteral("hotkey 2")); }},
    };
    std::string pending;
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buffer[256];
        const ssize_t count = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (count <= 0)
            return QCoreApplication::quit();
        pending.append(buffer, size_t(count));
        for (size_t end; (end = pending.find('\n')) != std::string::npos; pending.erase(0, end + 1)) {
            if (pending.compare(0, end, "register") == 0) {
                for (const auto& failure : service.registerHotkeys(defaults))
                    say(QStringLiteral("failed ") + failure.binding.displayString());
                say(QStringLiteral("registered"));
            } else if (pending.compare(0, end, "unregister") == 0) {
                service.unregisterAll();
                say(QStringLiteral("unregistered"));
            }
        }
    });
    return QGuiApplication::exec();
}
