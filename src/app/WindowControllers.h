#pragma once

#include "app/WindowController.h"
#include "quickpanel/widgets/QuickPanelController.h"

#include <functional>
#include <memory>

namespace morvane {

class AppearanceService;
class GraphViewModel;
class GraphWindow;
class Updater;

// The graph window's owner: the window is made on the first show and kept for the life of the
// application (closing it only hides it); every show centres it again and brings it forward.
class GraphWindowController {
public:
    // The model, the settings and the appearance outlive the controller.
    GraphWindowController(AppPresence& presence, const PreferencesStore& preferences, GraphViewModel& model,
                          const AppearanceService* appearance);
    ~GraphWindowController();
    GraphWindowController(const GraphWindowController&) = delete;
    GraphWindowController& operator=(const GraphWindowController&) = delete;

    void show();
    void hide();
    // The hot key's action: hides a visible window, else shows it.
    void toggle();
    // None until the first show.
    QWidget* window() const;

    // Run at the start of every show, and by the toolbar's reload before the graph loads again; the
    // application starts a sync there when sync is on.
    std::function<void()> onWillShow;
    std::function<void()> onReloadRequested;

private:
    AppPresence& m_presence;
    const PreferencesStore& m_preferences;
    GraphViewModel& m_model;
    const AppearanceService* m_appearance;
    std::unique_ptr<GraphWindow> m_window;
};

// The Preferences window's owner; the window offers the update check of the updater it is given.
class PreferencesWindowController : public WindowController {
public:
    PreferencesWindowController(AppPresence& presence, const PreferencesStore& preferences, Updater& updater);

    Updater& updater() const { return m_updater; }

private:
    Updater& m_updater;
};

} // namespace morvane
