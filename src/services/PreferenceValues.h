#pragma once

#include "foundation/EnumNames.h"

#include <QString>

namespace morvane {

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

// Where each setting is kept in the user defaults.
struct PreferenceKeys {
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

} // namespace morvane
