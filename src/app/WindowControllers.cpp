#include "WindowControllers.h"

#include "app/WindowCentring.h"
#include "desktop/AppPresence.h"
#include "foundation/Clock.h"
#include "graph/widgets/GraphWindow.h"
#include "quickpanel/QuickPanelViewModel.h"
#include "services/PreferencesStore.h"

#include <QWidget>

namespace morvane {

namespace {
constexpr std::chrono::milliseconds contextRefreshInterval{1000};
}

QuickPanelController::QuickPanelController(AppPresence& presence, const PreferencesStore& preferences,
                                           QuickPanelViewModel& model, const std::shared_ptr<Clock>& clock)
    : WindowController(presence, preferences, QStringLiteral("Morvane"))
    , m_model(model)
    , m_contextRefreshTimer(clock->makeTimer([this] {
        if (window() && window()->isVisible())
            m_model.refreshIfContextChanged();
    }))
{
}

QuickPanelController::~QuickPanelController() = default;

void QuickPanelController::toggle()
{
    if (window() && window()->isVisible())
        hide();
    else
        show();
}

void QuickPanelController::willShow()
{
    if (onWillShow)
        onWillShow();
    m_model.refreshActiveContext();
}

void QuickPanelController::didShow(QWidget&)
{
    m_contextRefreshTimer->start(contextRefreshInterval, true);
}

void QuickPanelController::didHide()
{
    m_contextRefreshTimer->stop();
    m_model.reset();
}

GraphWindowController::GraphWindowController(AppPresence& presence, const PreferencesStore& preferences,
                                             GraphViewModel& model, const AppearanceService* appearance)
    : m_presence(presence)
    , m_preferences(preferences)
    , m_model(model)
    , m_appearance(appearance)
{
}

GraphWindowController::~GraphWindowController() = default;

void GraphWindowController::show()
{
    if (!m_window) {
        m_window = std::make_unique<GraphWindow>(m_model, m_appearance);
        m_window->setOnWillShow([this] {
            if (onWillShow)
                onWillShow();
        });
        m_window->setOnReloadRequested([this] {
            if (onReloadRequested)
                onReloadRequested();
        });
    }
    m_window->present();
    // The window raised itself; the presence layer also asks the window manager for the focus and
    // keeps the application out of the task bar when the settings say so.
    activateForWindow(m_presence, *m_window, m_preferences.hideDockIcon());
    centreOnScreen(*m_window);
}

void GraphWindowController::hide()
{
    if (m_window)
        m_window->hide();
}

void GraphWindowController::toggle()
{
    if (m_window && m_window->isVisible())
        hide();
    else
        show();
}

QWidget* GraphWindowController::window() const
{
    return m_window.get();
}

PreferencesWindowController::PreferencesWindowController(AppPresence& presence,
                                                         const PreferencesStore& preferences,
                                                         Updater& updater)
    : WindowController(presence, preferences, QStringLiteral("Morvane Preferences"))
    , m_updater(updater)
{
}

} // namespace morvane
