#include "ApplicationQuit.h"
#include "CommandLine.h"
#include "IncomingUrls.h"
#include "LibraryOpening.h"
#include "MorvaneApp.h"
#include "StartupTrace.h"
#include "TerminationSignals.h"
#include "desktop/MessageBoxAlertPresenter.h"
#include "desktop/X11Display.h"
#include "foundation/FreedMemory.h"
#include "platform/GLibLoopThread.h"
#include "services/SingleInstance.h"
#include "services/UrlSchemeRegistration.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

namespace {

void print(std::FILE* stream, const QString& text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
}

QString lockFailure(const QString& why)
{
    return QStringLiteral("Morvane cannot make sure that only one copy of it runs: %1").arg(why);
}

QString runningElsewhere(const QString& library)
{
    return QStringLiteral("Morvane is already running on this library (%1) and cannot be reached: it runs in "
                          "another session or on another computer.")
        .arg(library);
}

// Why this launch must not run, after its claim: told on standard error and, with a display, in an alert.
QString notRunning(morvane::SingleInstance::Role role, const morvane::SingleInstance& instance)
{
    return role == morvane::SingleInstance::Role::occupied ? runningElsewhere(instance.failure())
                                                           : lockFailure(instance.failure());
}

// The options answered without a display, a library or a running copy; nothing for a start.
std::optional<int> answerAtOnce(const morvane::CommandLine& commandLine)
{
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
    return std::nullopt;
}

// One copy per user. A later launch hands its URLs and window commands to the running one and leaves
// before it opens a display or the library. One with neither (the menu entry chosen again) asks for the
// quick panel; each carries what lets the window it shows in front.
QStringList handedItems(const QStringList& urls)
{
    QStringList handed = urls.isEmpty() ? QStringList{morvane::activateCommand} : urls;
    if (const QString token = morvane::activationTokenItem(); !token.isEmpty())
        handed.append(token);
    return handed;
}

// The exit status when this launch ends with its claim: handed over, or turned away.
std::optional<int> statusAfterClaim(morvane::SingleInstance::Role role,
                                    const morvane::SingleInstance& instance)
{
    switch (role) {
    case morvane::SingleInstance::Role::forwarded:
        return 0;
    case morvane::SingleInstance::Role::unanswered:
        std::fputs("Morvane is already running but did not answer.\n", stderr);
        return 1;
    case morvane::SingleInstance::Role::refused:
        std::fprintf(stderr, "Morvane is already running but cannot open links: %s\n",
                     instance.refusal().toLocal8Bit().constData());
        return 1;
    case morvane::SingleInstance::Role::blocked:
        std::fprintf(stderr, "Morvane is already running but cannot be reached: %s\n",
                     instance.failure().toLocal8Bit().constData());
        return 1;
    // Without the lock nothing keeps a second copy off the same library and shortcuts; with the library
    // held by a copy out of reach, this one would be that second copy.
    case morvane::SingleInstance::Role::failed:
    case morvane::SingleInstance::Role::occupied:
        print(stderr, notRunning(role, instance) + u'\n');
        break;
    case morvane::SingleInstance::Role::primary:
        break;
    }
    return std::nullopt;
}

// Qt's arguments: the program's own, with the X11 platform asked for as an argument, not through the
// environment, which the applications Morvane opens items in would inherit.
class QtArguments {
public:
    QtArguments(int argc, char** argv, bool platformGiven)
        : m_arguments(argv, argv + argc)
    {
        static char platformOption[] = "-platform";
        static char x11Platform[] = "xcb";
        if (!platformGiven && morvane::preferredQtPlatform(qgetenv("QT_QPA_PLATFORM"), qgetenv("DISPLAY"))) {
            m_arguments.push_back(platformOption);
            m_arguments.push_back(x11Platform);
        }
        m_count = int(m_arguments.size());
        m_arguments.push_back(nullptr);
    }

    int& count() { return m_count; }
    char** values() { return m_arguments.data(); }

private:
    std::vector<char*> m_arguments;
    int m_count = 0;
};

void nameApplication()
{
    QApplication::setApplicationName(QStringLiteral("Morvane"));
    QApplication::setOrganizationName(QStringLiteral("Morvane"));
    QApplication::setDesktopFileName(QStringLiteral("morvane"));
    // A tray application: closing its last window never quits it.
    QApplication::setQuitOnLastWindowClosed(false);
}

// The running copy, from its listening to the end of its event loop.
int run(QApplication& application, morvane::SingleInstance& instance, const QStringList& urls,
        std::unique_ptr<morvane::LibraryOpening> library)
{
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

// Everything main() does, each object that owns a thread of ours gone when it returns.
int runProcess(int argc, char** argv)
{
    morvane::startupStep("main");
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    const morvane::CommandLine commandLine = morvane::parseCommandLine(arguments);
    if (const std::optional<int> answered = answerAtOnce(commandLine))
        return *answered;
    const QStringList& urls = commandLine.items;

    morvane::SingleInstance instance;
    const morvane::SingleInstance::Role role = instance.claim(handedItems(urls));
    if (const std::optional<int> status = statusAfterClaim(role, instance))
        return *status;
    const bool mustNotRun =
        role == morvane::SingleInstance::Role::failed || role == morvane::SingleInstance::Role::occupied;
    // Nothing runs that could quit.
    if (commandLine.quits())
        return mustNotRun ? 1 : 0;

    const bool platformArgument = !commandLine.platform.isEmpty();
    if (const QString problem = morvane::x11DisplayProblem(); !platformArgument && !problem.isEmpty()) {
        if (!mustNotRun) // that was said already
            std::fprintf(stderr, "%s\n", problem.toLocal8Bit().constData());
        return 1;
    }
    QtArguments qtArguments(argc, argv, platformArgument);

    // The library opens on its own thread while the display connection is made.
    auto library = mustNotRun ? nullptr : std::make_unique<morvane::LibraryOpening>();
    morvane::startupStep("library opening");

    // GLib's default main context belongs to the accessibility thread (platform/AtspiAccessibilityApi):
    // Qt's event loop is told to leave it, and the applications Morvane starts are not.
    qputenv("QT_NO_GLIB", "1");
    QApplication application(qtArguments.count(), qtArguments.values());
    qunsetenv("QT_NO_GLIB");
    morvane::startupStep("application made");
    nameApplication();
    if (mustNotRun) {
        // Told as a library that cannot open is: the user may have started it from a menu.
        morvane::MessageBoxAlertPresenter().present(morvane::Alert{morvane::Alert::Style::critical,
                                                                   QStringLiteral("Morvane could not start."),
                                                                   notRunning(role, instance),
                                                                   {}});
        return 1;
    }
    return run(application, instance, urls, std::move(library));
}

} // namespace

int main(int argc, char** argv)
{
    morvane::mapLargeBlocks();
    // A thread of ours left inside a call another program does not answer (stopped, hung) at quit must
    // not come back while static objects and libraries are being taken down.
    return morvane::GLibLoopThread::settleThreadsLetGo(runProcess(argc, argv));
}
