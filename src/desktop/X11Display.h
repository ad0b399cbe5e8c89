#pragma once

#include <QString>

namespace morvane {

// Why the X display cannot be used, or an empty text when it can (or when another Qt platform was
// asked for through QT_QPA_PLATFORM). Call it before the QApplication exists: Qt meets a missing or
// unreachable display by aborting, with advice to reinstall the application.
QString x11DisplayProblem();

} // namespace morvane
