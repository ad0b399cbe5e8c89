#pragma once

#include "capture/CalendarRevealTarget.h"
#include "capture/ContactRevealTarget.h"
#include "files/FileRepairIssue.h"
#include "files/FileResolutionCandidate.h"
#include "foundation/EnumNames.h"
#include "model/MorvaneLibraryExport.h"
#include "services/GlobalHotkeyBinding.h"
#include "sync/SyncStatus.h"

#include <QCoroTask>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <exception>
#include <functional>
#include <memory>
#include <optional>

namespace morvane {

class CalendarEventService;
class Clock;
class ClockTimer;
class CalendarStore;
class CloudKitSyncService;
class ContactService;
class ContactStore;
class HotkeyService;
class LinkStore;
class LoginItem;
class QuickPanelTipStore;
class UserDefaults;

enum class CopyFormat { url, markdown, morvane, morvaneMarkdown };
enum class SyncMode { disabled, iCloud };
enum class SoundCooldown { off, tenSeconds, thirtySeconds, oneMinute, fiveMinutes };

inline constexpr EnumName<CopyFormat> copyFormatNames[] = {
    {CopyFormat::url, "url"},
    {CopyFormat::markdown, "markdown"},
    {CopyFormat::morvane, "morvane"},
    {CopyFormat::morvaneMarkdown, "morvaneMarkdown"},
};
inline constexpr EnumName<CopyFormat> copyFormatTitles[] = {
    {CopyFormat::url, "URL"},
    {CopyFormat::markdown, "Markdown"},
    {CopyFormat::morvane, "Morvane Link"},
    {CopyFormat::morvaneMarkdown, "Morvane Markdown"},
};
inline constexpr EnumName<SyncMode> syncModeNames[] = {{SyncMode::disabled, "Disabled"},
                                                       {SyncMode::iCloud, "iCloud"}};
inline constexpr EnumName<SoundCooldown> soundCooldownNames[] = {
    {SoundCooldown::off, "Off"},
    {SoundCooldown::tenSeconds, "10 seconds"},
    {SoundCooldown::thirtySeconds, "30 seconds"},
    {SoundCooldown::oneMinute, "1 minute"},
    {SoundCooldown::fiveMinutes, "5 minutes"},
};

int cooldownSeconds(SoundCooldown cooldown);

// The one settings model the tray, the quick panel, the graph and the Preferences window share. It
// loads every setting once at construction (writing nothing but a first machine identifier), and
// each setter stores its value straight back and announces it. Main thread only.
class PreferencesStore : public QObject {
    Q_OBJECT
public:
    struct Keys {
        static inline const QString launchAtLogin = QStringLiteral("preferences.launchAtLogin");
        static inline const QString quickPanelHotkey = QStringLiteral("preferences.quickPanelHotkey");
        static inline const QString graphHotkey = QStringLiteral("preferences.graphHotkey");
        static inline const QString hideDockIcon = QStringLiteral("preferences.hideDockIcon");
        static inline const QString defaultCopyFormat = QStringLiteral("preferences.defaultCopyFormat");
        static inline const QString automaticUpdates = QStringLiteral("preferences.automaticUpdates");
        static inline const QString soundEnabled = QStringLiteral("preferences.linkFoundSoundEnabled");
        static inline const QString soundVolume = QStringLiteral("preferences.linkFoundSoundVolume");
        static inline const QString soundCooldown = QStringLiteral("preferences.linkFoundSoundCooldown");
        static inline const QString syncMode = QStringLiteral("preferences.syncMode");
        static inline const QString machineID = QStringLiteral("machine.identity.id");
    };
    static constexpr GlobalHotkeyBinding defaultQuickPanelHotkey{37, 0x1100};
    static constexpr GlobalHotkeyBinding defaultGraphHotkey{5, 0x1100};

    // What the store works with; the link store may be absent.
    struct Services {
        std::shared_ptr<UserDefaults> defaults;
        std::shared_ptr<CalendarEventService> calendarEventService;
        std::shared_ptr<ContactService> contactService;
        std::shared_ptr<CalendarStore> calendarStore; // for the current access status
        std::shared_ptr<ContactStore> contactStore;
        LinkStore* linkStore = nullptr;
        std::shared_ptr<QuickPanelTipStore> quickPanelTipStore;
        std::shared_ptr<CloudKitSyncService> syncService;
        std::shared_ptr<LoginItem> loginItem;
        std::shared_ptr<Clock> clock; // the system clock when none is given
    };

    explicit PreferencesStore(Services services, QObject* parent = nullptr);
    ~PreferencesStore() override;

