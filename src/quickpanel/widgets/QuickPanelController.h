#pragma once

#include "quickpanel/widgets/QuickPanelWindow.h"

#include <QObject>
#include <QPoint>

#include <QCoroTask>

#include <memory>

class QWidget;

namespace morvane {

class AppPresence;
class AppearanceService;
class Clock;
class ClockTimer;
class AppSettings;
class QuickPanelKeyRouter;
class QuickPanelView;
class QuickPanelViewModel;
struct QuickPanelMenuEntry;

// Owns the quick panel's window for the life of the application: builds it on the first show, shows
// it centred and in front, hides it (and puts the model back to searching) and, while it is on
// screen, reads the item in front of the user again every second. The window's keys and wheel run
// through one router; Return hides the panel once its command says the panel is done.
class QuickPanelController : public QObject {
    Q_OBJECT
public:
    // Everything given outlives the controller.
    QuickPanelController(AppPresence& presence, const AppSettings& preferences, QuickPanelViewModel& model,
                         const std::shared_ptr<Clock>& clock, const AppearanceService* appearance = nullptr);
    ~QuickPanelController() override;

    void show();
    void hide();
    // The hot key's action: hides a panel on screen, else shows it (also one the compositor keeps
    // out of sight). Where the compositor is asked, the answer decides once it comes; a press before
    // then is the same one again and changes nothing.
    void toggle();
    // Shown and not minimized: the hot key hides it.
    bool isOnScreen() const;
    // None until the first show.
    QuickPanelWindow* window() const { return m_window.get(); }

    // The action menu of the selection, built from the model as it is now and opened at `at` over
    // `over`.
    void showActionMenu(QWidget* over, QPoint at);

signals:
    // At the start of every show (the application starts a sync there when sync is on).
    void willShow();
    // Once the panel is out of sight: what only its searches need can be given back.
    void hidden();
    // The header menu's "Settings..." and "About Morvane".
    void settingsRequested();
    void aboutRequested();

private:
    void build();
    QuickPanelView* makeView();
    void runMenuEntry(const QuickPanelMenuEntry& entry);
    void refreshContextIfShown();
    QCoro::Task<> hideUnlessCovered();
    // A row chosen with the pointer: relates it while a relation's source is being chosen, else opens it.
    void activateOrRelate();
    QCoro::Task<bool> waitForTypedList();
    QCoro::Task<> activateAndMaybeHide();
    QCoro::Task<> completeRelationAndMaybeHide();

    AppPresence& m_presence;
    const AppSettings& m_preferences;
    QuickPanelViewModel& m_model;
    const AppearanceService* m_appearance;
    std::unique_ptr<ClockTimer> m_contextRefreshTimer;
    std::unique_ptr<QuickPanelWindow> m_window;
    QuickPanelKeyRouter* m_router = nullptr;
    QuickPanelView* m_view = nullptr;
    // Counts shows and hides, so that a press whose answer comes later yields to one made meanwhile.
    quint64 m_shownOrHidden = 0;
    bool m_askingWhetherCovered = false;
};

} // namespace morvane
