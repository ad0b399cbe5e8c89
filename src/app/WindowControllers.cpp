#include "WindowControllers.h"

#include "desktop/AppPresence.h"
#include "desktop/FrameCentring.h"
#include "graph/widgets/GraphWindow.h"
#include "preferences/PreferencesWindow.h"
#include "services/PreferencesStore.h"

#include <QShortcut>
#include <QWidget>

namespace morvane {

GraphWindowController::GraphWindowController(AppPresence& presence, const AppSettings& settings,
                                             GraphViewModel& model, const AppearanceService* appearance)
    : m_presence(presence)
    , m_settings(settings)
    , m_model(model)
    , m_appearance(appearance)
{
}

GraphWindowController::~GraphWindowController() = default;

void GraphWindowController::show()
{
    if (!m_window) {
        m_window = std::make_unique<GraphWindow>(m_model, m_appearance);
        connect(m_window.get(), &GraphWindow::willShow, this, &GraphWindowController::willShow);
        connect(m_window.get(), &GraphWindow::reloadRequested, this, &GraphWindowController::reloadRequested);
    }
    m_window->present();
    // The window raised itself; the presence layer also asks the window manager for the focus and
    // keeps the application out of the task bar when the settings say so.
    activateForWindow(m_presence, *m_window, m_settings.hideDockIcon());
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
                                                         PreferencesWindowServices services)
    : m_presence(presence)
    , m_services(std::make_unique<PreferencesWindowServices>(std::move(services)))
{
}

PreferencesWindowController::~PreferencesWindowController() = default;

void PreferencesWindowController::show()
{
    const bool firstShow = !m_window;
    if (firstShow) {
        m_window = std::make_unique<PreferencesWindow>(*m_services);
        // Without a window manager (or under one that draws no frames) the window has no close
        // button; Command-W, as Ctrl+W or Super+W, is then the only way to put it away.
        for (const QKeySequence& keys :
             {QKeySequence(Qt::CTRL | Qt::Key_W), QKeySequence(Qt::META | Qt::Key_W)})
            QObject::connect(new QShortcut(keys, m_window.get()), &QShortcut::activated, m_window.get(),
                             &QWidget::close);
    }
    activateForWindow(m_presence, *m_window, m_services->preferences.settings().hideDockIcon());
    if (firstShow)
        centreFrameOnScreen(*m_window);
}

QWidget* PreferencesWindowController::window() const
{
    return m_window.get();
}

} // namespace morvane
