#include "services/PreferencesStore.h"

#include "FakeHotkeyBackend.h"
#include "PreferencesDoubles.h"
#include "TestEnvironment.h"
#include "services/HotkeyService.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

namespace morvane {
namespace {

using Keys = PreferencesStore::Keys;
constexpr quint32 controlCommand = 0x1100;

class PreferencesStoreTest : public ::testing::Test, protected test::PreferencesDoubles {
protected:
    PreferencesStoreTest() { defaults = std::make_shared<UserDefaults>(test::testHome() + "/defaults.json"); }

    std::unique_ptr<PreferencesStore> makeStore()
    {
        auto store = makePreferences();
        store->onHotkeysDidChange = [this] { ++hotkeyChanges; };
        store->onHotkeyRecordingSuspendedChange = [this](bool suspended) { suspensions.append(suspended); };
        return store;
    }
    QStringList storedKeys() const
    {
        QFile file(defaults->filePath());
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QJsonDocument::fromJson(file.readAll()).object().keys();
    }

    int hotkeyChanges = 0;
    QList<bool> suspensions;
};

TEST_F(PreferencesStoreTest, AFirstStartReadsEveryDefaultAndWritesOnlyTheMachineIdentifier)
{
    calendars->status = CalendarAuthorizationStatus::notDetermined;
    contacts->status = ContactAuthorizationStatus::limited;
    auto store = makeStore();

    EXPECT_EQ(store->quickPanelHotkey(), (GlobalHotkeyBinding{37, controlCommand}));
    EXPECT_EQ(store->graphHotkey(), (GlobalHotkeyBinding{5, controlCommand}));
    EXPECT_TRUE(store->hideDockIcon());
    EXPECT_EQ(store->linkFoundSoundCooldown(), SoundCooldown::off);
    EXPECT_EQ(store->syncMode(), SyncMode::disabled);
    EXPECT_EQ(store->syncStatus(), SyncStatus::disabled);
    EXPECT_EQ(store->calendarAccessStatus(), "Not requested");
    EXPECT_EQ(store->contactAccessStatus(), "Unknown");
    EXPECT_FALSE(store->hotkeyConflictMessage());
    EXPECT_EQ(storedKeys(), QStringList{Keys::machineID});
    EXPECT_EQ(makeStore()->machineID(), store->machineID());
}

TEST_F(PreferencesStoreTest, WrongTypesAndUnknownSpellingsFallBackToTheirDefaults)
{
    defaults->setString(Keys::hideDockIcon, "false");
    defaults->setString(Keys::quickPanelHotkey, R"({"keyCode":0,"carbonModifiers":256})");
    // A modifier key as the key could never be registered: the default is used, the bytes stay.
    const QByteArray modifierAsKey = GlobalHotkeyBinding{55, controlCommand}.toJson();
    defaults->setData(Keys::graphHotkey, modifierAsKey);
    auto store = makeStore();
    EXPECT_TRUE(store->hideDockIcon());
    EXPECT_TRUE(store->automaticUpdates());
    EXPECT_EQ(store->linkFoundSoundVolume(), 1.0);
    EXPECT_EQ(store->quickPanelHotkey(), PreferencesStore::defaultQuickPanelHotkey);
    EXPECT_EQ(store->graphHotkey(), PreferencesStore::defaultGraphHotkey);
    EXPECT_EQ(defaults->dataValue(Keys::graphHotkey), modifierAsKey);
    EXPECT_EQ(store->defaultCopyFormat(), CopyFormat::url);

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
        EXPECT_EQ(loaded->defaultCopyFormat(), c.expectedFormat);
        EXPECT_EQ(loaded->syncMode(), c.expectedMode);
        EXPECT_EQ(loaded->linkFoundSoundCooldown(), c.expectedCooldown);
        EXPECT_EQ(loaded->linkFoundSoundVolume(), c.expectedVolume);
    }
}

TEST_F(PreferencesStoreTest, SettersStoreTheCurrentSpellingsAndAClampedVolume)
{
    defaults->setString(Keys::defaultCopyFormat, "Markdown");
    auto store = makeStore();
    store->setDefaultCopyFormat(store->defaultCopyFormat());
    store->setLinkFoundSoundVolume(2.5);
    store->setLinkFoundSoundCooldown(SoundCooldown::thirtySeconds);
    store->setSyncMode(SyncMode::iCloud);
    EXPECT_EQ(defaults->stringValue(Keys::defaultCopyFormat), "markdown");
    EXPECT_EQ(store->linkFoundSoundVolume(), 2.5);
    EXPECT_EQ(defaults->doubleValue(Keys::soundVolume), 1.0);
    EXPECT_EQ(defaults->stringValue(Keys::soundCooldown), "30 seconds");
    EXPECT_EQ(defaults->stringValue(Keys::syncMode), "iCloud");
}

TEST_F(PreferencesStoreTest, RecordedShortcutsAreRefusedStoredOrSwapped)
{
    auto backend = std::make_shared<test::FakeHotkeyBackend>();
    HotkeyService hotkeys(backend);
    auto store = makeStore();
    store->setHotkeyService(&hotkeys);
    const GlobalHotkeyBinding quickPanel = store->quickPanelHotkey();
    const GlobalHotkeyBinding graph = store->graphHotkey();

    EXPECT_FALSE(store->setHotkey({37, 0}, true));
    EXPECT_EQ(store->hotkeyConflictMessage(), "Include at least one modifier (Ctrl, Alt, Shift, or Super).");
    backend->refuse(49, controlCommand);
    EXPECT_FALSE(store->setHotkey({49, controlCommand}, false));
    EXPECT_EQ(store->hotkeyConflictMessage(), "“Ctrl+Super+Space” is already used by another application.");
    EXPECT_EQ(store->graphHotkey(), graph);
    EXPECT_EQ(hotkeyChanges, 0);

    QStringList written;
    QObject::connect(defaults.get(), &UserDefaults::changed,
                     [&](const QString& key) { written.append(key); });
    EXPECT_TRUE(store->setHotkey(quickPanel, true));
    EXPECT_EQ(store->graphHotkey(), quickPanel);
    EXPECT_EQ(store->quickPanelHotkey(), graph);
    EXPECT_EQ(written, (QStringList{Keys::quickPanelHotkey, Keys::graphHotkey}));
    EXPECT_EQ(hotkeyChanges, 1);
    EXPECT_FALSE(store->hotkeyConflictMessage());
    store->setGraphHotkey(store->quickPanelHotkey());
    EXPECT_EQ(store->hotkeyConflictMessage(), "Morvane and graph cannot use the same shortcut.");
}

TEST_F(PreferencesStoreTest, NestedRecordersSuspendOnceAndResumeOnce)
{
    auto store = makeStore();
    store->setHotkeyRecordingSuspended(true);
    store->setHotkeyRecordingSuspended(true);
    store->setHotkeyRecordingSuspended(false);
    EXPECT_EQ(suspensions, QList<bool>{true});
    store->setHotkeyRecordingSuspended(false);
    EXPECT_EQ(store->hotkeyRecordingSuspendCount(), 0);
    EXPECT_EQ(suspensions, (QList<bool>{true, false}));
}

} // namespace
} // namespace morvane
