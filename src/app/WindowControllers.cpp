#include "WindowControllers.h"

#include <QWidget>

namespace morvane {

namespace {
constexpr int contextRefreshMilliseconds = 1000;
}

QuickPanelController::QuickPanelController(AppPresence& presence)
    : WindowController(presence, QStringLiteral("Morvane"))
{
    m_contextRefreshTimer.setInterval(contextRefreshMilliseconds);
    QObject::connect(&m_contextRefreshTimer, &QTimer::timeout, [this] {
        if (onRefreshContext)
            onRefreshContext();
    });
}

void QuickPanelController::willShow()
{
    if (onRefreshContext)
        onRefreshContext();
}

void QuickPanelController::didShow(QWidget&)
{
    m_contextRefreshTimer.start();
}

void QuickPanelController::didHide()
{
    m_contextRefreshTimer.stop();
}

GraphWindowController::GraphWindowController(AppPresence& presence)
    : WindowController(presence, QStringLiteral("Morvane Graph"))
{
}

void GraphWindowController::didShow(QWidget& window)
{
    window.setFocus(Qt::OtherFocusReason);
}

PreferencesWindowController::PreferencesWindowController(AppPresence& presence, Updater& updater)
    : WindowController(presence, QStringLiteral("Morvane Preferences"))
    , m_updater(updater)
{
}

} // namespace morvane
