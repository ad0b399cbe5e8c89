#include "X11Display.h"

#include <QGuiApplication>

#include <xcb/xcb.h>

namespace morvane {

QString x11DisplayProblem()
{
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (!platform.isEmpty() && !platform.startsWith("xcb"))
        return {};
    const QByteArray display = qgetenv("DISPLAY");
    if (display.isEmpty())
        return QStringLiteral("Morvane needs an X11 display, and DISPLAY is not set.");
    xcb_connection_t* connection = xcb_connect(display.constData(), nullptr);
    const bool refused = xcb_connection_has_error(connection) != 0;
    xcb_disconnect(connection);
    if (refused)
        return QStringLiteral("Morvane cannot open the X11 display “%1”.")
            .arg(QString::fromLocal8Bit(display));
    return {};
}

std::optional<QByteArray> preferredQtPlatform(const QByteArray& chosenPlatform, const QByteArray& display)
{
    if (!chosenPlatform.isEmpty() || display.isEmpty())
        return std::nullopt;
    return QByteArrayLiteral("xcb");
}

xcb_connection_t* applicationX11Connection()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return nullptr;
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

} // namespace morvane
