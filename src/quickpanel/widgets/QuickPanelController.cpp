#include "QuickPanelController.h"

#include "QuickPanelKeyRouter.h"
#include "QuickPanelView.h"
#include "QuickPanelWindow.h"
#include "QuickPanelWindowMenu.h"
#include "desktop/AppPresence.h"
#include "foundation/Clock.h"
#include "foundation/EnumNames.h"
#include "foundation/Logging.h"
#include "quickpanel/QuickPanelActionMenu.h"
#include "quickpanel/QuickPanelViewModel.h"
#include "services/AppSettings.h"

#include <QMenu>
#include <QPointer>
#include <QWindow>

#include <QCoroFuture>

MORVANE_LOGGING_CATEGORY(lcQuickPanel, "QuickPanelController")

namespace morvane {

namespace {

constexpr std::chrono::milliseconds contextRefreshInterval{1000};

void logFailure(const char* step)
{
    try {
        throw;
    } catch (const std::exception& error) {
        qCWarning(lcQuickPanel) << step << "failed:" << error.what();
    } catch (...) {
        qCWarning(lcQuickPanel) << step << "failed";
    }
}

} // namespace

QuickPanelController::QuickPanelController(AppPresence& presence, const AppSettings& preferences,
                                           QuickPanelViewModel& model, const std::shared_ptr<Clock>& clock,
                                           const AppearanceService* appearance)
    : m_presence(presence)
    , m_preferences(preferences)
    , m_model(model)
    , m_appearance(appearance)
    , m_contextRefreshTimer(clock->makeTimer([this] { refreshContextIfShown(); }))
{
    connect(&m_model.context(), &QuickPanelContext::shownMayHaveChanged, this, [this] {
        if (isOnScreen())
            m_model.refreshAfterShownChange();
    });
}

QuickPanelController::~QuickPanelController() = default;

void QuickPanelController::build()
{
    m_window = std::make_unique<QuickPanelWindow>();
    connect(m_window.get(), &QuickPanelWindow::closeRequested, this, &QuickPanelController::hide);
    m_router = new QuickPanelKeyRouter(
        m_model,
        {[this] { hide(); }, [this] { activateAndMaybeHide(); }, [this] { completeRelationAndMaybeHide(); },
         [this] {
             QWidget* over = m_window->content() ? m_window->content() : m_window.get();
             showActionMenu(over, QPoint(over->width() / 2, over->height() / 3));
         }},
        m_window.get());
    m_window->setContent(makeView());
    // The router sits on the native window, ahead of every widget; that window exists from here on.
    m_window->winId();
    m_window->windowHandle()->installEventFilter(m_router);
}

QuickPanelView* QuickPanelController::makeView()
{
    m_view = new QuickPanelView(m_model, m_appearance,
                                QuickPanelViewActions{
                                    [this] { activateOrRelate(); },
                                    [this] { hide(); },
                                    [this](QWidget* over, QPoint at) { showActionMenu(over, at); },
                                    [this](QKeyEvent* event) { return m_router->handleKey(*event); },
                                    [this] { emit settingsRequested(); },
                                    [this] { emit aboutRequested(); },
                                });
    return m_view;
}

void QuickPanelController::show()
{
    if (!m_window)
        build();
    ++m_shownOrHidden;
    emit willShow();
    m_model.refreshActiveContext();
    m_router->resetScrolling();
    m_contextRefreshTimer->start(contextRefreshInterval, true);
    if (m_window->isMinimized())
        m_window->setWindowState(m_window->windowState() & ~Qt::WindowMinimized);
    m_window->uncoverBeforeShow();
    activateForWindow(m_presence, *m_window, m_preferences.hideDockIcon());
    m_window->placeShown();
    m_view->prepareForShow();
    qCDebug(lcQuickPanel) << "Panel shown";
}

void QuickPanelController::hide()
{
    ++m_shownOrHidden;
    if (m_window)
        m_window->hide();
    m_contextRefreshTimer->stop();
    m_model.reset();
    emit hidden();
}

// The window manager may minimize the panel from its title bar: Qt still calls it visible, but the
// user sees nothing, so the hot key must bring it back rather than hide it.
bool QuickPanelController::isOnScreen() const
{
    return m_window && m_window->isVisible() && !m_window->isMinimized();
}

void QuickPanelController::toggle()
{
    // While the compositor is asked the user has seen nothing happen yet: a second press repeats the
    // wish of the first, and a second toggle would undo the first as soon as it shows.
    if (m_askingWhetherCovered)
        return;
    if (!isOnScreen())
        return show();
    hideUnlessCovered();
}

QCoro::Task<> QuickPanelController::hideUnlessCovered()
{
    const QPointer<QuickPanelController> self(this);
    const quint64 shownOrHiddenBefore = m_shownOrHidden;
    bool covered = false;
    m_askingWhetherCovered = true;
    try {
        covered = co_await m_presence.isCovered(*m_window);
    } catch (...) {
        logFailure("Asking whether the panel is in sight");
    }
    if (!self)
        co_return;
    m_askingWhetherCovered = false;
    // Shown or hidden another way meanwhile (Escape, a command): that came after the press.
    if (m_shownOrHidden != shownOrHiddenBefore)
        co_return;
    // A panel on screen is hidden whether or not the desktop gave it the keyboard: a compositor may
    // show it without (GNOME Shell does for a panel a command opened), and it is in the user's way.
    if (!covered) {
        hide();
        co_return;
    }
    // Mapped but out of sight: sway keeps a window it mapped behind a full-screen one there, also
    // once that window left full screen, and ignores requests to activate it. Mapped afresh it is a
    // new window, which sway shows and focuses; what the panel holds stays.
    m_window->hide();
    show();
}

void QuickPanelController::refreshContextIfShown()
{
    if (isOnScreen())
        m_model.refreshIfContextChanged();
}

void QuickPanelController::showActionMenu(QWidget* over, QPoint at)
{
    QMenu* menu = makeQuickPanelMenu(
        quickPanelActionMenu(m_model.commands().canRemoveRelation()),
        [this](const QuickPanelMenuEntry& entry) { runMenuEntry(entry); }, over);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(over->mapToGlobal(at));
}

void QuickPanelController::runMenuEntry(const QuickPanelMenuEntry& entry)
{
    using Command = QuickPanelMenuCommand;
    switch (entry.command) {
    case Command::open:
        // Opens the selection in every mode; only Return completes a relation.
        activateAndMaybeHide();
        break;
    case Command::copyDefault:
        m_model.commands().copySelected(m_preferences.defaultCopyFormat());
        break;
    case Command::copyAs:
        if (const std::optional<CopyFormat> format = enumValue(copyFormatNames, entry.value))
            m_model.commands().copySelected(*format);
        break;
    case Command::deleteLink:
        m_model.commands().requestDelete();
        break;
    case Command::removeRelation:
        m_model.commands().requestRemoveRelation();
        break;
    case Command::linkToAnotherItem:
        m_model.commands().beginRelation();
        break;
    case Command::showBacklinks:
        m_model.commands().showBacklinks();
        break;
    case Command::submenu:
        break;
    }
}

void QuickPanelController::activateOrRelate()
{
    if (m_model.state().mode().is(QuickPanelMode::Kind::chooseRelationSource))
        completeRelationAndMaybeHide();
    else
        activateAndMaybeHide();
}

// Return typed right after the query acts on that query's rows: the search may still be running.
// False when the panel went away meanwhile, as a key typed into a hidden panel must not open or
// relate anything.
QCoro::Task<bool> QuickPanelController::waitForTypedList()
{
    if (!m_model.search().isListSettling())
        co_return true;
    const QPointer<QuickPanelController> self(this);
    QCoro::Task<> settling = m_model.search().untilListSettled();
    co_await settling;
    co_return self && self->isOnScreen();
}

QCoro::Task<> QuickPanelController::activateAndMaybeHide()
{
    const QPointer<QuickPanelController> self(this);
    try {
        if (!co_await waitForTypedList())
            co_return;
        const bool keepOpen = co_await m_model.commands().activateSelection();
        if (self && !keepOpen)
            self->hide();
    } catch (...) {
        logFailure("Opening the selection");
    }
}

QCoro::Task<> QuickPanelController::completeRelationAndMaybeHide()
{
    const QPointer<QuickPanelController> self(this);
    try {
        if (!co_await waitForTypedList())
            co_return;
        const bool related = co_await m_model.commands().completeRelation();
        if (self && related)
            self->hide();
    } catch (...) {
        logFailure("Relating the selection");
    }
}

} // namespace morvane
