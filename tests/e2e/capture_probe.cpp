// The capture service of the running desktop (the X11 workspace, the accessibility bus, the browser
// and Obsidian providers) polled as the monitor polls it, every half second: prints "trust <n>" (0
// granted, 1 not granted, 2 not available) whenever the bus's trust changes, and whenever the answer
// changes "captured <title> | <locator> | <application>" or "nothing". With "--request" it asks
// for the trust first, as Preferences does once the user agrees.

#include "capture/ActiveContextService.h"
#include "capture/BrowserActiveContextProvider.h"
#include "capture/ObsidianActiveContextProvider.h"
#include "desktop/X11Workspace.h"
#include "foundation/Clock.h"
#include "platform/AtspiAccessibilityApi.h"
#include "platform/ScriptRunner.h"

#include <QCoreApplication>
#include <QTimer>

#include <qcoro/qcorotask.h>

#include <cstdio>
#include <functional>

using namespace morvane;

int main(int argc, char** argv)
{
    qputenv("QT_NO_GLIB", "1"); // as the application does: GLib's main context is the bus thread's
    QCoreApplication application(argc, argv);
    auto workspace =
        std::make_shared<X11Workspace>(QStringLiteral("org.morvane.CaptureProbe"), SystemClock::shared());
    auto accessibility = std::make_shared<AtspiAccessibilityApi>();
    ActiveContextService service(
        {std::make_shared<ObsidianActiveContextProvider>(workspace),
         std::make_shared<BrowserActiveContextProvider>(
             workspace, std::make_shared<UnavailableScriptRunner>(), accessibility)});
    const auto print = [](const QString& line) {
        std::printf("%s\n", qPrintable(line));
        std::fflush(stdout);
    };
    QObject::connect(accessibility.get(), &AccessibilityApi::trustChanged,
                     [&] { print(QStringLiteral("trust ") + QString::number(int(accessibility->trust()))); });
    if (application.arguments().contains(QStringLiteral("--request")))
        accessibility->requestTrust();

    // MORVANE_PROBE_DUMP=1: the applications on the bus and their frames, on standard error.
    if (qEnvironmentVariableIsSet("MORVANE_PROBE_DUMP")) {
        auto* dump = new QTimer(&application);
        QObject::connect(dump, &QTimer::timeout, [accessibility] {
            accessibility->post([api = accessibility.get()] {
                for (const AccessibilityApplication& app : api->applications()) {
                    std::fprintf(stderr, "app %lld %s\n", app.processId, qPrintable(app.name));
                    std::function<void(const AccessibilityElement&, int)> show =
                        [&](const AccessibilityElement& e, int depth) {
                            std::fprintf(stderr, "%*s%d %x %s\n", depth * 2, "", int(api->role(e)),
                                         unsigned(api->states(e)),
                                         qPrintable(api->name(e).value_or("?").left(40)));
                            if (depth < 12)
                                for (const AccessibilityElement& child : api->children(e, 8))
                                    show(child, depth + 1);
                        };
                    for (const AccessibilityElement& frame : api->frames(app.element))
                        show(frame, 1);
                }
            });
        });
        dump->start(2000);
    }
    QString last;
    bool polling = false;
    const auto poll = [&]() -> QCoro::Task<> {
        if (std::exchange(polling, true))
            co_return;
        const CaptureResult result = co_await service.captureFreshContexts();
        polling = false;
        QString line = QStringLiteral("nothing");
        if (!result.contexts.isEmpty()) {
            const CapturedContext& c = result.contexts.first();
            line = QStringLiteral("captured ") + c.title + " | " + c.locator + " | " + c.sourceApp;
        }
        if (line != std::exchange(last, line))
            print(line);
    };
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { poll(); });
    timer.start(500);
    return QCoreApplication::exec();
}
