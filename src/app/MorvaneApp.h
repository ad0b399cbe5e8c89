#pragma once

#include <QObject>
#include <QString>

#include <memory>

namespace morvane {

class AlertPresenter;
class AppearanceService;
class CalendarEventService;
class ContactService;
class DesktopServices;
class FileIdentityService;
class GraphWindowController;
class IncomingUrls;
class KnownRootsStore;
class LinkOpener;
class LinkStore;
class MenuBarController;
class MorvaneURLHandler;
class ProcessLauncher;
class PreferencesWindowController;
class QuickPanelController;
class Updater;
class UserDefaults;
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

    // Hands the URLs that waited, and every later one, to the URL handler. After start().
    void attachIncomingUrls(IncomingUrls& incoming);

private:
    void buildShell();
    // The morvane: URL path: the opener with what it needs, the handler, the scheme registration.
    void buildUrlHandling();
    bool hideDockIcon() const;
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

    // The morvane: URL path (buildUrlHandling).
    std::shared_ptr<UserDefaults> m_defaults;
    std::shared_ptr<ProcessLauncher> m_launcher;
    std::shared_ptr<DesktopServices> m_desktop;
    std::unique_ptr<KnownRootsStore> m_knownRoots;
    std::unique_ptr<CalendarEventService> m_calendarEvents;
    std::unique_ptr<ContactService> m_contacts;
    std::unique_ptr<LinkOpener> m_linkOpener;
    std::unique_ptr<MorvaneURLHandler> m_urlHandler;
};

} // namespace morvane
