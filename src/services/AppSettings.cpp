#include "services/AppSettings.h"

#include "foundation/Error.h"
#include "foundation/UserDefaults.h"
#include "platform/LoginItem.h"
#include "services/LaunchAtLogin.h"
#include "services/MachineIdentity.h"

#include <cmath>

namespace morvane {

namespace {

using Keys = PreferenceKeys;

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

AppSettings::AppSettings(std::shared_ptr<UserDefaults> defaults, std::shared_ptr<LoginItem> loginItem,
                         QObject* parent)
    : QObject(parent)
    , m_defaults(std::move(defaults))
    , m_loginItem(std::move(loginItem))
{
    UserDefaults& stored = *m_defaults;
    m_machineID = machineIdentifier(stored, Keys::machineID);
    m_launchAtLogin = m_loginItem->status() == LoginItemStatus::enabled;
    m_hideDockIcon = stored.boolValue(Keys::hideDockIcon).value_or(true);
    m_automaticUpdates = stored.boolValue(Keys::automaticUpdates).value_or(true);
    m_soundEnabled = stored.boolValue(Keys::soundEnabled).value_or(true);
    m_defaultCopyFormat = copyFormatFromStored(stored.stringValue(Keys::defaultCopyFormat));
    m_soundVolume = clampedVolume(stored.doubleValue(Keys::soundVolume).value_or(1.0));
    m_soundCooldown =
        enumValue(soundCooldownNames, stored.stringValue(Keys::soundCooldown).value_or(QString()))
            .value_or(SoundCooldown::off);
    m_calendarRevealTarget = storedCalendarRevealTarget(stored);
    m_contactRevealTarget = storedContactRevealTarget(stored);
    m_launchAtLoginMessage = loginItemMessage(m_loginItem->status());
}

AppSettings::~AppSettings() = default;

void AppSettings::setLaunchAtLogin(bool enabled)
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
        setLaunchAtLoginEnabled(*m_loginItem, enabled);
    } catch (const Error& error) {
        failure = QStringLiteral("Could not update launch at login: ") + error.localizedDescription();
    }
    const bool registered = m_loginItem->status() == LoginItemStatus::enabled;
    m_defaults->setBool(Keys::launchAtLogin, registered);
    if (m_launchAtLogin != registered) {
        m_launchAtLogin = registered;
        emit launchAtLoginChanged();
    }
    setLaunchAtLoginMessage(failure ? failure : loginItemMessage(m_loginItem->status()));
    m_updatingLaunchAtLogin = false;
}

void AppSettings::setLaunchAtLoginMessage(std::optional<QString> message)
{
    if (m_launchAtLoginMessage == message)
        return;
    m_launchAtLoginMessage = std::move(message);
    emit launchAtLoginMessageChanged();
}

void AppSettings::setHideDockIcon(bool hidden)
{
    m_hideDockIcon = hidden;
    m_defaults->setBool(Keys::hideDockIcon, hidden);
    emit hideDockIconChanged();
}

void AppSettings::setDefaultCopyFormat(CopyFormat format)
{
    m_defaultCopyFormat = format;
    m_defaults->setString(Keys::defaultCopyFormat, enumNameText(copyFormatNames, format));
    emit defaultCopyFormatChanged();
}

void AppSettings::setAutomaticUpdates(bool enabled)
{
    m_automaticUpdates = enabled;
    m_defaults->setBool(Keys::automaticUpdates, enabled);
    emit automaticUpdatesChanged();
}

void AppSettings::setLinkFoundSoundEnabled(bool enabled)
{
    m_soundEnabled = enabled;
    m_defaults->setBool(Keys::soundEnabled, enabled);
    emit linkFoundSoundEnabledChanged();
}

void AppSettings::setLinkFoundSoundVolume(double volume)
{
    m_soundVolume = volume;
    m_defaults->setDouble(Keys::soundVolume, clampedVolume(volume));
    emit linkFoundSoundVolumeChanged();
}

void AppSettings::setLinkFoundSoundCooldown(SoundCooldown cooldown)
{
    m_soundCooldown = cooldown;
    m_defaults->setString(Keys::soundCooldown, enumNameText(soundCooldownNames, cooldown));
    emit linkFoundSoundCooldownChanged();
}

void AppSettings::setCalendarRevealTarget(CalendarRevealTarget target)
{
    m_calendarRevealTarget = target;
    m_defaults->setString(calendarRevealTargetKey, rawValue(target));
    emit calendarRevealTargetChanged();
}

void AppSettings::setContactRevealTarget(ContactRevealTarget target)
{
    m_contactRevealTarget = target;
    m_defaults->setString(contactRevealTargetKey, rawValue(target));
    emit contactRevealTargetChanged();
}

} // namespace morvane
