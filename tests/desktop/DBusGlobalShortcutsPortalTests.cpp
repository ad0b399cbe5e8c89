#include "FakeDesktopPortal.h"
#include "desktop/DBusGlobalShortcutsPortal.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace morvane {
namespace {

using test::FakeDesktopPortal;
using test::PrivateMessageBus;
using State = GlobalShortcutsPortal::State;

const QList<PortalShortcut> ourShortcuts{
    {PortalShortcutId::quickPanel, QStringLiteral("Open Morvane"), QStringLiteral("CTRL+LOGO+l")},
    {PortalShortcutId::graph, QStringLiteral("Open Graph"), QStringLiteral("CTRL+LOGO+g")},
};

// The portal under test and a fake desktop on a bus of their own.
class DBusGlobalShortcutsPortalTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!bus.isRunning())
            GTEST_FAIL() << "dbus-daemon did not start";
        desktop.keys = {{PortalShortcutId::quickPanel, QStringLiteral("Meta+Ctrl+L")},
                        {PortalShortcutId::graph, QStringLiteral("Meta+Ctrl+G")}};
    }

    // Made after the test has set the desktop's answers.
    DBusGlobalShortcutsPortal& start()
    {
        portal = std::make_unique<DBusGlobalShortcutsPortal>(bus.connect(QStringLiteral("morvane")));
        portal->bindShortcuts(ourShortcuts);
        return *portal;
    }
    bool settles(State state)
    {
        return QTest::qWaitFor([&] { return portal->state() == state; }, 10000);
    }

    PrivateMessageBus bus;
    FakeDesktopPortal desktop{bus.connect(QStringLiteral("desktop"))};
    std::unique_ptr<DBusGlobalShortcutsPortal> portal;
};

// The desktop holds the shortcuts only once they are bound; until then the page gives no advice
// and the grabs are not taken for a failure.
TEST_F(DBusGlobalShortcutsPortalTest, HoldsTheShortcutsOnceBoundWithTheDesktopsKeysAsTheyChange)
{
    DBusGlobalShortcutsPortal& shortcuts = start();
    EXPECT_EQ(shortcuts.state(), State::asking);
    ASSERT_TRUE(settles(State::available));
    EXPECT_EQ(desktop.calls, (QStringList{"Get", "CreateSession", "BindShortcuts"}));
    EXPECT_EQ(shortcuts.triggerDescriptions(), desktop.keys);

    QSignalSpy changed(&shortcuts, &GlobalShortcutsPortal::triggerDescriptionsChanged);
    desktop.changeKeys({{PortalShortcutId::quickPanel, QStringLiteral("Meta+Ctrl+K")},
                        {PortalShortcutId::graph, QStringLiteral("Meta+Ctrl+G")}});
    ASSERT_TRUE(changed.wait(10000));
    EXPECT_EQ(shortcuts.triggerDescriptions().value(PortalShortcutId::quickPanel),
              QStringLiteral("Meta+Ctrl+K"));

    QSignalSpy activated(&shortcuts, &GlobalShortcutsPortal::activated);
    desktop.press(PortalShortcutId::graph);
    ASSERT_TRUE(activated.wait(10000));
    EXPECT_EQ(activated.first().first().toString(), PortalShortcutId::graph);
}

// The desktop keeps its keys while the shortcuts are released (a recorder listens) and while a new
// set is bound; a desktop that kept every key it had still answers the new set, and says so.
TEST_F(DBusGlobalShortcutsPortalTest, TheDesktopsKeysStayThroughARebindingWhoseAnswerIsToldEvenWhenUnchanged)
{
    DBusGlobalShortcutsPortal& shortcuts = start();
    ASSERT_TRUE(settles(State::available));
    QSignalSpy changed(&shortcuts, &GlobalShortcutsPortal::triggerDescriptionsChanged);
    QSignalSpy bound(&shortcuts, &GlobalShortcutsPortal::shortcutsBound);

    shortcuts.bindShortcuts({});
    ASSERT_TRUE(QTest::qWaitFor([&] { return desktop.calls.endsWith("Close"); }, 10000));
    EXPECT_EQ(shortcuts.triggerDescriptions(), desktop.keys);
    QList<PortalShortcut> recorded = ourShortcuts;
    recorded[0].preferredTrigger = QStringLiteral("CTRL+ALT+m");
    shortcuts.bindShortcuts(recorded);
    EXPECT_EQ(shortcuts.triggerDescriptions(), desktop.keys);
    ASSERT_TRUE(bound.wait(10000));
    EXPECT_EQ(desktop.calls.count("BindShortcuts"), 2);
    EXPECT_EQ(shortcuts.triggerDescriptions(), desktop.keys);
    EXPECT_EQ(changed.size(), 0);
}

// The KDE backend chosen by the portal on a desktop it does not serve lists version 1, then refuses
// the session; a portal without the interface, or too old, is refused before any session is asked.
TEST_F(DBusGlobalShortcutsPortalTest, AFailedSessionOrBindingOrAMissingVersionMeansTheDesktopHoldsNothing)
{
    struct Case {
        const char* name;
        std::optional<uint> version;
        uint createSession;
        uint bind;
        QStringList calls;
    };
    const QList<Case> cases{
        {"session refused", 1, 2, 0, {"Get", "CreateSession"}},
        // The session the desktop made is closed again.
        {"binding cancelled", 1, 0, 1, {"Get", "CreateSession", "BindShortcuts", "Close"}},
        {"no version", std::nullopt, 0, 0, {"Get"}},
        {"version 0", 0, 0, 0, {"Get"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        desktop.calls.clear();
        desktop.version = c.version;
        desktop.createSessionAnswer = c.createSession;
        desktop.bindAnswer = c.bind;
        DBusGlobalShortcutsPortal& shortcuts = start();
        QSignalSpy stateChanges(&shortcuts, &GlobalShortcutsPortal::stateChanged);
        ASSERT_TRUE(settles(State::unavailable));
        EXPECT_EQ(stateChanges.size(), 1);
        EXPECT_TRUE(shortcuts.triggerDescriptions().isEmpty());
        // Nothing more is asked of a desktop that refused: a new set stays with the grabs.
        shortcuts.bindShortcuts(ourShortcuts.mid(0, 1));
        QTest::qWait(50);
        EXPECT_EQ(desktop.calls, c.calls);
        EXPECT_EQ(shortcuts.state(), State::unavailable);
    }
}

} // namespace
} // namespace morvane
