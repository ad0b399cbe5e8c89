// Shows one window of its own and prints what the X11 workspace reports, one line at a time:
// "front <identifier>" (or "front none") at start, then "activated <identifier>" for every notice.
// The end-to-end test switches windows and reads these lines.

#include "foundation/Clock.h"
#include "platform/X11Workspace.h"

#include <QApplication>
#include <QWidget>

#include <cstdio>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    const QString ownIdentifier = QStringLiteral("org.morvane.WorkspaceProbe");

    // Made before the window exists, so that this window coming to the front is a notice too.
    morvane::X11Workspace workspace(ownIdentifier, morvane::SystemClock::shared());
    const auto print = [](const QString& line) {
        std::printf("%s\n", qPrintable(line));
        std::fflush(stdout);
    };
    print(QStringLiteral("front ") + workspace.frontmostIdentifier().value_or(QStringLiteral("none")));
    QObject::connect(&workspace, &morvane::Workspace::applicationActivated,
                     [&](const QString& identifier) { print(QStringLiteral("activated ") + identifier); });

    QWidget window;
    window.setWindowTitle(QStringLiteral("workspace-probe"));
    window.resize(200, 100);
    window.show();
    return QApplication::exec();
}
