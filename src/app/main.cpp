#include "MorvaneApp.h"
#include "TerminationSignals.h"

#include <QApplication>
#include <QMessageBox>

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

    morvane::MorvaneApp app([&terminationSignals](const QString& message) {
        QMessageBox box(QMessageBox::Critical, QStringLiteral("Morvane"),
                        QStringLiteral("Morvane could not start."));
        box.setInformativeText(message);
        box.setTextFormat(Qt::PlainText);
        // quit() does nothing before the main loop runs: a signal dismisses the dialog instead.
        QObject::connect(&terminationSignals, &morvane::TerminationSignals::received, &box,
                         &QMessageBox::reject);
        box.exec();
    });
    if (!app.start())
        return 1;
    return QApplication::exec();
}
