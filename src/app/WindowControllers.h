#pragma once

#include "quickpanel/widgets/QuickPanelController.h"

#include <QObject>

#include <memory>

class QWidget;

namespace morvane {

class AppPresence;
class AppearanceService;
class GraphViewModel;
class GraphWindow;
class AppSettings;
class PreferencesWindow;
struct PreferencesWindowServices;

// The graph window's owner: the window is made on the first show and kept for the life of the
// application (closing it only hides it); every show centres it again and brings it forward.
class GraphWindowController : public QObject {
    Q_OBJECT
public:
    // The model, the settings and the appearance outlive the controller.
    GraphWindowController(AppPresence& presence, const AppSettings& settings, GraphViewModel& model,
                          const AppearanceService* appearance);
    ~GraphWindowController() override;

    void show();
    void hide();
    // The hot key's action: hides a visible window, else shows it.
    void toggle();
    // None until the first show.
    QWidget* window() const;

signals:
    // At the start of every show, and at the toolbar's reload before the graph loads again; the
    // application starts a sync there when sync is on.
    void willShow();
    void reloadRequested();

private:
    AppPresence& m_presence;
    const AppSettings& m_settings;
    GraphViewModel& m_model;
    const AppearanceService* m_appearance;
    std::unique_ptr<GraphWindow> m_window;
};

// The Preferences window's owner: the window is made on the first show, centred then, and kept for
// the life of the application (closing it only hides it); later shows bring it forward where the
// user left it, on the page chosen last.
class PreferencesWindowController {
public:
    // The settings, the updater and the appearance outlive the controller.
    PreferencesWindowController(AppPresence& presence, PreferencesWindowServices services);
    ~PreferencesWindowController();
    PreferencesWindowController(const PreferencesWindowController&) = delete;
    PreferencesWindowController& operator=(const PreferencesWindowController&) = delete;

    void show();
    // None until the first show.
    QWidget* window() const;

private:
    AppPresence& m_presence;
    std::unique_ptr<PreferencesWindowServices> m_services;
    std::unique_ptr<PreferencesWindow> m_window;
};

} // namespace morvane
