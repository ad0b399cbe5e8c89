#include "WindowController.h"

#include "app/WindowCentring.h"
#include "desktop/AppPresence.h"
#include "services/PreferencesStore.h"

#include <QLabel>
#include <QWidget>

namespace morvane {

WindowController::WindowController(AppPresence& presence, const PreferencesStore& preferences, QString title)
    : m_presence(presence)
    , m_preferences(preferences)
    , m_title(std::move(title))
{
}

WindowController::~WindowController() = default;

std::unique_ptr<QWidget> WindowController::makeWindow()
{
    auto window = std::make_unique<QLabel>(m_title);
    window->setTextFormat(Qt::PlainText);
    window->setAlignment(Qt::AlignCenter);
    window->resize(480, 320);
    return window;
}

void WindowController::show()
{
    willShow();
    if (!m_window) {
        m_window = makeWindow();
        m_window->setWindowTitle(m_title);
    }
    activateForWindow(m_presence, *m_window, m_preferences.hideDockIcon());
    centreOnScreen(*m_window);
    didShow(*m_window);
}

void WindowController::hide()
{
    if (m_window)
        m_window->hide();
    didHide();
}

} // namespace morvane
