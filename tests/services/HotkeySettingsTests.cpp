#include "services/HotkeySettings.h"

#include "FakeHotkeyBackend.h"
#include "TestEnvironment.h"
#include "foundation/UserDefaults.h"
#include "services/PreferenceValues.h"

#include <gtest/gtest.h>

namespace morvane {
namespace {

using Keys = PreferenceKeys;
using test::controlCommand;

class HotkeySettingsTest : public ::testing::Test {
protected:
    std::unique_ptr<HotkeySettings> makeSettings(HotkeySettings::Validator validator = {})
    {
        auto settings = std::make_unique<HotkeySettings>(defaults, std::move(validator));
        QObject::connect(settings.get(), &HotkeySettings::hotkeysChanged, [this] { ++hotkeyChanges; });
        QObject::connect(settings.get(), &HotkeySettings::recordingSuspendedChanged,
                         [this](bool suspended) { suspensions.append(suspended); });
        return settings;
    }

    std::shared_ptr<UserDefaults> defaults =
        std::make_shared<UserDefaults>(test::testHome() + QStringLiteral("/defaults.json"));
    int hotkeyChanges = 0;
    QList<bool> suspensions;
};

TEST_F(HotkeySettingsTest, RecordedShortcutsAreRefusedStoredOrSwapped)
{
    auto backend = std::make_shared<test::FakeHotkeyBackend>();
    HotkeyService hotkeys(backend);
    auto store =
        makeSettings([&hotkeys](const GlobalHotkeyBinding& candidate, bool forGraph,
                                const GlobalHotkeyBinding& quickPanel, const GlobalHotkeyBinding& graph) {
            return hotkeys.validate(candidate, forGraph, quickPanel, graph);
        });
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

TEST_F(HotkeySettingsTest, NestedRecordersSuspendOnceAndResumeOnce)
{
    auto store = makeSettings();
    store->setHotkeyRecordingSuspended(true);
    store->setHotkeyRecordingSuspended(true);
    store->setHotkeyRecordingSuspended(false);
    EXPECT_EQ(suspensions, QList<bool>{true});
    store->setHotkeyRecordingSuspended(false);
    EXPECT_EQ(store->hotkeyRecordingSuspendCount(), 0);
    EXPECT_EQ(suspensions, (QList<bool>{true, false}));
}

// The application registers the shortcuts when it hears of a change and reports what failed: the
// report must outlive the conflict check of that same change.
TEST_F(HotkeySettingsTest, ARegistrationFailureReportedOnTheChangeStaysUntilTheNextChange)
{
    auto store = makeSettings();
    const QString failure = QStringLiteral("Could not register Ctrl+Super+K.");
    std::optional<QString> report = failure;
    QObject::connect(store.get(), &HotkeySettings::hotkeysChanged, store.get(),
                     [&] { store->setHotkeyRegistrationFailure(report); });
    store->setQuickPanelHotkey({40, controlCommand});
    EXPECT_EQ(store->hotkeyConflictMessage(), failure);

    report.reset();
    store->setGraphHotkey({11, controlCommand});
    EXPECT_EQ(store->hotkeyConflictMessage(), std::nullopt);
    // Equal shortcuts register nothing; the report of that must not hide why.
    report = failure;
    store->setGraphHotkey(store->quickPanelHotkey());
    EXPECT_EQ(store->hotkeyConflictMessage(), "Morvane and graph cannot use the same shortcut.");
}

} // namespace
} // namespace morvane
