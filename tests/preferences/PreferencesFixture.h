#pragma once

#include "FakeGlobalShortcutsPortal.h"
#include "FakeHotkeyBackend.h"
#include "FakeLoginItem.h"
#include "InMemoryCalendarStore.h"
#include "InMemoryContactStore.h"
#include "InMemorySyncService.h"
#include "ScriptedAlertPresenter.h"
#include "ScriptedFileDialogPresenter.h"
#include "TestEnvironment.h"
#include "files/FileHashCache.h"
#include "files/FileIdentityService.h"
#include "foundation/UserDefaults.h"
#include "preferences/PreferencesWindow.h"
#include "services/HotkeyService.h"
#include "services/PreferencesStore.h"
#include "services/QuickPanelTipStore.h"
#include "services/Updater.h"
#include "store/LinkStore.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QLabel>
#include <QTest>

#include <functional>

#include <gtest/gtest.h>

namespace morvane::test {

inline bool eventually(const std::function<bool()>& condition)
{
    return QTest::qWaitFor(condition, 10000);
}

// The first widget of that type under root whose text is exactly text.
template <class W> W* withText(QWidget* root, const QString& text)
{
    for (W* widget : root->findChildren<W*>()) {
        if (widget->text() == text)
            return widget;
    }
    return nullptr;
}

// The control a row's label names.
template <class W> W* labelled(QWidget* root, const QString& label)
{
    QLabel* caption = withText<QLabel>(root, label);
    return caption ? qobject_cast<W*>(caption->buddy()) : nullptr;
}

// The real window over a settings model whose settings live in a temporary folder, a library of its
// own, the recording shortcuts of a fake window system (or the given backend), and scripted panels
// and alerts.
struct PreferencesFixture {
    explicit PreferencesFixture(std::shared_ptr<GlobalShortcutsPortal> shortcutsPortal = nullptr,
                                std::shared_ptr<HotkeyBackend> hotkeyBackend = nullptr)
        : hotkeys(hotkeyBackend ? std::move(hotkeyBackend) : backend)
    {
        PreferencesStore::Services services;
        services.defaults = defaults;
        services.calendarStore = calendars;
        services.contactStore = contacts;
        services.quickPanelTipStore = std::make_shared<QuickPanelTipStore>(defaults);
        services.syncService = sync;
        services.loginItem = loginItem;
        services.linkStore = library.get();
        services.validateHotkey = [this](const GlobalHotkeyBinding& candidate, bool forGraph,
                                         const GlobalHotkeyBinding& quickPanel,
                                         const GlobalHotkeyBinding& graph) {
            return hotkeys.validate(candidate, forGraph, quickPanel, graph);
        };
        preferences = std::make_unique<PreferencesStore>(std::move(services));
        // As the application does: the shortcuts follow the settings and give way to a recorder.
        HotkeySettings* shortcuts = &preferences->hotkeys();
        QObject::connect(shortcuts, &HotkeySettings::hotkeysChanged, [this] { registerHotkeys(); });
        QObject::connect(shortcuts, &HotkeySettings::recordingSuspendedChanged, [this](bool suspended) {
            hotkeys.setRecordingSuspended(suspended);
            if (suspended)
                hotkeys.unregisterAll();
            else
                registerHotkeys();
        });
        registerHotkeys();
        window = std::make_unique<PreferencesWindow>(
            PreferencesWindowServices{*preferences, updater, defaults, fileDialogs, alerts, nullptr, nullptr,
                                      nullptr, shortcutsPortal});
    }

    void registerHotkeys()
    {
        const HotkeySettings& shortcuts = preferences->hotkeys();
        hotkeys.registerHotkeys({{1, shortcuts.quickPanelHotkey(), {}}, {2, shortcuts.graphHotkey(), {}}});
    }

    QAbstractButton* button(const QString& text) const
    {
        return withText<QAbstractButton>(window.get(), text);
    }
    void click(const QString& text) const
    {
        QAbstractButton* found = button(text);
        ASSERT_NE(found, nullptr) << text.toStdString();
        found->click();
    }
    void waitForDatabaseAction() const
    {
        ASSERT_TRUE(eventually([this] { return !preferences->databaseAction().inProgress(); }));
    }

    std::shared_ptr<InMemoryCalendarStore> calendars = std::make_shared<InMemoryCalendarStore>();
    std::shared_ptr<InMemoryContactStore> contacts = std::make_shared<InMemoryContactStore>();
    std::shared_ptr<UserDefaults> defaults =
        std::make_shared<UserDefaults>(testHome() + QStringLiteral("/defaults.json"));
    std::shared_ptr<FakeLoginItem> loginItem = std::make_shared<FakeLoginItem>();
    std::shared_ptr<InMemorySyncService> sync = std::make_shared<InMemorySyncService>();
    std::shared_ptr<FakeHotkeyBackend> backend = std::make_shared<FakeHotkeyBackend>();
    HotkeyService hotkeys;
    std::unique_ptr<LinkStore> library =
        std::make_unique<LinkStore>(LinkStore::libraryAt(testHome() + QStringLiteral("/library.sqlite")),
                                    std::make_shared<FileIdentityService>(std::make_shared<FileHashCache>()));
    std::unique_ptr<PreferencesStore> preferences;
    std::shared_ptr<ScriptedFileDialogPresenter> fileDialogs =
        std::make_shared<ScriptedFileDialogPresenter>();
    std::shared_ptr<ScriptedAlertPresenter> alerts = std::make_shared<ScriptedAlertPresenter>();
    Updater updater{alerts};
    std::unique_ptr<PreferencesWindow> window;
};

} // namespace morvane::test
