#pragma once

#include "app/AppEnvironment.h"
#include "app/LibraryOpening.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

namespace morvane {

class AlertPresenter;
class GraphWindowController;
class HotkeyService;
class IncomingUrls;
class LinkStore;
class MenuBarController;
class PreferencesStore;
class QuickPanelController;
class ActiveContextMonitor;

// The application delegate: opens the library, then builds the long-lived objects once, in order,
// ties them together and holds them for the life of the process. Termination undoes it in order.
class MorvaneApp : public QObject {
    Q_OBJECT
public:
    using EnvironmentFactory = std::function<AppEnvironment()>;

    // The alerts are shown through the presenter, and each returns once the user dismissed it. The
    // environment is made while the library opens.
    explicit MorvaneApp(std::shared_ptr<AlertPresenter> alerts,
                        EnvironmentFactory environment = &AppEnvironment::desktopSession,
                        QObject* parent = nullptr);
    ~MorvaneApp() override;

    // Opens the library (or takes the opening begun earlier) and builds the object graph meanwhile,
    // the tray icon included; once the library is open, registers the shortcuts and starts watching
    // what the user has in front of them. Returns false, after undoing what was built and telling the
    // user why, when the library cannot open: no shortcut was taken and no sync ran then.
    bool start(std::unique_ptr<LibraryOpening> library = nullptr);
    // Releases the shortcuts, stops the watch and the sync timer, announces that the library is
    // about to close (the local server closes there), drains and closes the library, then lets the
    // rest go. Runs when the event loop ends; safe to repeat.
    void terminate();

    // Hands the URLs that waited, and every later one, to the URL handler. After start().
    void attachIncomingUrls(IncomingUrls& incoming);

    // Registers both shortcuts unless they are equal or a shortcut is being recorded; the ones that
    // could not be registered are reported in the settings' shortcut message.
    void registerHotkeys();
    // An About box with the name, the version and the icon, above the quick panel.
    void showAbout();

    // None before start() and after terminate().
    LinkStore* linkStore() const;
    PreferencesStore* preferencesStore() const;
    HotkeyService* hotkeyService() const;
    QuickPanelController* quickPanelController() const;
    GraphWindowController* graphWindowController() const;
    MenuBarController* menuBarController() const;
    ActiveContextMonitor* activeContextMonitor() const;

signals:
    // start() failed and is about to tell the user why: from now on nothing can act on a link.
    void launchFailed(const QString& reason);
    // During termination, once nothing of ours starts work any more and before the library drains:
    // what hands work in from outside (the local server later launches send their URLs to) closes.
    void libraryClosing();

private:
    class Objects;

    void presentFatalError(const QString& message);

    std::shared_ptr<AlertPresenter> m_alerts;
    EnvironmentFactory m_makeEnvironment;
    std::unique_ptr<Objects> m_objects;
};

} // namespace morvane
