#include "services/PreferencesStore.h"

#include "FakeHotkeyBackend.h"

#include "PreferencesDoubles.h"
#include "TestEnvironment.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

namespace morvane {
namespace {

using Keys = PreferencesStore::Keys;
using test::controlCommand;

class PreferencesStoreTest : public ::testing::Test, protected test::PreferencesDoubles {
protected:
    PreferencesStoreTest() { defaults = std::make_shared<UserDefaults>(test::testHome() + "/defaults.json"); }

    std::unique_ptr<PreferencesStore> makeStore() { return makePreferences(); }
    QStringList storedKeys() const
    {
        QFile file(defaults->filePath());
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QJsonDocument::fromJson(file.readAll()).object().keys();
    }
};

// The default shortcuts, task bar and sync settings are checked where the application starts.
TEST_F(PreferencesStoreTest, AFirstStartReadsItsDefaultsAndWritesOnlyTheMachineIdentifier)
{
    calendars->status = CalendarAuthorizationStatus::notDetermined;
    contacts->status = ContactAuthorizationStatus::limited;
    auto store = makeStore();

    EXPECT_EQ(store->settings().linkFoundSoundCooldown(), SoundCooldown::off);
    EXPECT_EQ(store->access().calendarAccessStatus(), "Not requested");
    EXPECT_EQ(store->access().contactAccessStatus(), "Unknown");
    EXPECT_FALSE(store->hotkeys().hotkeyConflictMessage());
    EXPECT_EQ(storedKeys(), QStringList{Keys::machineID});
    EXPECT_EQ(makeStore()->settings().machineID(), store->settings().machineID());
}

TEST_F(PreferencesStoreTest, WrongTypesAndUnknownSpellingsFallBackToTheirDefaults)
{
    defaults->setString(Keys::hideDockIcon, "false");
    defaults->setString(Keys::quickPanelHotkey, R"({"keyCode":0,"carbonModifiers":256})");
    // A modifier key as the key could never be registered: the default is used, the bytes stay.
    const QByteArray modifierAsKey = GlobalHotkeyBinding{55, controlCommand}.toJson();
    defaults->setData(Keys::graphHotkey, modifierAsKey);
    auto store = makeStore();
    EXPECT_TRUE(store->settings().hideDockIcon());
    EXPECT_TRUE(store->settings().automaticUpdates());
    EXPECT_EQ(store->settings().linkFoundSoundVolume(), 1.0);
    EXPECT_EQ(store->hotkeys().quickPanelHotkey(), HotkeySettings::defaultQuickPanelHotkey);
    EXPECT_EQ(store->hotkeys().graphHotkey(), HotkeySettings::defaultGraphHotkey);
    EXPECT_EQ(defaults->dataValue(Keys::graphHotkey), modifierAsKey);
    EXPECT_EQ(store->settings().defaultCopyFormat(), CopyFormat::url);

    const struct {
        QString copyFormat, syncMode, cooldown;
        double volume;
        CopyFormat expectedFormat;
        SyncMode expectedMode;
        SoundCooldown expectedCooldown;
        double expectedVolume;
    } cases[] = {
        {"Markdown", "iCloud", "1 minute", 3.5, CopyFormat::markdown, SyncMode::iCloud,
         SoundCooldown::oneMinute, 1.0},
        {"MARKDOWN", "icloud", "1 Minute", -1, CopyFormat::url, SyncMode::disabled, SoundCooldown::off, 0.0},
        {"morvaneMarkdown", "Disabled", "5 minutes", 0.25, CopyFormat::morvaneMarkdown, SyncMode::disabled,
         SoundCooldown::fiveMinutes, 0.25},
        {"URL", "", "", std::nan(""), CopyFormat::url, SyncMode::disabled, SoundCooldown::off, 0.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.copyFormat.toStdString());
        defaults->setString(Keys::defaultCopyFormat, c.copyFormat);
        defaults->setString(Keys::syncMode, c.syncMode);
        defaults->setString(Keys::soundCooldown, c.cooldown);
        defaults->setDouble(Keys::soundVolume, c.volume);
        auto loaded = makeStore();
        EXPECT_EQ(loaded->settings().defaultCopyFormat(), c.expectedFormat);
        EXPECT_EQ(loaded->sync().syncMode(), c.expectedMode);
        EXPECT_EQ(loaded->settings().linkFoundSoundCooldown(), c.expectedCooldown);
        EXPECT_EQ(loaded->settings().linkFoundSoundVolume(), c.expectedVolume);
    }
}

TEST_F(PreferencesStoreTest, SettersStoreTheCurrentSpellingsAndAClampedVolume)
{
    defaults->setString(Keys::defaultCopyFormat, "Markdown");
    auto store = makeStore();
    AppSettings& settings = store->settings();
    settings.setDefaultCopyFormat(settings.defaultCopyFormat());
    settings.setLinkFoundSoundVolume(2.5);
    settings.setLinkFoundSoundCooldown(SoundCooldown::thirtySeconds);
    store->sync().setSyncMode(SyncMode::iCloud);
    EXPECT_EQ(defaults->stringValue(Keys::defaultCopyFormat), "markdown");
    EXPECT_EQ(settings.linkFoundSoundVolume(), 2.5);
    EXPECT_EQ(defaults->doubleValue(Keys::soundVolume), 1.0);
    EXPECT_EQ(defaults->stringValue(Keys::soundCooldown), "30 seconds");
    EXPECT_EQ(defaults->stringValue(Keys::syncMode), "iCloud");
}

} // namespace
} // namespace morvane
