#pragma once

#include <QObject>

#include <memory>

class QMenu;
class QSystemTrayIcon;

namespace morvane {

// The application delegate: builds the long-lived objects once, in order, and holds them for the
// life of the process.
class MorvaneApp : public QObject {
    Q_OBJECT
public:
    explicit MorvaneApp(QObject* parent = nullptr);
    ~MorvaneApp() override;

    // Builds the object graph and shows the tray icon. Returns false (after telling the user why)
    // when the application cannot run.
    bool start();

private:
    void installTrayIcon();

    std::unique_ptr<QMenu> m_trayMenu;
    QSystemTrayIcon* m_trayIcon = nullptr;
};

} // namespace morvane
