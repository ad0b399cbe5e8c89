#pragma once

#include <QObject>

namespace morvane {

class AppPresence;
class AppSettings;
class SyncScheduler;

// Keeps the application's presence in the task bar as the "hide Dock icon" setting asks: a change of
// the setting is applied at once, and each time the application comes to the front the hidden state
// is put back on the next turn of the event loop (showing a window may have brought the application
// into the task bar). The sync scheduler also hears of each activation, for its sync on activation.
class DockIconMaintenance : public QObject {
    Q_OBJECT
public:
    // All three outlive this object.
    DockIconMaintenance(const AppSettings& settings, SyncScheduler& sync, AppPresence& presence,
                        QObject* parent = nullptr);
    ~DockIconMaintenance() override;

private:
    void applicationBecameActive();

    const AppSettings& m_settings;
    SyncScheduler& m_sync;
    AppPresence& m_presence;
};

} // namespace morvane
