#pragma once

#include "app/WindowController.h"

#include <QTimer>

namespace morvane {

class Updater;

// The quick panel's owner. While the panel shows, the item in front of the user is read again every
// second through onRefreshContext.
class QuickPanelController : public WindowController {
public:
    explicit QuickPanelController(AppPresence& presence);

    std::function<void()> onOpenSettings;
    std::function<void()> onShowAbout;
    std::function<void()> onRefreshContext;

    bool isRefreshing() const { return m_contextRefreshTimer.isActive(); }

private:
    void willShow() override;
    void didShow(QWidget& window) override;
    void didHide() override;

    QTimer m_contextRefreshTimer;
};

// The graph window's owner; showing it gives the graph view the keyboard focus.
class GraphWindowController : public WindowController {
public:
    explicit GraphWindowController(AppPresence& presence);

    std::function<void()> onReloadRequested;

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