    bool launchAtLogin() const { return m_launchAtLogin; }
    void setLaunchAtLogin(bool enabled);
    std::optional<QString> launchAtLoginMessage() const { return m_launchAtLoginMessage; }

    GlobalHotkeyBinding quickPanelHotkey() const { return m_quickPanelHotkey; }
    GlobalHotkeyBinding graphHotkey() const { return m_graphHotkey; }
    void setQuickPanelHotkey(const GlobalHotkeyBinding& binding);
    void setGraphHotkey(const GlobalHotkeyBinding& binding);
    std::optional<QString> hotkeyConflictMessage() const { return m_hotkeyConflictMessage; }
    // Validates a recorded shortcut for the graph (forGraph) or the quick panel, then stores it, or
    // swaps the two when it is the other one's; false when refused (the reason is in the message).
    bool setHotkey(const GlobalHotkeyBinding& candidate, bool forGraph);
    // Counted: nested recorders suspend the shortcuts once and resume them once.
    void setHotkeyRecordingSuspended(bool suspended);
    int hotkeyRecordingSuspendCount() const { return m_suspendCount; }
    void refreshHotkeyConflictMessage();
    // The application's report of the shortcuts it could not register (none: all registered). It
    // replaces an earlier report, never a refused recording or the equal-shortcuts message: those
    // stay until the next conflict check.
    void setHotkeyRegistrationFailure(std::optional<QString> message);
    void setHotkeyService(HotkeyService* service);
    std::function<void()> onHotkeysDidChange;
    std::function<void(bool)> onHotkeyRecordingSuspendedChange;

    // The application applies the tray presence when this changes.
    bool hideDockIcon() const { return m_hideDockIcon; }
    void setHideDockIcon(bool hidden);
    CopyFormat defaultCopyFormat() const { return m_defaultCopyFormat; }
    void setDefaultCopyFormat(CopyFormat format);
    bool automaticUpdates() const { return m_automaticUpdates; }
    void setAutomaticUpdates(bool enabled);
    bool linkFoundSoundEnabled() const { return m_soundEnabled; }
    void setLinkFoundSoundEnabled(bool enabled);
    // Published as set; stored clamped to 0...1.
    double linkFoundSoundVolume() const { return m_soundVolume; }
    void setLinkFoundSoundVolume(double volume);
    SoundCooldown linkFoundSoundCooldown() const { return m_soundCooldown; }
    void setLinkFoundSoundCooldown(SoundCooldown cooldown);
    CalendarRevealTarget calendarRevealTarget() const { return m_calendarRevealTarget; }
    void setCalendarRevealTarget(CalendarRevealTarget target);
    ContactRevealTarget contactRevealTarget() const { return m_contactRevealTarget; }
    void setContactRevealTarget(ContactRevealTarget target);

    SyncMode syncMode() const { return m_syncMode; }
    void setSyncMode(SyncMode mode);
    SyncStatus syncStatus() const { return m_syncStatus; }
    std::optional<QString> syncErrorMessage() const { return m_syncErrorMessage; }

    // Starts one pass unless one runs, an erase or a replacing import is under way, or sync is off.
    void syncNow();
    // Reads the account status; a ready account starts a pass.
    QCoro::Task<void> refreshSyncStatus();
    // The text shown for a failed pass.
    static QString syncErrorText(const std::exception& error);
    // Erases the remote records (when syncing), then the local library, and verifies it is empty.
    // A pass in flight is waited for first, and no new pass starts until the erase is done.
    void eraseAllData();
    // Installs the 45-second timer and the activation watch in iCloud mode, removes them otherwise.
    void configureAutomaticSync();
    // Removes the timer and the activation watch for good, whatever the mode; for shutting down.
    void stopAutomaticSync();
    // The presence layer calls this when the application comes to the front.
    void applicationBecameActive();
    bool isErasingDatabase() const { return m_holdSyncCount > 0; }
    std::optional<QString> databaseActionMessage() const { return m_databaseActionMessage; }
    bool databaseActionInProgress() const { return m_databaseActionInProgress; }
    std::optional<QString> databaseActionProgressMessage() const { return m_databaseActionProgressMessage; }

    // Writes the whole library as a backup document to the file, atomically; returns at once.
    void exportLibrary(const QString& filePath);
    QCoro::Task<std::optional<MorvaneLibraryImportPreview>> previewImport(QString filePath);
    // Merges the backup into the library, or replaces the library with it; returns at once. A
    // replacement waits for a pass in flight and holds new passes back until it is done.
    void importLibrary(const QString& filePath, bool replace);
    QCoro::Task<QList<FileRepairIssue>> scanFileRepairs(QStringList knownRoots);
    QCoro::Task<bool> confirmFileRepair(LinkItem item, FileResolutionCandidate candidate);
    std::optional<QString> repairQueueMessage() const { return m_repairQueueMessage; }
    bool repairQueueInProgress() const { return m_repairQueueInProgress; }
    QCoro::Task<void> requestCalendarAccess();
    QCoro::Task<void> requestContactAccess();

