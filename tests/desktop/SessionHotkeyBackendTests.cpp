#include "FakeGlobalShortcutsPortal.h"
#include "FakeHotkeyBackend.h"
#include "ManualClock.h"
#include "desktop/HotkeyKeyTable.h"
#include "desktop/SessionHotkeyBackend.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

namespace morvane {
namespace {

using test::FakeGlobalShortcutsPortal;
using test::FakeHotkeyBackend;
using namespace std::chrono_literals;

constexpr quint32 signature = 0x4d72766e;
constexpr HotkeyIdentity panel{signature, 1};
constexpr HotkeyIdentity graph{signature, 2};
constexpr HotkeyIdentity probe{0x4d765072, 65535};
constexpr quint32 ctrlCommand = 0x1100;

struct Session {
    explicit Session(std::shared_ptr<FakeGlobalShortcutsPortal> withPortal)
        : portal(std::move(withPortal))
        , backend(grabs, portal,
                  {{panel, QStringLiteral("quick-panel"), QStringLiteral("Open Morvane")},
                   {graph, QStringLiteral("graph"), QStringLiteral("Open Graph")}},
                  clock)
    {
        backend.installPressHandler([this](HotkeyIdentity identity) { pressed.append(identity.id); });
    }

    std::shared_ptr<FakeHotkeyBackend> grabs = std::make_shared<FakeHotkeyBackend>();
    std::shared_ptr<test::ManualClock> clock = std::make_shared<test::ManualClock>();
    std::shared_ptr<FakeGlobalShortcutsPortal> portal;
    SessionHotkeyBackend backend;
    QList<quint32> pressed;
};

TEST(PortalTriggerText, SpellsTheStoredShortcutAsThePortalReadsIt)
{
    EXPECT_EQ(portalTriggerText(5, 0x1000 | 0x800 | 0x200 | 0x100), QStringLiteral("CTRL+ALT+SHIFT+LOGO+g"));
    EXPECT_EQ(portalTriggerText(49, 0x800), QStringLiteral("ALT+space"));
    EXPECT_EQ(portalTriggerText(83, 0x100), QStringLiteral("LOGO+KP_1"));
    EXPECT_EQ(portalTriggerText(200, 0x100), QString());
}

TEST(SessionHotkeyBackend, HandsTheDesktopOneSetPerTurnWithoutTheProbe)
{
    Session session(std::make_shared<FakeGlobalShortcutsPortal>());
    auto& backend = session.backend;
    const HotkeyRef first = *backend.registerHotkey(37, ctrlCommand, panel).ref;
    backend.registerHotkey(5, ctrlCommand, graph);
    QCoreApplication::processEvents();
    ASSERT_EQ(session.portal->bound.size(), 1);
    EXPECT_EQ(
        session.portal->bound.last(),
        (QList<PortalShortcut>{
            {QStringLiteral("quick-panel"), QStringLiteral("Open Morvane"), QStringLiteral("CTRL+LOGO+l")},
            {QStringLiteral("graph"), QStringLiteral("Open Graph"), QStringLiteral("CTRL+LOGO+g")}}));

    // The availability probe: everything released, the candidate tried, everything registered again.
    backend.unregisterHotkey(first);
    const auto tried = backend.registerHotkey(38, ctrlCommand, probe);
    backend.unregisterHotkey(*tried.ref);
    const HotkeyRef again = *backend.registerHotkey(37, ctrlCommand, panel).ref;
    QCoreApplication::processEvents();
    EXPECT_EQ(session.portal->bound.size(), 1);
    EXPECT_EQ(session.grabs->attempts.last(), panel);

    // Released (a recorder listens): the desktop is told, and a press it still sends runs nothing.
    backend.unregisterHotkey(again);
    QCoreApplication::processEvents();
    EXPECT_EQ(session.portal->bound.last().size(), 1);
    session.portal->press(QStringLiteral("quick-panel"));
    EXPECT_TRUE(session.pressed.isEmpty());
}

// Whatever the desktop offers, each call reaches the window system's grabs: one dropped on the way
// leaves the grabs in a state the application never asked for (a keyboard held after its window hid).
TEST(SessionHotkeyBackend, PassesEveryCallOnToTheWindowSystem)
{
    for (const bool withPortal : {false, true}) {
        Session session(withPortal ? std::make_shared<FakeGlobalShortcutsPortal>() : nullptr);
        FakeHotkeyBackend& grabs = *session.grabs;
        EXPECT_EQ(grabs.handlerInstalls, 1);

        const HotkeyRef ref = *session.backend.registerHotkey(5, ctrlCommand, graph).ref;
        ASSERT_EQ(grabs.held.size(), 1);
        EXPECT_EQ(grabs.held.first().identity, graph);
        grabs.press(5, ctrlCommand);
        EXPECT_EQ(session.pressed, QList<quint32>{2});

        session.backend.endKeyHold();
        EXPECT_EQ(grabs.keyHoldEnds, 1);

        session.backend.unregisterHotkey(ref);
        EXPECT_TRUE(grabs.held.isEmpty());
    }
}

TEST(SessionHotkeyBackend, APressBothReportRunsOnceAndRepeatedPressesEachRun)
{
    Session session(std::make_shared<FakeGlobalShortcutsPortal>());
    session.backend.registerHotkey(37, ctrlCommand, panel);
    session.backend.registerHotkey(5, ctrlCommand, graph);

    session.portal->press(QStringLiteral("quick-panel"));
    session.clock->advance(40ms);
    session.grabs->press(37, ctrlCommand);
    EXPECT_EQ(session.pressed, QList<quint32>{1});

    // Two presses from one source are two presses, however quick.
    session.clock->advance(1s);
    session.grabs->press(37, ctrlCommand);
    session.clock->advance(50ms);
    session.grabs->press(37, ctrlCommand);
    EXPECT_EQ(session.pressed, (QList<quint32>{1, 1, 1}));

    // The other source's report of the last press is dropped; a later one is a new press, and a
    // different shortcut is never mistaken for the same press.
    session.portal->press(QStringLiteral("quick-panel"));
    session.portal->press(QStringLiteral("graph"));
    session.clock->advance(SessionHotkeyBackend::samePressWindow);
    session.grabs->press(5, ctrlCommand);
    EXPECT_EQ(session.pressed, (QList<quint32>{1, 1, 1, 2, 2}));
}

TEST(SessionHotkeyBackend, TheDesktopHoldsWhatTheWindowSystemRefuses)
{
    // Through the portal the desktop settles conflicts; without it, a refused grab is a failure.
    for (const auto state : {GlobalShortcutsPortal::State::available, GlobalShortcutsPortal::State::asking,
                             GlobalShortcutsPortal::State::unavailable}) {
        Session session(std::make_shared<FakeGlobalShortcutsPortal>(state));
        session.grabs->refuse(37, ctrlCommand);
        session.grabs->refuse(38, ctrlCommand);
        const bool viaPortal = state != GlobalShortcutsPortal::State::unavailable;
        EXPECT_EQ(session.backend.registerHotkey(37, ctrlCommand, panel).status == HotkeyStatus::noError,
                  viaPortal);
        EXPECT_EQ(session.backend.registerHotkey(38, ctrlCommand, probe).status, 10);
    }

    Session withoutPortal(nullptr);
    withoutPortal.grabs->refuse(37, ctrlCommand);
    EXPECT_EQ(withoutPortal.backend.registerHotkey(37, ctrlCommand, panel).status, 10);
}

} // namespace
} // namespace morvane
