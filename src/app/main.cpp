#include "ApplicationQuit.h"
#include "CommandLine.h"
#include "IncomingUrls.h"
#include "LibraryOpening.h"
#include "MorvaneApp.h"
#include "StartupTrace.h"
#include "TerminationSignals.h"
#include "desktop/MessageBoxAlertPresenter.h"
#include "desktop/X11Display.h"
#include "services/SingleInstance.h"
#include "services/UrlSchemeRegistration.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <vector>

namespace {

void print(std::FILE* stream, const QString& text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
}

} // namespace

int main(int argc, char** argv)
{
    morvane::startupStep("main");
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    // Answered before anything else: no display, library or running copy is needed for these.
    const morvane::CommandLine commandLine = morvane::parseCommandLine(arguments);
    switch (commandLine.action) {
    case morvane::CommandLine::Action::help:
    case morvane::CommandLine::Action::version:
        print(stdout, commandLine.text);
        return 0;
    case morvane::CommandLine::Action::usageError:
        print(stderr, commandLine.text);
        return 2;
    case morvane::CommandLine::Action::run:
        break;
    }
    const QStringList& urls = commandLine.items;

    // One copy per user. A later launch hands its URLs and window commands to the running one and
    // leaves before it opens a display or the library.
    morvane::SingleInstance instance;
    switch (instance.claim(urls)) {
    case morvane::SingleInstance::Role::forwarded:
        return 0;
    case morvane::SingleInstance::Role::unanswered:
        std::fputs("Morvane is already running but did not answer.\n", stderr);
        return 1;
    case morvane::SingleInstance::Role::refused:
        std::fprintf(stderr, "Morvane is already running but cannot open links: %s\n",
                     instance.refusal().toLocal8Bit().constData());
        return 1;
    case morvane::SingleInstance::Role::primary:
    case morvane::SingleInstance::Role::standalone:
        break;
    }
    // Nothing runs that could quit.
    if (commandLine.quits())
        return 0;

    const bool platformArgument = !commandLine.platform.isEmpty();
    if (const QString problem = morvane::x11DisplayProblem(); !platformArgument && !problem.isEmpty()) {
        std::fprintf(stderr, "%s\n", problem.toLocal8Bit().constData());
        return 1;
    }
    // Asked for as an argument, not through the environment, which the applications Morvane opens
    // items in would inherit.
    std::vector<char*> qtArguments(argv, argv + argc);
    static char platformOption[] = "-platform";
    static char x11Platform[] = "xcb";
    if (!platformArgument && morvane::preferredQtPlatform(qgetenv("QT_QPA_PLATFORM"), qgetenv("DISPLAY"))) {
        qtArguments.push_back(platformOption);
        qtArguments.push_back(x11Platform);
    }
    int qtArgumentCount = int(qtArguments.size());
    qtArguments.push_back(nullptr);

    // The library opens on its own thread while the display connection is made.
    auto library = std::make_unique<morvane::LibraryOpening>();
    morvane::startupStep("library opening");

    // GLib's default main context belongs to the accessibility thread (platform/AtspiAccessibilityApi):
    // Qt's event loop is told to leave it, and the applications Morvane starts are not.
    qputenv("QT_NO_GLIB", "1");
    QApplication application(qtArgumentCount, qtArguments.data());
    qunsetenv("QT_NO_GLIB");
    morvane::startupStep("application made");
    QApplication::setApplicationName(QStringLiteral("Morvane"));
    QApplication::setOrganizationName(QStringLiteral("Morvane"));
    QApplication::setDesktopFileName(QStringLiteral("morvane"));
    // A tray application: closing its last window never quits it.
    QApplication::setQuitOnLastWindowClosed(false);

    // Listening before the library opens: URLs sent during start-up wait in the queue.
    morvane::IncomingUrls incoming;
    QObject::connect(&instance, &morvane::SingleInstance::urlsReceived, &incoming,
                     &morvane::IncomingUrls::receive);
    instance.listen();
    incoming.receive(urls);

    // SIGTERM, SIGINT and SIGHUP quit like the tray menu's Quit, with status 0, whatever window is open.
    morvane::TerminationSignals terminationSignals;
    QObject::connect(&terminationSignals, &morvane::TerminationSignals::received, &application,
                     &morvane::quitApplication);

    morvane::MorvaneApp app(std::make_shared<morvane::MessageBoxAlertPresenter>());
    // Closed in its place in the termination: after the shortcuts and timers, before the library.
    QObject::connect(&app, &morvane::MorvaneApp::libraryClosing, &instance, &morvane::SingleInstance::close);
    // A copy that failed to start keeps the lock while it shows why, and turns later launches away.
    QObject::connect(&app, &morvane::MorvaneApp::launchFailed, &instance, &morvane::SingleInstance::refuse);
    // A start that failed says so with its status even when a signal ended its alert.
    if (!app.start(std::move(library)))
        return 1;
    // A signal during the start dismissed what was open then; the main loop would not know of it.
    if (morvane::quitRequested())
        return 0;
    app.attachIncomingUrls(incoming);
    QTimer::singleShot(0, [] { morvane::startupStep("event loop running"); });
    return QApplication::exec();
}
