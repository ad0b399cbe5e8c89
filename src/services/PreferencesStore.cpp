#include "services/PreferencesStore.h"

#include "foundation/Clock.h"
#include "foundation/UserDefaults.h"
#include "model/LibraryReset.h"
#include "platform/CalendarStore.h"
#include "platform/ContactStore.h"
#include "platform/LoginItem.h"
#include "services/HotkeyService.h"
#include "services/LaunchAtLogin.h"
#include "services/MachineIdentity.h"
#include "services/QuickPanelTipStore.h"
#include "sync/CloudKitSyncService.h"

#include <cmath>

namespace morvane {

namespace {

const QString modifierMessage = QStringLiteral("Include at least one modifier (Ctrl, Alt, Shift, or Super).");

QString calendarAccessText(CalendarAuthorizationStatus status)
{
    switch (status) {
    case CalendarAuthorizationStatus::notDetermined:
        return QStringLiteral("Not requested");
    case CalendarAuthorizationStatus::restricted:
        return QStringLiteral("Restricted");
    case CalendarAuthorizationStatus::denied:
        return QStringLiteral("Denied");
    case CalendarAuthorizationStatus::fullAccess:
        return QStringLiteral("Full access");
    case CalendarAuthorizationStatus::writeOnly:
        return QStringLiteral("Write-only");
    }
    return QStringLiteral("Unknown");
}

QString contactAccessText(ContactAuthorizationStatus status)
{
    switch (status) {
    case ContactAuthorizationStatus::notDetermined:
        return QStringLiteral("Not requested");
    case ContactAuthorizationStatus::restricted:
        return QStringLiteral("Restricted");
    case ContactAuthorizationStatus::denied:
        return QStringLiteral("Denied");
    case ContactAuthorizationStatus::authorized:
        return QStringLiteral("Authorized");
    case ContactAuthorizationStatus::limited:
        break;
    }
    return QStringLiteral("Unknown");
}

std::optional<QString> loginItemMessage(LoginItemStatus status)
{
    switch (status) {
    case LoginItemStatus::notRegistered:
    case LoginItemStatus::enabled:
        return std::nullopt;
    case LoginItemStatus::requiresApproval:
        return QStringLiteral("Launch at login needs approval in the desktop's startup settings.");
    case LoginItemStatus::notFound:
        return QStringLiteral("Launch at login is unavailable for this build location.");
    }
    return QStringLiteral("Launch at login has an unknown status.");
}

CopyFormat copyFormatFromStored(const std::optional<QString>& stored)
{
    if (!stored)
        return CopyFormat::url;
    if (std::optional<CopyFormat> format = enumValue(copyFormatNames, *stored))
        return *format;
    // Earlier versions stored the titles of the first two formats.
    if (*stored == QLatin1String("Markdown"))
        return CopyFormat::markdown;
    return CopyFormat::url;
}

double clampedVolume(double volume)
{
    if (std::isnan(volume) || volume <= 0.0)
        return 0.0;
    return std::min(volume, 1.0);
}

} // namespace

int cooldownSeconds(SoundCooldown cooldown)
{
    switch (cooldown) {
    case SoundCooldown::off:
        return 0;
    case SoundCooldown::tenSeconds:
        return 10;
    case SoundCooldown::thirtySeconds:
        return 30;
    case SoundCooldown::oneMinute:
        return 60;
    case SoundCooldown::fiveMinutes:
        return 300;
    }
    return 0;
}

PreferencesStore::PreferencesStore(Services services, QObject* parent)
    : QObject(parent)
    , m_services(std::move(services))
{
    UserDefaults& defaults = *m_services.defaults;
    m_machineID = machineIdentifier(defaults, Keys::machineID);
    m_launchAtLogin = m_services.loginItem->status() == LoginItemStatus::enabled;
    m_quickPanelHotkey = loadHotkey(Keys::quickPanelHotkey, defaultQuickPanelHotkey);
    m_graphHotkey = loadHotkey(Keys::graphHotkey, defaultGraphHotkey);
    m_hideDockIcon = defaults.boolValue(Keys::hideDockIcon).value_or(true);
    m_automaticUpdates = defaults.boolValue(Keys::automaticUpdates).value_or(true);
    m_soundEnabled = defaults.boolValue(Keys::soundEnabled).value_or(true);
    m_defaultCopyFormat = copyFormatFromStored(defaults.stringValue(Keys::defaultCopyFormat));
    m_soundVolume = clampedVolume(defaults.doubleValue(Keys::soundVolume).value_or(1.0));
    m_soundCooldown =
        enumValue(soundCooldownNames, defaults.stringValue(Keys::soundCooldown).value_or(QString()))
            .value_or(SoundCooldown::off);
    m_syncMode = defaults.stringValue(Keys::syncMode) == QStringLiteral("iCloud") ? SyncMode::iCloud
                                                                                  : SyncMode::disabled;
    m_calendarAccessStatus = calendarAccessText(m_services.calendarStore->authorizationStatus());
    m_contactAccessStatus = contactAccessText(m_services.contactStore->authorizationStatus());
    m_calendarRevealTarget = storedCalendarRevealTarget(defaults);
    m_contactRevealTarget = storedContactRevealTarget(defaults);
    m_launchAtLoginMessage = loginItemMessage(m_services.loginItem->status());
    if (!m_services.clock)
        m_services.clock = SystemClock::shared();
    updateStatusForSyncMode();
    configureAutomaticSync();
    refreshHotkeyConflictMessage();
}

PreferencesStore::~PreferencesStore()
{
    *m_alive = false;
}

GlobalHotkeyBinding PreferencesStore::loadHotkey(const QString& key, GlobalHotkeyBinding fallback) const
{
    // A binding that could never register (no modifier, or a modifier key as its key) loads as the
    // default; the stored bytes stay until the user records another.
    std::optional<QByteArray> data = m_services.defaults->dataValue(key);
    std::optional<GlobalHotkeyBinding> stored = data ? GlobalHotkeyBinding::fromJson(*data) : std::nullopt;
    return stored && stored->isValid() ? *stored : fallback;
}

void PreferencesStore::setLaunchAtLogin(bool enabled)
{
    if (m_updatingLaunchAtLogin)
        return;
    m_updatingLaunchAtLogin = true;
    if (m_launchAtLogin != enabled) {
        m_launchAtLogin = enabled;
        emit launchAtLoginChanged();
    }
    std::optional<QString> failure;
    try {
        setLaunchAtLoginEnabled(*m_services.loginItem, enabled);
    } catch (const Error& error) {
        failure = QStringLiteral("Could not update launch at login: ") + error.localizedDescription();
    }
    const bool registered = m_services.loginItem->status() == LoginItemStatus::enabled;
    m_services.defaults->setBool(Keys::launchAtLogin, registered);
    if (m_launchAtLogin != registered) {
        m_launchAtLogin = registered;
        emit launchAtLoginChanged();
    }
    setLaunchAtLoginMessage(failure ? failure : loginItemMessage(m_services.loginItem->status()));
    m_updatingLaunchAtLogin = false;
}

void PreferencesStore::setLaunchAtLoginMessage(std::optional<QString> message)
{
    if (m_launchAtLoginMessage == message)
        return;
    m_launchAtLoginMessage = std::move(message);
    emit launchAtLoginMessageChanged();
}

void PreferencesStore::setQuickPanelHotkey(const GlobalHotkeyBinding& binding)
{
    if (binding == m_quickPanelHotkey)
        return;
    m_quickPanelHotkey = binding;
    hotkeysStored({Keys::quickPanelHotkey});
}

void PreferencesStore::setGraphHotkey(const GlobalHotkeyBinding& binding)
{
    if (binding == m_graphHotkey)
        return;
    m_graphHotkey = binding;
    hotkeysStored({Keys::graphHotkey});
}

void PreferencesStore::hotkeysStored(const QList<QString>& keys)
{
    for (const QString& key : keys)
        m_services.defaults->setData(key, key == Keys::graphHotkey ? m_graphHotkey.toJson()
                                                                   : m_quickPanelHotkey.toJson());
    emit hotkeysChanged();
    refreshHotkeyConflictMessage();
    if (onHotkeysDidChange)
        onHotkeysDidChange();
}

bool PreferencesStore::setHotkey(const GlobalHotkeyBinding& candidate, bool forGraph)
{
    GlobalHotkeyBinding& target = forGraph ? m_graphHotkey : m_quickPanelHotkey;
    GlobalHotkeyBinding& other = forGraph ? m_quickPanelHotkey : m_graphHotkey;
    // Without the service nothing can be probed, so a shortcut no target holds counts as free.
    const HotkeyValidation validation =
        m_hotkeyService
            ? m_hotkeyService->validate(candidate, forGraph, m_quickPanelHotkey, m_graphHotkey)
            : HotkeyService::validateAgainstTargets(candidate, forGraph, m_quickPanelHotkey, m_graphHotkey)
                  .value_or(HotkeyValidation::available);

    switch (validation) {
    case HotkeyValidation::invalid:
        setConflictMessage(modifierMessage);
        return false;
    case HotkeyValidation::inUse:
        setConflictMessage(QStringLiteral("“") + candidate.shortcutText() +
                           QStringLiteral("” is already used by another application."));
        return false;
    case HotkeyValidation::available:
        target = candidate;
        hotkeysStored({forGraph ? Keys::graphHotkey : Keys::quickPanelHotkey});
        return true;
    case HotkeyValidation::sameAsOtherTarget:
        other = target;
        target = candidate;
        hotkeysStored({Keys::quickPanelHotkey, Keys::graphHotkey});
        return true;
    }
    return false;
}

void PreferencesStore::setHotkeyService(HotkeyService* service)
{
    m_hotkeyService = service;
}

void PreferencesStore::setHotkeyRecordingSuspended(bool suspended)
{
    if (suspended) {
        if (++m_suspendCount == 1 && onHotkeyRecordingSuspendedChange)
            onHotkeyRecordingSuspendedChange(true);
        return;
    }
    const int remaining = m_suspendCount - 1;
    m_suspendCount = std::max(remaining, 0);
    if (remaining < 1 && onHotkeyRecordingSuspendedChange)
        onHotkeyRecordingSuspendedChange(false);
}

void PreferencesStore::refreshHotkeyConflictMessage()
{
    setConflictMessage(
        m_quickPanelHotkey == m_graphHotkey
            ? std::optional<QString>(QStringLiteral("Morvane and graph cannot use the same shortcut."))
            : std::nullopt);
}

void PreferencesStore::setHotkeyRegistrationFailure(std::optional<QString> message)
{
    if (m_hotkeyConflictMessage && !m_conflictMessageIsRegistrationFailure)
        return;
    setConflictMessage(std::move(message));
    m_conflictMessageIsRegistrationFailure = m_hotkeyConflictMessage.has_value();
}

void PreferencesStore::setConflictMessage(std::optional<QString> message)
{
    m_conflictMessageIsRegistrationFailure = false;
    if (m_hotkeyConflictMessage == message)
        return;
    m_hotkeyConflictMessage = std::move(message);
    emit hotkeyConflictMessageChanged();
}

void PreferencesStore::setHideDockIcon(bool hidden)
{
    m_hideDockIcon = hidden;
    m_services.defaults->setBool(Keys::hideDockIcon, hidden);
    emit hideDockIconChanged();
}

void PreferencesStore::setDefaultCopyFormat(CopyFormat format)
{
    m_defaultCopyFormat = format;
    m_services.defaults->setString(Keys::defaultCopyFormat, enumNameText(copyFormatNames, format));
    emit defaultCopyFormatChanged();
}

void PreferencesStore::setAutomaticUpdates(bool enabled)
{
    m_automaticUpdates = enabled;
    m_services.defaults->setBool(Keys::automaticUpdates, enabled);
    emit automaticUpdatesChanged();
}

void PreferencesStore::setLinkFoundSoundEnabled(bool enabled)
{
    m_soundEnabled = enabled;
    m_services.defaults->setBool(Keys::soundEnabled, enabled);
    emit linkFoundSoundEnabledChanged();
}

void PreferencesStore::setLinkFoundSoundVolume(double volume)
{
    m_soundVolume = volume;
    m_services.defaults->setDouble(Keys::soundVolume, clampedVolume(volume));
    emit linkFoundSoundVolumeChanged();
}

void PreferencesStore::setLinkFoundSoundCooldown(SoundCooldown cooldown)
{
    m_soundCooldown = cooldown;
    m_services.defaults->setString(Keys::soundCooldown, enumNameText(soundCooldownNames, cooldown));
    emit linkFoundSoundCooldownChanged();
}

void PreferencesStore::setCalendarRevealTarget(CalendarRevealTarget target)
{
    m_calendarRevealTarget = target;
    m_services.defaults->setString(calendarRevealTargetKey, rawValue(target));
    emit calendarRevealTargetChanged();
}

void PreferencesStore::setContactRevealTarget(ContactRevealTarget target)
{
    m_contactRevealTarget = target;
    m_services.defaults->setString(contactRevealTargetKey, rawValue(target));
    emit contactRevealTargetChanged();
}

void PreferencesStore::setSyncMode(SyncMode mode)
{
    if (mode == SyncMode::iCloud && m_syncMode != SyncMode::iCloud)
        LibraryReset::syncTurnedOn(*m_services.defaults);
    m_syncMode = mode;
    m_services.defaults->setString(Keys::syncMode, enumNameText(syncModeNames, mode));
    emit syncModeChanged();
    updateStatusForSyncMode();
    configureAutomaticSync();
}

void PreferencesStore::updateStatusForSyncMode()
{
    setSyncErrorMessage(std::nullopt);
    if (m_syncMode == SyncMode::disabled) {
        setSyncStatus(SyncStatus::disabled);
        return;
    }
    setSyncStatus(SyncStatus::ready);
    refreshSyncStatus();
}

void PreferencesStore::setSyncStatus(SyncStatus status)
{
    if (m_syncStatus == status)
        return;
    m_syncStatus = status;
    emit syncStatusChanged();
}

void PreferencesStore::setSyncErrorMessage(std::optional<QString> message)
{
    if (m_syncErrorMessage == message)
        return;
    m_syncErrorMessage = std::move(message);
    emit syncErrorMessageChanged();
}

void PreferencesStore::refreshCalendarAccessStatus()
{
    m_calendarAccessStatus = calendarAccessText(m_services.calendarStore->authorizationStatus());
    emit calendarAccessStatusChanged();
}

void PreferencesStore::refreshContactAccessStatus()
{
    m_contactAccessStatus = contactAccessText(m_services.contactStore->authorizationStatus());
    emit contactAccessStatusChanged();
}

} // namespace morvane
