#pragma once

#include <QObject>
#include <QTimer>

namespace morvane {

// Whether the desktop has a tray to show our icon in: an X11 system tray (XEmbed), or a
// StatusNotifierItem host registered with the session bus's watcher (the Wayland desktops' panels,
// waybar, KDE). Qt decides once per process, when its first tray icon is made, which of the two it
// talks to, so an icon made while no host of the second kind exists never reaches one that starts
// later: the icon is made only once a host is present, and made again when another host takes over.
class TrayHost : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    virtual bool isPresent() const = 0;

signals:
    // A host appeared where there was none, or another took the place of the one there: an icon
    // shown before is in neither.
    void arrived();
};

// The desktop's: the "_NET_SYSTEM_TRAY_S<n>" selection of the X screen, polled each second (a tray
// that restarts takes it again), and the "org.kde.StatusNotifierWatcher" name on the session bus
// with a host registered, followed through the bus's notices and asked without waiting.
class DesktopTrayHost final : public TrayHost {
    Q_OBJECT
public:
    explicit DesktopTrayHost(QObject* parent = nullptr);

    bool isPresent() const override { return m_xembedOwner != 0 || m_statusNotifierHost; }

private slots:
    void askStatusNotifierWatcher();

private:
    void pollXembed();
    void setStatusNotifierHost(bool registered);

    QTimer m_poll;
    quint32 m_traySelection = 0; // its atom, asked for once
    quint32 m_xembedOwner = 0;
    bool m_statusNotifierHost = false;
};

} // namespace morvane
