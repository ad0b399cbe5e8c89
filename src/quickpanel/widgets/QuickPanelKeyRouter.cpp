#include "QuickPanelKeyRouter.h"

#include "quickpanel/QuickPanelViewModel.h"
#include "services/AppSettings.h"

#include <QKeyEvent>
#include <QPointer>
#include <QWheelEvent>
#include <QWidget>

#include <utility>

namespace morvane {

namespace {

void call(const std::function<void()>& step)
{
    if (step)
        step();
}

QuickPanelKeyResult decide(const QKeyEvent& event, const QuickPanelViewModel& model)
{
    return quickPanelKeyAction(Qt::Key(event.key()), event.modifiers(), quickPanelInputState(model));
}

// A modifier pressed on its way to a shortcut is no key of its own.
bool isModifierKey(int key)
{
    switch (key) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Meta:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_CapsLock:
    case Qt::Key_NumLock:
        return true;
    default:
        return false;
    }
}

// Keys that act on the selected row. Typed straight after the query, they are meant for a row of
// that query, whose search may still be running.
bool actsOnSelection(QuickPanelKeyAction action)
{
    using Action = QuickPanelKeyAction;
    switch (action) {
    case Action::requestRemoveRelation:
    case Action::requestDelete:
    case Action::copyDefault:
    case Action::showBacklinks:
    case Action::beginRelation:
    case Action::openActionMenu:
        return true;
    default:
        return false;
    }
}

} // namespace

QuickPanelInputState quickPanelInputState(const QuickPanelViewModel& model)
{
    using Kind = QuickPanelMode::Kind;
    return {model.state().mode().is(Kind::add), model.state().mode().is(Kind::chooseRelationSource),
            model.commands().pendingRelationDelete().has_value(),
            model.commands().pendingDeleteItem().has_value()};
}

QuickPanelKeyRouter::QuickPanelKeyRouter(QuickPanelViewModel& model, QuickPanelRouterSteps steps,
                                         QObject* parent)
    : QObject(parent)
    , m_model(model)
    , m_steps(std::move(steps))
{
}

bool QuickPanelKeyRouter::handleKey(const QKeyEvent& event)
{
    const QuickPanelKeyResult result = decide(event, m_model);
    if (result.consumed)
        run(result.action);
    return result.consumed;
}

bool QuickPanelKeyRouter::handleWheel(const QWheelEvent& event)
{
    const QuickPanelScrollResult result = m_stepper.scroll(
        QuickPanelWheelDelta::fromQt(event.pixelDelta(), event.angleDelta()), quickPanelInputState(m_model));
    if (result.steps != 0)
        m_model.state().moveSelection(result.steps);
    return result.consumed;
}

bool QuickPanelKeyRouter::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::ShortcutOverride: {
        // Claiming the override keeps the key from a shortcut and from a focused line edit's own
        // reading of it (Ctrl+C would copy the field's text); the key press that follows does the work.
        auto* key = static_cast<QKeyEvent*>(event);
        if (decide(*key, m_model).consumed) {
            key->accept();
            return true;
        }
        break;
    }
    case QEvent::KeyPress:
        if (!isModifierKey(static_cast<QKeyEvent*>(event)->key()))
            m_model.noteKeyPress();
        if (handleKey(*static_cast<QKeyEvent*>(event))) {
            event->accept();
            return true;
        }
        break;
    case QEvent::Wheel:
        if (handleWheel(*static_cast<QWheelEvent*>(event))) {
            event->accept();
            return true;
        }
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

// Runs the action once the typed query's rows are in; dropped when the panel went away meanwhile.
QCoro::Task<> QuickPanelKeyRouter::runWhenListSettled(QuickPanelKeyAction action)
{
    const QPointer<QuickPanelKeyRouter> self(this);
    QCoro::Task<> settling = m_model.search().untilListSettled();
    co_await settling;
    if (!self)
        co_return;
    const auto* window = qobject_cast<const QWidget*>(parent());
    if (!window || (window->isVisible() && !window->isMinimized()))
        run(action, false);
}

void QuickPanelKeyRouter::run(QuickPanelKeyAction action, bool mayWait)
{
    using Action = QuickPanelKeyAction;
    if (mayWait && actsOnSelection(action) && m_model.search().isListSettling()) {
        runWhenListSettled(action);
        return;
    }
    switch (action) {
    case Action::none:
        break;
    case Action::requestRemoveRelation:
        m_model.commands().requestRemoveRelation();
        break;
    case Action::requestDelete:
        m_model.commands().requestDelete();
        break;
    case Action::confirmRelationDelete:
        m_model.commands().confirmRemoveRelation();
        break;
    case Action::confirmDelete:
        m_model.commands().confirmDelete();
        break;
    case Action::cancelRelationDelete:
        m_model.commands().cancelRemoveRelation();
        break;
    case Action::cancelDelete:
        m_model.commands().cancelDelete();
        break;
    case Action::hide:
        call(m_steps.hide);
        break;
    case Action::copyDefault:
        m_model.commands().copySelected(m_model.preferences() ? m_model.preferences()->defaultCopyFormat()
                                                              : CopyFormat::url);
        break;
    case Action::showBacklinks:
        m_model.commands().showBacklinks();
        break;
    case Action::beginAdd:
        m_model.newLink().begin();
        break;
    case Action::beginRelation:
        m_model.commands().beginRelation();
        break;
    case Action::openActionMenu:
        call(m_steps.showActionMenu);
        break;
    case Action::completeRelation:
        call(m_steps.completeRelation);
        break;
    case Action::activate:
        call(m_steps.activate);
        break;
    case Action::moveNext:
        m_model.state().moveSelection(1);
        break;
    case Action::movePrevious:
        m_model.state().moveSelection(-1);
        break;
    }
}

} // namespace morvane
