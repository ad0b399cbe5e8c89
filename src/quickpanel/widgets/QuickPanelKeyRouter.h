#pragma once

#include "quickpanel/QuickPanelKeyMap.h"
#include "quickpanel/QuickPanelScrollStepper.h"

#include <QCoroTask>
#include <QObject>

#include <functional>

class QKeyEvent;
class QWheelEvent;

namespace morvane {

class QuickPanelViewModel;

// The panel's state as the input rules read it, at the moment of the event.
QuickPanelInputState quickPanelInputState(const QuickPanelViewModel& model);

// The steps that belong to the panel's owner rather than to the model.
struct QuickPanelRouterSteps {
    std::function<void()> hide;
    // Return: open the selection (the panel hides unless the command keeps it) ...
    std::function<void()> activate;
    // ... or, while a relation's source is being chosen, relate it (the panel hides when it did).
    std::function<void()> completeRelation;
    std::function<void()> showActionMenu;
};

// Runs the panel's keyboard and wheel. Installed on the panel's QWindow, it sees each key press,
// shortcut override and wheel event once, before any widget: a filter on the application would see a
// key again at every widget it is offered to, and a wheel notch at every parent it propagates to.
// Keys the rules do not take go on to the focused widget untouched.
class QuickPanelKeyRouter : public QObject {
public:
    QuickPanelKeyRouter(QuickPanelViewModel& model, QuickPanelRouterSteps steps, QObject* parent = nullptr);

    // Runs the key's action; false when the key is left to the focused widget.
    bool handleKey(const QKeyEvent& event);
    // Moves the selection by the event's steps; false when the event is left to scroll what it is over.
    bool handleWheel(const QWheelEvent& event);
    // Forgets a partial touchpad step, on every show.
    void resetScrolling() { m_stepper.reset(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void run(QuickPanelKeyAction action, bool mayWait = true);
    QCoro::Task<> runWhenListSettled(QuickPanelKeyAction action);

    QuickPanelViewModel& m_model;
    QuickPanelRouterSteps m_steps;
    QuickPanelScrollStepper m_stepper;
};

} // namespace morvane
