// Shows one window of its own and prints what the X11 workspace reports, one line at a time:
// "front <identifier>" (or "front none") at start, then "activated <identifier>" for every notice,
// each followed by "window <title> | <application> | <pid matches>" for the window a capture reads
// ("window none"), and what the capture service answers then: "captured <title> | <locator> |
// <application>", "message <text>" or "nothing". The end-to-end tests switch windows and read these.

#include "capture/ActiveContextService.h"
#include "capture/ObsidianActiveContextProvider.h"
#include "desktop/X11Workspace.h"
#include "foundation/Clock.h"

#include <QApplication>
#include <QWidget>

#include <cstdio>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    const QString ownIdentifier = QStringLiteral("org.morvane.WorkspaceProbe");

    // Made before the window exists, so that this window coming to the front is a notice too.
    auto workspace = std::make_shared<morvane::X11Workspace>(ownIdentifier, morvane::SystemClock::shared());
    // Built before the notices are printed, so that each answer follows its notice.
    morvane::ActiveContextService service(
        {std::make_shared<morvane::ObsidianActiveContextProvider>(workspace)});
    const auto print = [](const QString& line) {
        std::printf("%s\n", qPrintable(line));
        std::fflush(stdout);
    };
    const auto capture = [&] {
        const morvane::CaptureResult result = service.captureContexts();
        if (result.contexts.isEmpty())
            return result.message ? QStringLiteral("message ") + *result.message : QStringLiteral("nothing");
        const morvane::CapturedContext& c = result.contexts.front();
        return QStringLiteral("captured ") + c.title + " | " + c.locator + " | " + c.sourceApp;
    };
    const auto captureWindow = [&] {
        const std::optional<morvane::DesktopWindow> w = workspace->captureWindow();
        if (!w)
            return QStringLiteral("window none");
        return QStringLiteral("window ") + w->title + " | " + w->application.identifier + " | " +
               QString::number(w->application.processId);
    };
    print(QStringLiteral("front ") + workspace->frontmostIdentifier().value_or(QStringLiteral("none")));
    QObject::connect(workspace.get(), &morvane::Workspace::applicationActivated,
                     [&](const QString& identifier) {
                         print(QStringLiteral("activated ") + identifier);
                         print(captureWindow());
                         print(capture());
                     });

    QWidget window;
    window.setWindowTitle(QStringLiteral("workspace-probe"));
    window.resize(200, 100);
    window.show();
    return QApplication::exec();
}
