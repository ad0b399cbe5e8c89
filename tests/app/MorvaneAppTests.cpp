#include "TestApp.h"
#include "TestFiles.h"
#include "app/IncomingUrls.h"
#include "app/MenuBarController.h"
#include "app/WindowControllers.h"
#include "services/HotkeyService.h"
#include "services/PreferencesStore.h"
#include "store/LinkStore.h"
#include "store/LinkStoreNotifier.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

using namespace morvane;
using namespace morvane::test;

namespace {

constexpr quint32 commandControl = 0x1100;
const GlobalHotkeyBinding quickPanelKeys = HotkeySettings::defaultQuickPanelHotkey;
const GlobalHotkeyBinding graphKeys = HotkeySettings::defaultGraphHotkey;

QString couldNotRegister(const GlobalHotkeyBinding& binding)
{
    return "Could not register " + binding.shortcutText() +
           ". The shortcut may be in use by another application.";
}

// Presses the shortcut and lets its action run (actions are queued behind the key event).
void press(TestApp& test, const GlobalHotkeyBinding& binding)
{
    ASSERT_TRUE(test.hotkeyBackend->press(binding.keyCode, binding.carbonModifiers));
    QCoreApplication::processEvents();
}

bool isShown(QWidget* window)
{
    return window && window->isVisible();
}

} // namespace

TEST(MorvaneApp, ALibraryThatCannotBeOpenedIsExplainedInOneAlertAndEndsTheStart)
{
    // A plain file where the library's folder belongs.
    const QString folder = writeFile(qEnvironmentVariable("XDG_DATA_HOME") + "/Morvane", {});

    TestApp test;
    EXPECT_FALSE(test.app.start());
    EXPECT_EQ(test.app.linkStore(), nullptr);
    EXPECT_EQ(test.app.hotkeyService(), nullptr);
    EXPECT_EQ(test.hotkeyBackend->attempts.size(), 0);
    ASSERT_EQ(test.alerts->shown.size(), 1);
    const Alert& alert = test.alerts->shown.constFirst();
    EXPECT_EQ(alert.style, Alert::Style::critical);
    EXPECT_EQ(alert.messageText, "Morvane could not start.");
    EXPECT_TRUE(alert.informativeText.contains(folder)) << alert.informativeText.toStdString();
    EXPECT_EQ(alert.buttons, QStringList());
}

TEST(MorvaneApp, AStartHidesTheApplicationAndEachShortcutTogglesItsWindow)
{
    TestApp test;
    ASSERT_TRUE(test.app.start());
    EXPECT_TRUE(test.presence->hidden);
    EXPECT_EQ(test.hotkeyBackend->heldIds(), (QList<quint32>{1, 2}));
    EXPECT_EQ(test.app.preferencesStore()->hotkeys().hotkeyConflictMessage(), std::nullopt);

    press(test, quickPanelKeys);
    EXPECT_TRUE(isShown(test.app.quickPanelController()->window()));
    EXPECT_EQ(test.hotkeyBackend->keyHoldEnds, 0);
    // Hidden by the shortcut, the panel takes no keys: the keyboard is let go to the window in front.
    press(test, quickPanelKeys);
    EXPECT_FALSE(isShown(test.app.quickPanelController()->window()));
    EXPECT_EQ(test.hotkeyBackend->keyHoldEnds, 1);

    GraphWindowController& graph = *test.app.graphWindowController();
    press(test, graphKeys);
    ASSERT_TRUE(isShown(graph.window()));
    QWidget* window = graph.window();
    press(test, graphKeys);
    EXPECT_FALSE(isShown(graph.window()));
    EXPECT_EQ(test.hotkeyBackend->keyHoldEnds, 2);
    // Closed, the window is kept for the next show.
    press(test, graphKeys);
    EXPECT_EQ(graph.window(), window);
    EXPECT_TRUE(isShown(window));
}

// The window commands, handed over by a later process (or given to the first one), act on the running
// copy in order: --quick-panel and --graph toggle their windows as the shortcuts do, --preferences and
// --quit are the tray menu's items. Other arguments are not for the running copy.
TEST(MorvaneApp, TheWindowCommandsToggleTheirWindowsLikeTheShortcuts)
{
    EXPECT_EQ(incomingItems({"--graph", "--verbose", "morvane://open/1", "--quick-panel", "--quick-panel=1",
                             "https://example.com", "--quit", "--preferences"}),
              (QStringList{"--graph", "morvane://open/1", "--quick-panel", "--quit", "--preferences"}));

    TestApp test;
    ASSERT_TRUE(test.app.start());
    IncomingUrls incoming;
    incoming.receive({"--quick-panel"});
    test.app.attachIncomingUrls(incoming);
    QCoreApplication::processEvents();
    EXPECT_TRUE(isShown(test.app.quickPanelController()->window()));
    incoming.receive({"--quick-panel", "--graph"});
    QCoreApplication::processEvents();
    EXPECT_FALSE(isShown(test.app.quickPanelController()->window()));
    EXPECT_TRUE(isShown(test.app.graphWindowController()->window()));

    const auto preferencesShown = [] {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (window->isVisible() && window->windowTitle() == "Morvane Preferences")
                return true;
        }
        return false;
    };
    EXPECT_FALSE(preferencesShown());
    incoming.receive({"--preferences", "--quit"});
    QCoreApplication::processEvents();
    EXPECT_TRUE(preferencesShown());
    EXPECT_EQ(test.quits, 1);
}

