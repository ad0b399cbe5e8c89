#pragma once

#include "app/WindowController.h"

#include <functional>
#include <memory>

namespace morvane {

class Clock;
class ClockTimer;
class Updater;

// The quick panel's owner. While the panel shows, the item in front of the user is read again every
// second through onRefreshContext.
class QuickPanelController : public WindowController {
public:
    QuickPanelController(AppPresence& presence, const std::shared_ptr<Clock>& clock);
    ~QuickPanelController() override;

    std::function<void()> onOpenSettings;
    std::function<void()> onRefreshContext;

private:
    void willShow() override;
    void didShow(QWidget& window) override;
    void didHide() override;

    std::unique_ptr<ClockTimer> m_contextRefreshTimer;
};

// The graph window's owner; showing it gives the graph view the keyboard focus.
class GraphWindowController : public WindowController {
public:
    explicit GraphWindowController(AppPresence& presence);

private:
    void didShow(QWidget& window) override;
};

// The Preferences window's owner; the window offers the update check of the updater it is given.
class PreferencesWindowController : public WindowController {
public:
    PreferencesWindowController(AppPresence& presence, Updater& updater);

    Updater& updater() const { return m_updater; }

private:
    Updater& m_updater;
};

} // namespace morvane
