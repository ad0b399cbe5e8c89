#include "FakeDesktopPortal.h"
#include "ManualClock.h"
#include "PreferencesFixture.h"
#include "desktop/DBusGlobalShortcutsPortal.h"
#include "desktop/SessionHotkeyBackend.h"
#include "preferences/HotkeyRecorder.h"
#include "preferences/PreferenceControls.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace morvane {
namespace {

using test::eventually;

QString keyboardNotes(const test::PreferencesFixture& fx)
{
    QStringList texts;
    for (const PreferenceMessage* message :
         fx.window->sectionPage(PreferenceSection::keyboard)->findChildren<PreferenceMessage*>())
        texts.append(message->text());
    return texts.join(u'\n');
}

// KDE holds the two shortcuts through its portal and keeps the keys it has when it is handed a new
// one. The recorder shows the desktop's key, also while it listens; a recorded key is stored and
// handed over, and when the desktop answers with its old key the page says so and where to change it.
TEST(DesktopHeldShortcuts, TheRecorderShowsTheDesktopsKeyAndSaysWhenTheDesktopKeptIt)
{
    const test::ScopedEnvironmentVariable wayland("WAYLAND_DISPLAY", QByteArray("wayland-0"));
    const test::ScopedEnvironmentVariable kde("XDG_CURRENT_DESKTOP", QByteArray("KDE"));
    test::PrivateMessageBus bus;
    ASSERT_TRUE(bus.isRunning());
    test::FakeDesktopPortal desktop(bus.connect(QStringLiteral("desktop")));
    desktop.keys = {{PortalShortcutId::quickPanel, QStringLiteral("Meta+Ctrl+K")},
                    {PortalShortcutId::graph, QStringLiteral("Meta+Ctrl+G")}};
    auto portal = std::make_shared<DBusGlobalShortcutsPortal>(bus.connect(QStringLiteral("morvane")));
    const quint32 signature = HotkeyService::registrationSignature();
    auto session = std::make_shared<SessionHotkeyBackend>(
        std::make_shared<test::FakeHotkeyBackend>(), portal,
        QList<SessionHotkeyBackend::PortalEntry>{
            {{signature, 1}, PortalShortcutId::quickPanel, QStringLiteral("Open Morvane")},
            {{signature, 2}, PortalShortcutId::graph, QStringLiteral("Open Graph")}},
        std::make_shared<test::ManualClock>());
    test::PreferencesFixture fx(portal, session);
    fx.window->selectSection(PreferenceSection::keyboard);
    fx.window->show();
    HotkeyCaptureButton* field =
        fx.window->sectionPage(PreferenceSection::keyboard)->findChildren<HotkeyCaptureButton*>().value(0);
    ASSERT_NE(field, nullptr);
    ASSERT_TRUE(eventually([&] { return field->displayedText() == "Meta+Ctrl+K"; }));

    // Recording the keys the desktop already gives the shortcut is no news.
    QSignalSpy bound(portal.get(), &GlobalShortcutsPortal::shortcutsBound);
    QTest::mouseClick(field, Qt::LeftButton);
    QTest::keyClick(field, Qt::Key_K, Qt::ControlModifier | Qt::MetaModifier);
    ASSERT_TRUE(bound.wait(10000));
    EXPECT_FALSE(keyboardNotes(fx).contains("kept"));

    // Listening releases the shortcuts at the desktop, which still has its key for them.
    QTest::mouseClick(field, Qt::LeftButton);
    ASSERT_TRUE(eventually([&] { return desktop.calls.endsWith("Close"); }));
    EXPECT_EQ(field->displayedText(), "Meta+Ctrl+K");
    QTest::keyPress(field, Qt::Key_Control, Qt::ControlModifier);
    EXPECT_EQ(field->displayedText(), "Ctrl");
    QTest::keyRelease(field, Qt::Key_Control, Qt::ControlModifier);
    EXPECT_EQ(field->displayedText(), "Meta+Ctrl+K");

    QTest::keyClick(field, Qt::Key_M, Qt::ControlModifier | Qt::AltModifier);
    const GlobalHotkeyBinding recorded{46, GlobalHotkeyBinding::controlKey | GlobalHotkeyBinding::optionKey};
    EXPECT_EQ(fx.preferences->hotkeys().quickPanelHotkey(), recorded);
    const QString keptNotice = "Your desktop kept “Meta+Ctrl+K” for Morvane: “Ctrl+Alt+M” opens it only "
                               "while a window of an X11 application has the keyboard. Change the "
                               "desktop's key in System Settings › Shortcuts.";
    ASSERT_TRUE(eventually([&] { return keyboardNotes(fx).contains(keptNotice); }))
        << keyboardNotes(fx).toStdString();
    EXPECT_EQ(desktop.calls.count("BindShortcuts"), 3);
    EXPECT_EQ(field->displayedText(), "Meta+Ctrl+K");

    // Changed in the desktop's settings, the key shows, and the notice goes.
    desktop.changeKeys({{PortalShortcutId::quickPanel, QStringLiteral("Ctrl+Alt+M")},
                        {PortalShortcutId::graph, QStringLiteral("Meta+Ctrl+G")}});
    ASSERT_TRUE(eventually([&] { return field->displayedText() == "Ctrl+Alt+M"; }));
    EXPECT_FALSE(keyboardNotes(fx).contains("kept"));
}

// Without a portal the page's advice names where each desktop binds keys to commands.
TEST(DesktopHeldShortcuts, TheAdviceToBindTheCommandsNamesTheDesktopsOwnPlace)
{
    const test::ScopedEnvironmentVariable wayland("WAYLAND_DISPLAY", QByteArray("wayland-0"));
    const QList<std::pair<QByteArray, QString>> places{
        {"ubuntu:GNOME", "bind keys in Settings › Keyboard › Custom Shortcuts to the commands"},
        {"KDE", "bind keys in System Settings › Shortcuts to the commands"},
        {"sway", "bind keys in your desktop's keyboard settings to the commands"},
    };
    for (const auto& [desktop, advice] : places) {
        const test::ScopedEnvironmentVariable session("XDG_CURRENT_DESKTOP", desktop);
        test::PreferencesFixture fx;
        EXPECT_TRUE(keyboardNotes(fx).contains(advice)) << desktop.toStdString();
    }
}

} // namespace
} // namespace morvane