// A launch with nothing to hand over (the menu entry chosen again) brings the panel forward and never
// hides it; the launch's activation token is in force while its windows come forward, then cleared.
TEST(MorvaneApp, ALaunchWithNothingElseShowsThePanelWithItsToken)
{
    TestApp test;
    ASSERT_TRUE(test.app.start());
    IncomingUrls incoming;
    test.app.attachIncomingUrls(incoming);
    QWidget* panel = nullptr;
    for (int launch = 0; launch < 2; ++launch) {
        incoming.receive({"--activate", "--activation-token=desk-42_TIME1000"});
        QCoreApplication::processEvents();
        panel = test.app.quickPanelController()->window();
        EXPECT_TRUE(isShown(panel)) << launch;
    }
    ASSERT_FALSE(test.presence->activatedWithToken.isEmpty());
    EXPECT_EQ(test.presence->activatedWithToken.constLast(), std::pair(panel, QString("desk-42_TIME1000")));
    EXPECT_EQ(test.presence->tokens.constLast(), QString());

    // An older launch carries no token; a token that is not the desktop's word is not passed on.
    incoming.receive({"--graph"});
    incoming.receive({"--preferences", "--activation-token=a\nb"});
    QCoreApplication::processEvents();
    for (qsizetype i = test.presence->activatedWithToken.size() - 2;
         i < test.presence->activatedWithToken.size(); ++i)
        EXPECT_EQ(test.presence->activatedWithToken[i].second, QString()) << i;
}

TEST(MorvaneApp, AShortcutAnotherApplicationHoldsLeavesTheOtherOneWorking)
{
    TestApp test;
    test.hotkeyBackend->refuse(quickPanelKeys.keyCode, commandControl);
    ASSERT_TRUE(test.app.start());
    HotkeySettings& shortcuts = test.app.preferencesStore()->hotkeys();
    EXPECT_EQ(test.hotkeyBackend->heldIds(), (QList<quint32>{2}));
    EXPECT_EQ(shortcuts.hotkeyConflictMessage(), couldNotRegister(quickPanelKeys));

    // Registering again replaces the report with what fails now.
    test.hotkeyBackend->refused.clear();
    test.hotkeyBackend->refuse(graphKeys.keyCode, commandControl);
    test.app.registerHotkeys();
    EXPECT_EQ(test.hotkeyBackend->heldIds(), (QList<quint32>{1}));
    EXPECT_EQ(shortcuts.hotkeyConflictMessage(), couldNotRegister(graphKeys));
    test.hotkeyBackend->refused.clear();
    test.app.registerHotkeys();
    EXPECT_EQ(test.hotkeyBackend->heldIds(), (QList<quint32>{1, 2}));
    EXPECT_EQ(shortcuts.hotkeyConflictMessage(), std::nullopt);
}

TEST(MorvaneApp, ARefusedRecordingKeepsBothShortcutsAndItsMessage)
{
    TestApp test;
    ASSERT_TRUE(test.app.start());
    HotkeySettings& shortcuts = test.app.preferencesStore()->hotkeys();
    EXPECT_FALSE(shortcuts.setHotkey(GlobalHotkeyBinding{37, 0}, false));
    const std::optional<QString> refusal = shortcuts.hotkeyConflictMessage();
    ASSERT_TRUE(refusal);

    // A recorder ending re-registers; the refusal stays until the next conflict check.
    shortcuts.setHotkeyRecordingSuspended(true);
    EXPECT_TRUE(test.hotkeyBackend->held.isEmpty());
    shortcuts.setHotkeyRecordingSuspended(false);
    EXPECT_EQ(test.hotkeyBackend->heldIds(), (QList<quint32>{1, 2}));
    EXPECT_EQ(shortcuts.hotkeyConflictMessage(), refusal);
}

TEST(MorvaneApp, EqualStoredShortcutsRegisterNothing)
{
    TestApp test;
    test.defaults->setData(PreferencesStore::Keys::graphHotkey, quickPanelKeys.toJson());
    ASSERT_TRUE(test.app.start());
    EXPECT_TRUE(test.hotkeyBackend->held.isEmpty());
    EXPECT_EQ(test.app.preferencesStore()->hotkeys().hotkeyConflictMessage(),
              "Morvane and graph cannot use the same shortcut.");
}

