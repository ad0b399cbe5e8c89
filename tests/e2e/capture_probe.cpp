// Shows one window of its own and prints, one line each, the workspace's notices ("activated
// <identifier>") and, for every line "ask" read from its input, what the capture service answers:
// "captured <title> | <locator> | <application>", "message <text>" or "nothing".

#include "capture/ActiveContextService.h"
#include "capture/ObsidianActiveContextProvider.h"
#include "foundation/Clock.h"
#include "platform/X11Workspace.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QWidget>

#include <cstdio>

#include <unistd.h>

using namespace morvane;

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    auto workspace =
        std::make_shared<X11Workspace>(QStringLiteral("org.morvane.CaptureProbe"), SystemClock::shared());
    ActiveContextService service({std::make_shared<ObsidianActiveContextProvider>(workspace)});

    const auto say = [](const QString& line) {
        std::printf("%s\n", qPrintable(line));
        std::fflush(stdout);
    };
    QObject::connect(workspace.get(), &Workspace::applicationActivated,
                     [&](const QString& identifier) { say(QStringLiteral("activated ") + identifier); });
    const auto answer = [&] {
        const CaptureResult result = service.captureContexts();
        if (!result.contexts.isEmpty()) {
            const CapturedContext& c = result.contexts.front();
            return QStringLiteral("captured ") + c.title + " | " + c.locator + " | " + c.sourceApp;
        }
        return result.message ? QStringLiteral("message ") + *result.message : QStringLiteral("nothing");
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
            if (pending.compare(0, end, "ask") == 0)
                say(answer());
        }
    });

    QWidget window;
    window.setWindowTitle(QStringLiteral("capture-probe"));
    window.resize(200, 100);
    window.show();
    return QApplication::exec();
}
