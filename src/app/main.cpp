#include "MorvaneApp.h"
#include "TerminationSignals.h"
#include "desktop/MessageBoxAlertPresenter.h"

#include <QApplication>
#include <QDialog>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Morvane"));
    QApplication::setOrganizationName(QStringLiteral("Morvane"));
    QApplication::setDesktopFileName(QStringLiteral("morvane"));
    // A tray application: closing its last window never quits it.
    QApplication::setQuitOnLastWindowClosed(false);

    // SIGTERM, SIGINT and SIGHUP quit like the tray menu's Quit, with status 0.
    morvane::TerminationSignals terminationSignals;
    QObject::connect(&terminationSignals, &morvane::TerminationSignals::received, &application,
                     &QCoreApplication::quit);

    morvane::MorvaneApp app(std::make_shared<morvane::MessageBoxAlertPresenter>());
    // quit() does nothing before the main loop runs: a signal during start-up dismisses its alert.
    const QMetaObject::Connection dismissStartupAlert =
        QObject::connect(&terminationSignals, &morvane::TerminationSignals::received, &application, [] {
            if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
                dialog->reject();
        });
    const bool started = app.start();
    QObject::disconnect(dismissStartupAlert);
    if (!started)
        return 1;
    return QApplication::exec();
}
