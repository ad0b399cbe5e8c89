#include "WindowControllers.h"

#include "foundation/Clock.h"

#include <QWidget>

namespace morvane {

namespace {
constexpr std::chrono::milliseconds contextRefreshInterval{1000};
}

QuickPanelController::QuickPanelController(AppPresence& presence, const std::shared_ptr<Clock>& clock)
    : WindowController(presence, QStringLiteral("Morvane"))
    , m_contextRefreshTimer(clock->makeTimer([this] {
        if (onRefreshContext)
            onRefreshContext();
    }))
{
}

QuickPanelController::~QuickPanelController() = default;

void QuickPanelController::willShow()
{
    if (onRefreshContext)
        onRefreshContext();
}

void QuickPanelController::didShow(QWidget&)
{
    m_contextRefreshTimer->start(contextRefreshInterval, true);
}

void QuickPanelController::didHide()
{
    m_contextRefreshTimer->stop();
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
