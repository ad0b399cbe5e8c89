#pragma once

#include <QObject>
#include <QString>

#include <memory>

namespace morvane {

class AlertPresenter;
class AppearanceService;
class FileIdentityService;
class GraphWindowController;
class LinkStore;
class MenuBarController;
class PreferencesWindowController;
class QuickPanelController;
class Updater;
class X11AppPresence;

// The application delegate: builds the long-lived objects once, in order, and holds them for the
// life of the process.
class MorvaneApp : public QObject {
    Q_OBJECT
public:
    // The alerts are shown through the presenter, and each returns once the user dismissed it.
    explicit MorvaneApp(std::shared_ptr<AlertPresenter> alerts, QObject* parent = nullptr);
    ~MorvaneApp() override;

    // Opens the library, builds the object graph and shows the tray icon. Returns false, after
    // telling the user why, when the application cannot run.
    bool start();

    LinkStore* linkStore() const { return m_linkStore.get(); }

private:
    void buildShell();
    void presentFatalError(const QString& message);

    std::shared_ptr<AlertPresenter> m_alerts;
    std::shared_ptr<FileIdentityService> m_fileIdentityService;
    std::unique_ptr<LinkStore> m_linkStore;
    AppearanceService* m_appearance = nullptr;
    X11AppPresence* m_presence = nullptr;
    std::unique_ptr<Updater> m_updater;
    std::unique_ptr<QuickPanelController> m_quickPanel;
    std::unique_ptr<GraphWindowController> m_graphWindow;
    std::unique_ptr<PreferencesWindowController> m_preferencesWindow;
    MenuBarController* m_menuBar = nullptr;
};

} // namespace morvane
