#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QMenu;
class QSystemTrayIcon;

namespace morvane {

class AppearanceService;
class FileIdentityService;
class LinkStore;

// The application delegate: builds the long-lived objects once, in order, and holds them for the
// life of the process.
class MorvaneApp : public QObject {
    Q_OBJECT
public:
    // Shows a start-up failure to the user and returns when it is dismissed.
    using FatalErrorPresenter = std::function<void(const QString& message)>;

    explicit MorvaneApp(FatalErrorPresenter presentFatalError, QObject* parent = nullptr);
    ~MorvaneApp() override;

    // Opens the library, builds the object graph and shows the tray icon. Returns false, after
    // telling the user why, when the application cannot run.
    bool start();

    LinkStore* linkStore() const { return m_linkStore.get(); }

private:
    void installTrayIcon();

    FatalErrorPresenter m_presentFatalError;
    std::shared_ptr<FileIdentityService> m_fileIdentityService;
    std::unique_ptr<LinkStore> m_linkStore;
    std::unique_ptr<QMenu> m_trayMenu;
    AppearanceService* m_appearance = nullptr;
    QSystemTrayIcon* m_trayIcon = nullptr;
};

} // namespace morvane