TEST(MorvaneApp, InICloudModeTheLaunchEachLocalChangeEachWindowShownAndComingForwardSync)
{
    for (const bool iCloud : {false, true}) {
        SCOPED_TRACE(iCloud);
        TestApp test;
        if (iCloud)
            test.defaults->setString(PreferencesStore::Keys::syncMode, "iCloud");
        ASSERT_TRUE(test.app.start());
        EXPECT_EQ(test.sync->syncCalls > 0, iCloud);
        SyncScheduler& scheduler = test.app.preferencesStore()->sync();
        ASSERT_TRUE(QTest::qWaitFor([&] { return scheduler.syncStatus() != SyncStatus::syncing; }, 5000));
        const int atLaunch = test.sync->syncCalls;

        // The trigger runs before the change is announced.
        LinkStore& store = *test.app.linkStore();
        QSignalSpy announced(&store.notifier(), &LinkStoreNotifier::didMutate);
        store.addLink("Example", "https://example.com", {}, {}).waitForFinished();
        ASSERT_TRUE(announced.wait(5000));
        EXPECT_EQ(test.sync->syncCalls, atLaunch + (iCloud ? 1 : 0));

        // So does showing the graph or the quick panel, or the application coming to the front.
        const auto passesOnShow = [&](const std::function<void()>& show) {
            if (!QTest::qWaitFor([&] { return scheduler.syncStatus() != SyncStatus::syncing; }, 5000))
                return -1;
            const int before = test.sync->syncCalls;
            show();
            return test.sync->syncCalls - before;
        };
        EXPECT_EQ(passesOnShow([&] { test.app.graphWindowController()->show(); }), iCloud ? 1 : 0);
        EXPECT_EQ(passesOnShow([&] { test.app.quickPanelController()->show(); }), iCloud ? 1 : 0);
        EXPECT_EQ(passesOnShow([&] { test.presence->bringToFront(); }), iCloud ? 1 : 0);
    }
}

namespace {
// Notes whether the application was whole (every object built, the library open) each time a
// shortcut is taken or given back.
class WatchingHotkeyBackend : public FakeHotkeyBackend {
public:
    HotkeyRegistrationResult registerHotkey(quint16 keyCode, quint32 modifiers,
                                            HotkeyIdentity identity) override
    {
        wholeAtRegistration.append(isWhole());
        return FakeHotkeyBackend::registerHotkey(keyCode, modifiers, identity);
    }
    void unregisterHotkey(HotkeyRef ref) override
    {
        wholeAtRelease.append(isWhole());
        FakeHotkeyBackend::unregisterHotkey(ref);
    }
    bool isWhole() const { return app && app->linkStore() && app->activeContextMonitor(); }

    MorvaneApp* app = nullptr;
    QList<bool> wholeAtRegistration, wholeAtRelease;
};
} // namespace

TEST(MorvaneApp, ShortcutsAreHeldOnlyWhileTheWholeApplicationIsThereAndQueuedWritesFinish)
{
    TestApp test;
    auto backend = std::make_shared<WatchingHotkeyBackend>();
    backend->app = &test.app;
    test.hotkeyBackend = backend;
    ASSERT_TRUE(test.app.start());
    EXPECT_EQ(backend->wholeAtRegistration, (QList<bool>{true, true}));
    QFuture<LinkItem> lastWrite = test.app.linkStore()->addLink("Example", "https://example.com", {}, {});

    // The local server closes after the shortcuts are given back, while the library is still open.
    std::optional<bool> serverClosedInPlace;
    QObject::connect(&test.app, &MorvaneApp::libraryClosing, &test.app, [&] {
        serverClosedInPlace = backend->held.isEmpty() && test.app.linkStore() != nullptr;
    });

    test.app.terminate();
    EXPECT_EQ(serverClosedInPlace, true);
    EXPECT_TRUE(backend->held.isEmpty());
    EXPECT_EQ(backend->wholeAtRelease, (QList<bool>{true, true}));
    // The write queued before termination was finished, not dropped.
    ASSERT_TRUE(lastWrite.isFinished());
    EXPECT_EQ(lastWrite.result().title, "Example");
    EXPECT_EQ(test.app.linkStore(), nullptr);
    EXPECT_EQ(test.app.menuBarController(), nullptr);
    test.app.terminate();
}

// The search's head start (the texts copied beside the library for short searches) waits until the
// start has settled, so that on two cores it does not slow the tray icon's coming; then it is made.
TEST(MorvaneApp, TheSearchsHeadStartWaitsUntilTheStartHasSettled)
{
    using namespace std::chrono_literals;
    TestApp test;
    ASSERT_TRUE(test.app.start());
    const QString copy = LinkStore::defaultLibraryPath() + QStringLiteral(".texts");
    test.app.linkStore()->allLinks().waitForFinished();
    test.clock->advance(1900ms);
    test.app.linkStore()->allLinks().waitForFinished();
    EXPECT_FALSE(QFileInfo::exists(copy));

    test.clock->advance(100ms);
    QDeadlineTimer deadline(10s);
    while (!QFileInfo::exists(copy) && !deadline.hasExpired())
        test.app.linkStore()->allLinks().waitForFinished();
    EXPECT_TRUE(QFileInfo::exists(copy));
}
