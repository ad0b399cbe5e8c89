#include "PreferencesFixture.h"

#include "FakeHotkeyBackend.h"
#include "files/KnownRootsStore.h"
#include "preferences/HotkeyRecorder.h"
#include "preferences/PreferenceControls.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QRadioButton>
#include <QScrollArea>
#include <QSlider>
#include <QTest>
#include <QWheelEvent>

#include <gtest/gtest.h>

namespace morvane {
namespace {

using test::labelled;
using test::withText;
using Keys = PreferencesStore::Keys;
using test::controlCommand;

QStringList visiblePages(const PreferencesWindow& window)
{
    QStringList shown;
    for (PreferenceSection section : allPreferenceSections) {
        if (window.sectionPage(section)->isVisibleTo(&window))
            shown.append(rawValue(section));
    }
    return shown;
}

void sendKey(QWidget* widget, QEvent::Type type, Qt::Key key, Qt::KeyboardModifiers modifiers)
{
    QKeyEvent event(type, key, modifiers);
    QCoreApplication::sendEvent(widget, &event);
}

TEST(PreferencesWindowTests, TheSidebarShowsOnePageAtATimeAndTheWindowKeepsItAcrossAClose)
{
    test::PreferencesFixture fx;
    PreferencesWindow& window = *fx.window;
    window.show();
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Morvane Preferences"));
    EXPECT_EQ(window.size(), QSize(760, 620));
    EXPECT_EQ(window.minimumSize(), window.maximumSize());
    EXPECT_EQ(visiblePages(window), QStringList{"general"});
    EXPECT_TRUE(withText<QLabel>(&window, "Startup, task bar, sound, and copy defaults.")->isVisible());

    fx.click("Advanced");
    EXPECT_EQ(window.selectedSection(), PreferenceSection::advanced);
    EXPECT_EQ(visiblePages(window), QStringList{"advanced"});
    EXPECT_TRUE(withText<QLabel>(&window, "Destructive maintenance actions.")->isVisible());
    auto* advanced = static_cast<SidebarButton*>(fx.button("Advanced"));
    EXPECT_TRUE(advanced->isChecked());
    EXPECT_FALSE(fx.button("General")->isChecked());

    window.close();
    window.show();
    EXPECT_EQ(visiblePages(window), QStringList{"advanced"});
    fx.click("Sync");
    EXPECT_EQ(visiblePages(window), QStringList{"sync"});
}

// Without a mouse: the arrow keys on the chosen sidebar entry choose the other pages, and Tab meets
// rows added after the window was built where they are shown, not after the controls below them.
TEST(PreferencesWindowTests, KeyboardUseAndScrollingFollowWhatThePagesShow)
{
    test::PreferencesFixture fx;
    fx.window->show();
    QApplication::setActiveWindow(fx.window.get());
    fx.button("General")->setFocus(Qt::TabFocusReason);
    QTest::keyClick(fx.button("General"), Qt::Key_Down);
    EXPECT_EQ(fx.window->selectedSection(), PreferenceSection::keyboard);
    EXPECT_TRUE(fx.button("Keyboard")->hasFocus());

    fx.click("Advanced");
    EXPECT_TRUE(fx.button("Advanced")->hasFocus());
    fx.fileDialogs->answers = {test::testHome()};
    fx.click("Add Known Root…");
    QCoreApplication::processEvents(); // the new row is shown from the event loop
    fx.button("Scan Repairs")->setFocus(Qt::TabFocusReason);
    QTest::keyClick(fx.button("Scan Repairs"), Qt::Key_Tab);
    ASSERT_NE(QApplication::focusWidget(), nullptr);
    EXPECT_EQ(QApplication::focusWidget()->toolTip(), "Remove Known Root");

    // A long page scrolls to its last card and not into an empty stretch below it.
    fx.click("General");
    QCoreApplication::processEvents();
    auto* pane = fx.window->findChild<QScrollArea*>();
    const QWidget* general = fx.window->sectionPage(PreferenceSection::general);
    EXPECT_LE(pane->widget()->height(), general->geometry().bottom() + 1 + 24);
}

TEST(PreferencesWindowTests, GeneralControlsWriteThroughTheSettingsModel)
{
    test::PreferencesFixture fx;
    QWidget* general = fx.window->sectionPage(PreferenceSection::general);

    auto* launch = withText<QCheckBox>(general, "Launch at login");
    launch->click();
    EXPECT_EQ(fx.loginItem->registerCalls, 1);
    EXPECT_EQ(fx.defaults->boolValue(Keys::launchAtLogin), true);
    EXPECT_TRUE(launch->isChecked());

    auto* volume = labelled<QSlider>(general, "Volume");
    ASSERT_NE(volume, nullptr);
    volume->setValue(3);
    EXPECT_EQ(fx.defaults->doubleValue(Keys::soundVolume), 0.3);
    EXPECT_NE(withText<QLabel>(general, volumePercentText(0.3)), nullptr);

    // Without the sound its volume and cooldown are shown but cannot be changed.
    auto* cooldown = labelled<QComboBox>(general, "Cooldown");
    withText<QCheckBox>(general, "Play sound when a link is found")->click();
    EXPECT_EQ(fx.defaults->boolValue(Keys::soundEnabled), false);
    EXPECT_FALSE(volume->isEnabled());
    EXPECT_FALSE(cooldown->isEnabled());
    fx.preferences->settings().setLinkFoundSoundEnabled(true);
    EXPECT_TRUE(volume->isEnabled());
    EXPECT_TRUE(cooldown->isEnabled());

    auto* format = labelled<QComboBox>(general, "Default copy format");
    QStringList rows;
    for (int i = 0; i < format->count(); ++i)
        rows.append(format->itemText(i));
    EXPECT_EQ(rows, (QStringList{"URL", "Markdown", "Morvane link", "Morvane Markdown"}));
    emit format->activated(3);
    EXPECT_EQ(fx.defaults->stringValue(Keys::defaultCopyFormat), "morvaneMarkdown");
    // A change made elsewhere shows at once.
    fx.preferences->settings().setDefaultCopyFormat(CopyFormat::markdown);
    EXPECT_EQ(format->currentText(), "Markdown");
    // The wheel turned over the list while the page scrolls leaves the setting alone.
    QWheelEvent wheel(QPointF(5, 5), format->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, -120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(format, &wheel);
    EXPECT_EQ(format->currentText(), "Markdown");
    EXPECT_EQ(fx.defaults->stringValue(Keys::defaultCopyFormat), "markdown");

    fx.preferences->quickPanelTipStore().dismiss("finder");
    fx.click("Show Dismissed Instruction Banners Again");
    EXPECT_FALSE(fx.defaults->contains(QuickPanelTipStore::standardKey));
    EXPECT_NE(withText<QLabel>(general,
                               "Dismissed instruction banners will appear again when each situation occurs."),
              nullptr);
}

// With no updater to act on it, the automatic check is shown unticked and cannot be changed, whatever
// the stored setting says, and that setting is kept as it was.
TEST(PreferencesWindowTests, TheAutomaticUpdateBoxIsNotShownTickedWhileItCanDoNothing)
{
    test::PreferencesFixture fx;
    QWidget* updates = fx.window->sectionPage(PreferenceSection::updates);
    auto* automatic = withText<QCheckBox>(updates, "Automatically check for updates");
    ASSERT_NE(automatic, nullptr);
    EXPECT_TRUE(fx.preferences->settings().automaticUpdates());
    EXPECT_FALSE(automatic->isChecked());
    EXPECT_FALSE(automatic->isEnabled());
    fx.preferences->settings().setAutomaticUpdates(true);
    EXPECT_FALSE(automatic->isChecked());
    EXPECT_EQ(fx.defaults->boolValue(Keys::automaticUpdates), true);
    EXPECT_NE(withText<QLabel>(updates,
                               "Morvane does not check for updates itself. " + fx.updater.updateSourceText()),
              nullptr);
}

// Fantastical and Cardhop have no version for this desktop: a stored choice of either stays and shows,
// but neither is offered; the permissions say what capture reads, not a scripting it never does.
TEST(PreferencesWindowTests, ApplicationsWithoutALinuxVersionAreShownButNotOffered)
{
    test::PreferencesFixture fx;
    fx.preferences->settings().setCalendarRevealTarget(CalendarRevealTarget::fantastical);
    QWidget* general = fx.window->sectionPage(PreferenceSection::general);
    for (const char* name : {"Fantastical", "Cardhop"}) {
        auto* choice = withText<QRadioButton>(general, QString(name) + " (not available on Linux)");
        ASSERT_NE(choice, nullptr) << name;
        EXPECT_FALSE(choice->isEnabled());
    }
    EXPECT_TRUE(withText<QRadioButton>(general, "Fantastical (not available on Linux)")->isChecked());
    EXPECT_FALSE(withText<QRadioButton>(general, "Cardhop (not available on Linux)")->isChecked());
    withText<QRadioButton>(general, "Calendar application")->click();
    EXPECT_EQ(fx.preferences->settings().calendarRevealTarget(), CalendarRevealTarget::appleCalendar);

    QStringList about;
    for (const QLabel* label : fx.window->sectionPage(PreferenceSection::about)->findChildren<QLabel*>())
        about << label->text();
    for (const char* absent : {"DEVONthink", "Fantastical", "Mail,"})
        EXPECT_FALSE(about.join(u'\n').contains(absent)) << absent;
    EXPECT_TRUE(about.join(u'\n').contains("Evolution Data Server"));
}

// A desktop service that is there but fails is shown as not available, with what its store says under
// the status (the stores that cannot be read, a line each); once it reads again the status is granted
// and the text goes.
TEST(PreferencesWindowTests, AnAccessCardSaysWhyItsServiceCannotBeRead)
{
    test::PreferencesFixture fx;
    fx.window->selectSection(PreferenceSection::general);
    QWidget* general = fx.window->sectionPage(PreferenceSection::general);
    const QString calendarFailure =
        QStringLiteral("“Work Exchange” cannot be read: Backend factory for "
                       "source “ews-1” cannot be found.\n“Home” cannot be read: no");
    const QString cardFailure = QStringLiteral("The address book service is there but could not be read: "
                                               "GetManagedObjects: timed out");
    const QString& calendarText = calendarFailure;
    const QString& cardText = cardFailure;
    const auto shown = [general](const QString& text) {
        const QLabel* label = withText<QLabel>(general, text);
        return label && label->isVisibleTo(general) && label->textFormat() == Qt::PlainText;
    };

    fx.calendars->status = CalendarAuthorizationStatus::restricted;
    fx.calendars->failure = calendarFailure;
    fx.contacts->status = ContactAuthorizationStatus::restricted;
    fx.contacts->failure = cardFailure;
    fx.preferences->access().refreshCalendarAccessStatus();
    fx.preferences->access().refreshContactAccessStatus();
    EXPECT_TRUE(shown(calendarText));
    EXPECT_TRUE(shown(cardText));
    EXPECT_EQ(labelled<QLabel>(general, "Status")->text(), "Restricted");

    fx.calendars->status = CalendarAuthorizationStatus::fullAccess;
    fx.calendars->failure.reset();
    fx.preferences->access().refreshCalendarAccessStatus();
    EXPECT_FALSE(shown(calendarText));
    EXPECT_NE(withText<QLabel>(general, "Full access"), nullptr);
    EXPECT_TRUE(shown(cardText));
}

// A Wayland session passes X11 shortcuts on only while an X11 window has the keyboard: without the
// desktop's shortcuts portal the page offers the commands to bind instead; with it, the page shows the
// keys the desktop gave.
TEST(PreferencesWindowTests, OnAWaylandSessionTheKeyboardPageSaysWhereTheShortcutsLive)
{
    const auto notes = [](test::PreferencesFixture& fx) {
        QStringList texts;
        for (const PreferenceMessage* message :
             fx.window->sectionPage(PreferenceSection::keyboard)->findChildren<PreferenceMessage*>())
            texts.append(message->text());
        return texts.join('\n');
    };
    for (const bool wayland : {false, true}) {
        const test::ScopedEnvironmentVariable session(
            "WAYLAND_DISPLAY", wayland ? std::optional<QByteArray>("wayland-0") : std::nullopt);
        test::PreferencesFixture fx;
        EXPECT_EQ(notes(fx).contains("“morvane --quick-panel”"), wayland);
    }

    const test::ScopedEnvironmentVariable session("WAYLAND_DISPLAY", QByteArray("wayland-0"));
    using State = GlobalShortcutsPortal::State;
    auto portal = std::make_shared<test::FakeGlobalShortcutsPortal>(State::asking);
    test::PreferencesFixture fx(portal);
    EXPECT_FALSE(notes(fx).contains("morvane --quick-panel"));
    // The fields show the keys the desktop holds, as they change there, and the stored ones again
    // once the desktop holds none.
    const auto fields = [&fx] {
        QStringList texts;
        for (const HotkeyCaptureButton* field :
             fx.window->sectionPage(PreferenceSection::keyboard)->findChildren<HotkeyCaptureButton*>())
            texts.append(field->displayedText());
        return texts;
    };
    EXPECT_EQ(fields(), (QStringList{"Ctrl+Super+L", "Ctrl+Super+G"}));
    portal->answer(State::available);
    portal->setTriggers({{"quick-panel", "Meta+Ctrl+L"}, {"graph", ""}});
    EXPECT_TRUE(notes(fx).contains("Morvane “Meta+Ctrl+L”, Graph no keys"));
    EXPECT_FALSE(notes(fx).contains("morvane --quick-panel"));
    EXPECT_EQ(fields(), (QStringList{"Meta+Ctrl+L", "None"}));
    portal->setTriggers({{"quick-panel", "Meta+Ctrl+K"}, {"graph", "Meta+Ctrl+G"}});
    EXPECT_EQ(fields(), (QStringList{"Meta+Ctrl+K", "Meta+Ctrl+G"}));
    portal->answer(State::unavailable);
    EXPECT_TRUE(notes(fx).contains("“morvane --quick-panel”"));
    EXPECT_EQ(fields(), (QStringList{"Ctrl+Super+L", "Ctrl+Super+G"}));
}

// About's first steps name the keys that open Morvane from any window: on a Wayland session (sway,
// GNOME) the X11 grab fires only while an X11 window has the keyboard, so they say what the Keyboard
// page says there: the command to bind, or the keys the desktop's shortcuts portal holds.
TEST(PreferencesWindowTests, StartHereNamesKeysThatWorkOnTheSession)
{
    const auto startHere = [](test::PreferencesFixture& fx) {
        QStringList texts;
        for (const QLabel* label :
             fx.window->sectionPage(PreferenceSection::about)->findChildren<QLabel*>()) {
            if (label->text().contains("then type to search") || label->text().contains("relation graph"))
                texts << label->text().section(u',', 0, 0).section(" to open", 0, 0);
        }
        return texts;
    };
    {
        test::PreferencesFixture fx;
        EXPECT_EQ(startHere(fx), (QStringList{"Press Ctrl+Super+L", "Press Ctrl+Super+G"}));
    }
    const test::ScopedEnvironmentVariable session("WAYLAND_DISPLAY", QByteArray("wayland-1"));
    const test::ScopedEnvironmentVariable desktop("XDG_CURRENT_DESKTOP", QByteArray("sway"));
    {
        test::PreferencesFixture fx;
        EXPECT_EQ(
            startHere(fx),
            (QStringList{"Press keys you bind in your desktop's keyboard settings to “morvane --quick-panel”",
                         "Press keys you bind in your desktop's keyboard settings to “morvane --graph”"}));
    }
    const test::ScopedEnvironmentVariable gnome("XDG_CURRENT_DESKTOP", QByteArray("ubuntu:GNOME"));
    using State = GlobalShortcutsPortal::State;
    auto portal = std::make_shared<test::FakeGlobalShortcutsPortal>(State::asking);
    test::PreferencesFixture fx(portal);
    EXPECT_EQ(startHere(fx), (QStringList{"Press Ctrl+Super+L", "Press Ctrl+Super+G"}));
    portal->answer(State::available);
    portal->setTriggers({{"quick-panel", "Meta+Ctrl+L"}, {"graph", ""}});
    EXPECT_EQ(startHere(fx),
              (QStringList{"Press Meta+Ctrl+L",
                           "Give “Graph” keys in your desktop's shortcut settings and press them"}));
    portal->answer(State::unavailable);
    EXPECT_EQ(startHere(fx),
              (QStringList{
                  "Press keys you bind in Settings › Keyboard › Custom Shortcuts to “morvane --quick-panel”",
                  "Press keys you bind in Settings › Keyboard › Custom Shortcuts to “morvane --graph”"}));
}

TEST(PreferencesWindowTests, TheShortcutRecorderSuspendsTheShortcutsAndProposesOnlyCombinations)
{
    test::PreferencesFixture fx;
    fx.window->selectSection(PreferenceSection::keyboard);
    fx.window->show();
    QWidget* keyboard = fx.window->sectionPage(PreferenceSection::keyboard);
    auto fields = keyboard->findChildren<HotkeyCaptureButton*>();
    ASSERT_EQ(fields.size(), 2);
    HotkeyCaptureButton* quickPanel = fields[0];
    HotkeyCaptureButton* graph = fields[1];
    ASSERT_EQ(fx.backend->held.size(), 2);

    QTest::mouseClick(quickPanel, Qt::LeftButton);
    EXPECT_TRUE(quickPanel->isRecording());
    EXPECT_EQ(quickPanel->displayedText(), "Ctrl+Super+L");
    EXPECT_TRUE(fx.backend->held.isEmpty());
    // A second recorder listening at once keeps them suspended until both stop.
    QTest::mouseClick(graph, Qt::LeftButton);
    QTest::keyClick(graph, Qt::Key_Escape, Qt::MetaModifier);
    EXPECT_FALSE(graph->isRecording());
    EXPECT_TRUE(fx.backend->held.isEmpty());

    // A key without a modifier is shown but not proposed; held modifiers show as symbols.
    QTest::keyClick(quickPanel, Qt::Key_K);
    EXPECT_TRUE(quickPanel->isRecording());
    EXPECT_EQ(quickPanel->displayedText(), "K");
    // As the window system reports them: the state before the event, so a press does not yet hold
    // its own modifier and a release still does.
    sendKey(quickPanel, QEvent::KeyPress, Qt::Key_Control, Qt::NoModifier);
    sendKey(quickPanel, QEvent::KeyPress, Qt::Key_Alt, Qt::ControlModifier);
    EXPECT_EQ(quickPanel->displayedText(), "Ctrl+Alt");
    sendKey(quickPanel, QEvent::KeyRelease, Qt::Key_Alt, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_EQ(quickPanel->displayedText(), "Ctrl");
    sendKey(quickPanel, QEvent::KeyRelease, Qt::Key_Control, Qt::ControlModifier);
    EXPECT_EQ(quickPanel->displayedText(), "Ctrl+Super+L");

    QTest::keyClick(quickPanel, Qt::Key_K, Qt::ControlModifier | Qt::MetaModifier);
    EXPECT_FALSE(quickPanel->isRecording());
    EXPECT_EQ(fx.preferences->hotkeys().quickPanelHotkey(), (GlobalHotkeyBinding{40, controlCommand}));
    EXPECT_EQ(quickPanel->displayedText(), "Ctrl+Super+K");
    EXPECT_EQ(fx.preferences->hotkeys().hotkeyRecordingSuspendCount(), 0);
    ASSERT_EQ(fx.backend->held.size(), 2);
    EXPECT_EQ(fx.backend->held[0].keyCode, 40);

    // The graph's shortcut typed into the quick panel's field swaps the two.
    QTest::mouseClick(quickPanel, Qt::LeftButton);
    QTest::keyClick(quickPanel, Qt::Key_G, Qt::ControlModifier | Qt::MetaModifier);
    EXPECT_EQ(fx.preferences->hotkeys().quickPanelHotkey(), (GlobalHotkeyBinding{5, controlCommand}));
    EXPECT_EQ(graph->displayedText(), "Ctrl+Super+K");

    // One another application holds is refused: the old shortcut comes back with the reason.
    fx.backend->refuse(17, controlCommand);
    QTest::mouseClick(graph, Qt::LeftButton);
    QTest::keyClick(graph, Qt::Key_T, Qt::ControlModifier | Qt::MetaModifier);
    EXPECT_FALSE(graph->isRecording());
    EXPECT_EQ(graph->displayedText(), "Ctrl+Super+K");
    auto* reason =
        withText<PreferenceMessage>(keyboard, "“Ctrl+Super+T” is already used by another application.");
    ASSERT_NE(reason, nullptr);
    EXPECT_TRUE(reason->isVisible());
    EXPECT_EQ(reason->messageStyle(), MessageStyle::error);
    EXPECT_EQ(fx.backend->held.size(), 2);

    // Closing the window stops a recorder, so the shortcuts are never left suspended behind it.
    QTest::mouseClick(graph, Qt::LeftButton);
    EXPECT_TRUE(fx.backend->held.isEmpty());
    fx.window->close();
    EXPECT_EQ(fx.backend->held.size(), 2);
}

TEST(PreferencesWindowTests, SyncNowFollowsTheModeAndTheFoldersListFollowsTheStore)
{
    test::PreferencesFixture fx;
    QWidget* sync = fx.window->sectionPage(PreferenceSection::sync);
    QAbstractButton* syncNow = fx.button("Sync Now");
    EXPECT_FALSE(syncNow->isEnabled());
    emit labelled<QComboBox>(sync, "Sync")->activated(1);
    EXPECT_EQ(fx.defaults->stringValue(Keys::syncMode), "iCloud");
    ASSERT_TRUE(
        test::eventually([&] { return fx.preferences->sync().syncStatus() == SyncStatus::upToDate; }));
    EXPECT_TRUE(syncNow->isEnabled());
    const int passes = fx.sync->syncCalls;
    fx.sync->holdPasses = true;
    syncNow->click();
    ASSERT_TRUE(test::eventually([&] { return fx.sync->passesInFlight == 1; }));
    EXPECT_FALSE(syncNow->isEnabled());
    fx.sync->releasePasses();
    ASSERT_TRUE(test::eventually([&] { return syncNow->isEnabled(); }));
    EXPECT_EQ(fx.sync->syncCalls, passes + 1);

    // The Files page and the repair card share one list, which takes several folders of one choice;
    // removing its last folder saves an empty one.
    QWidget* files = fx.window->sectionPage(PreferenceSection::files);
    const QString second = test::testHome() + "/second";
    fx.fileDialogs->answers = {test::testHome() + "\n" + second};
    fx.click("Add Folder to Search");
    ASSERT_EQ(fx.defaults->stringListValue(KnownRootsStore::key), (QStringList{test::testHome(), second}));
    EXPECT_EQ(withText<PreferenceMessage>(files, "No folders added yet."), nullptr);
    for (const int left : {1, 0}) {
        auto removes = files->findChildren<QAbstractButton*>();
        removes.removeIf([](QAbstractButton* button) { return button->toolTip() != "Remove folder"; });
        ASSERT_EQ(removes.size(), left + 1);
        removes[0]->click();
    }
    EXPECT_EQ(fx.defaults->stringListValue(KnownRootsStore::key), QStringList{});
    EXPECT_NE(withText<PreferenceMessage>(files, "No folders added yet."), nullptr);
}

} // namespace
} // namespace morvane
