#pragma once

#include <QObject>
#include <QString>

#include <memory>

class QMenu;
class QSystemTrayIcon;

namespace morvane {

class AlertPresenter;
class AppearanceService;
class FileIdentityService;
class LinkStore;

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
    void installTrayIcon();
    void presentFatalError(const QString& message);

    std::shared_ptr<AlertPresenter> m_alerts;
    std::shared_ptr<FileIdentityService> m_fileIdentityService;
    std::unique_ptr<LinkStore> m_linkStore;
    std::unique_ptr<QMenu> m_trayMenu;
    AppearanceService* m_appearance = nullptr;
    QSystemTrayIcon* m_trayIcon = nullptr;
};

} // namespace morvane
