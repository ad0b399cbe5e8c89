#include "ApplicationQuit.h"

#include <QApplication>
#include <QDialog>
#include <QWidget>

namespace morvane {

namespace {
bool requested = false;
} // namespace

void quitApplication()
{
    requested = true;
    // A message box without an Escape button refuses to close, and with it QCoreApplication::quit():
    // the modal windows are answered here, innermost first, and the loops ended below regardless.
    while (QWidget* modal = QApplication::activeModalWidget()) {
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
        if (QApplication::activeModalWidget() == modal)
            break;
    }
    QCoreApplication::exit(0);
}

bool quitRequested()
{
    return requested;
}

} // namespace morvane
