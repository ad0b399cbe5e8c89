#pragma once

#include "capture/CalendarRevealTarget.h"
#include "capture/ContactRevealTarget.h"
#include "services/PreferenceValues.h"

#include <QObject>
#include <QString>

#include <memory>
#include <optional>

namespace morvane {

class LoginItem;
class UserDefaults;

// The plain settings: login launch, task bar presence, copy format, updates, the found-link sound,
// where calendar events and contacts open, and this machine's identifier. Everything is read once
// at construction (writing nothing but a first machine identifier); each setter stores its value
// straight back and announces it. Main thread only.
class AppSettings : public QObject {
    Q_OBJECT
public:
    AppSettings(std::shared_ptr<UserDefaults> defaults, std::shared_ptr<LoginItem> loginItem,
                QObject* parent = nullptr);
    ~AppSettings() override;

    bool launchAtLogin() const { return m_launchAtLogin; }
    void setLaunchAtLogin(bool enabled);
    std::optional<QString> launchAtLoginMessage() const { return m_launchAtLoginMessage; }

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

    QString machineID() const { return m_machineID; }

signals:
    void launchAtLoginChanged();
    void launchAtLoginMessageChanged();
    void hideDockIconChanged();
    void defaultCopyFormatChanged();
    void automaticUpdatesChanged();
    void linkFoundSoundEnabledChanged();
    void linkFoundSoundVolumeChanged();
    void linkFoundSoundCooldownChanged();
    void calendarRevealTargetChanged();
    void contactRevealTargetChanged();

private:
    void setLaunchAtLoginMessage(std::optional<QString> message);

    std::shared_ptr<UserDefaults> m_defaults;
    std::shared_ptr<LoginItem> m_loginItem;
    QString m_machineID;
    bool m_launchAtLogin = false;
    bool m_updatingLaunchAtLogin = false;
    std::optional<QString> m_launchAtLoginMessage;
    bool m_hideDockIcon = true;
    CopyFormat m_defaultCopyFormat = CopyFormat::url;
    bool m_automaticUpdates = true;
    bool m_soundEnabled = true;
    double m_soundVolume = 1.0;
    SoundCooldown m_soundCooldown = SoundCooldown::off;
    CalendarRevealTarget m_calendarRevealTarget = CalendarRevealTarget::automatic;
    ContactRevealTarget m_contactRevealTarget = ContactRevealTarget::automatic;
};

} // namespace morvane