    QString calendarAccessStatus() const { return m_calendarAccessStatus; }
    QString contactAccessStatus() const { return m_contactAccessStatus; }
    void refreshCalendarAccessStatus();
    void refreshContactAccessStatus();

    QString machineID() const { return m_machineID; }
    QuickPanelTipStore& quickPanelTipStore() const { return *m_services.quickPanelTipStore; }
    LinkStore* linkStore() const { return m_services.linkStore; }

signals:
    void launchAtLoginChanged();
    void launchAtLoginMessageChanged();
    void hotkeysChanged();
    void hotkeyConflictMessageChanged();
    void hideDockIconChanged();
    void defaultCopyFormatChanged();
    void automaticUpdatesChanged();
    void linkFoundSoundEnabledChanged();
    void linkFoundSoundVolumeChanged();
    void linkFoundSoundCooldownChanged();
    void calendarRevealTargetChanged();
    void contactRevealTargetChanged();
    void syncModeChanged();
    void syncStatusChanged();
    void syncErrorMessageChanged();
    void calendarAccessStatusChanged();
    void databaseActionChanged();
    void repairQueueChanged();
    void contactAccessStatusChanged();

private:
    GlobalHotkeyBinding loadHotkey(const QString& key, GlobalHotkeyBinding fallback) const;
    void hotkeysStored(const QList<QString>& keys);
    void setConflictMessage(std::optional<QString> message);
    void setLaunchAtLoginMessage(std::optional<QString> message);
    void setSyncStatus(SyncStatus status);
    void setSyncErrorMessage(std::optional<QString> message);
    void automaticSync();
    void setDatabaseActionMessage(std::optional<QString> message);
    void setDatabaseActionProgress(std::optional<QString> message);
    void finishDatabaseAction();
    QCoro::Task<void> runSyncPass();
    QCoro::Task<void> runErase();
    QCoro::Task<void> runExport(QString filePath);
    QCoro::Task<void> runImport(QString filePath, bool replace);
    void setRepairQueue(std::optional<QString> message, bool inProgress);
    // Resolves once no pass is in flight.
    QCoro::Task<void> waitForPassInFlight();
    // The status that follows from the sync mode alone.
    void updateStatusForSyncMode();

    Services m_services;
    QString m_machineID;
    bool m_launchAtLogin = false;
    bool m_updatingLaunchAtLogin = false;
    std::optional<QString> m_launchAtLoginMessage;
    GlobalHotkeyBinding m_quickPanelHotkey;
    GlobalHotkeyBinding m_graphHotkey;
    std::optional<QString> m_hotkeyConflictMessage;
    bool m_conflictMessageIsRegistrationFailure = false;
    QPointer<HotkeyService> m_hotkeyService;
    int m_suspendCount = 0;
    bool m_hideDockIcon = true;
    CopyFormat m_defaultCopyFormat = CopyFormat::url;
    bool m_automaticUpdates = true;
    bool m_soundEnabled = true;
    double m_soundVolume = 1.0;
    SoundCooldown m_soundCooldown = SoundCooldown::off;
    CalendarRevealTarget m_calendarRevealTarget = CalendarRevealTarget::automatic;
    ContactRevealTarget m_contactRevealTarget = ContactRevealTarget::automatic;
    SyncMode m_syncMode = SyncMode::disabled;
    SyncStatus m_syncStatus = SyncStatus::disabled;
    std::optional<QString> m_syncErrorMessage;
    std::optional<QString> m_databaseActionMessage;
    bool m_databaseActionInProgress = false;
    std::optional<QString> m_databaseActionProgressMessage;
    std::unique_ptr<ClockTimer> m_automaticSyncTimer;
    bool m_syncOnActivation = false;
    // Erases and replacing imports hold every new pass back while they run.
    int m_holdSyncCount = 0;
    // The displayed status can be reset by switching sync off and on; this cannot.
    bool m_passInFlight = false;
    QList<std::function<void()>> m_passWaiters;
    // Cleared when the store goes, so a pass finishing later leaves it alone.
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
    std::optional<QString> m_repairQueueMessage;
    bool m_repairQueueInProgress = false;
    QString m_calendarAccessStatus;
    QString m_contactAccessStatus;
};

} // namespace morvane
