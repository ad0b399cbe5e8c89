#include "services/HotkeyService.h"

#include "FakeHotkeyBackend.h"
#include "LogCapture.h"

#include <QCoreApplication>
#include <QStringList>

#include <gtest/gtest.h>

namespace morvane {
namespace {

using test::controlCommand;
const GlobalHotkeyBinding quickPanelKey{37, controlCommand};
const GlobalHotkeyBinding graphKey{5, controlCommand};

class HotkeyServiceTest : public ::testing::Test {
protected:
    QList<HotkeyService::Registration> panelAndGraph()
    {
        return {{1, quickPanelKey, [this] { pressed.append(1); }},
                {2, graphKey, [this] { pressed.append(2); }}};
    }
    static QList<quint32> ids(const QList<HotkeyService::Registration>& registrations)
    {
        QList<quint32> result;
        for (const auto& registration : registrations)
            result.append(registration.id);
        return result;
    }

    std::shared_ptr<test::FakeHotkeyBackend> backend = std::make_shared<test::FakeHotkeyBackend>();
    HotkeyService service{backend};
    QList<quint32> pressed;
    const test::LogCapture log{"morvane.HotkeyService"};
};

TEST_F(HotkeyServiceTest, RefusedShortcutsAreReportedAndLoggedEachAndInvalidOnesDroppedWithoutAWord)
{
    backend->refuse(graphKey.keyCode, graphKey.carbonModifiers);
    auto registrations = panelAndGraph();
    registrations.append({3, {59, controlCommand}, [] {}});
    registrations.append({4, {37, 0}, [] {}});
    EXPECT_EQ(ids(service.registerHotkeys(registrations)), QList<quint32>{2});
    EXPECT_EQ(ids(service.registrations()), (QList<quint32>{1, 2}));
    EXPECT_EQ(backend->heldIds(), QList<quint32>{1});
    EXPECT_EQ(backend->attempts.first().signature, HotkeyService::fourCharCode("Mrvn"));

    backend->refuse(quickPanelKey.keyCode, quickPanelKey.carbonModifiers, -1);
    EXPECT_EQ(ids(service.registerHotkeys(panelAndGraph())), (QList<quint32>{1, 2}));
    EXPECT_TRUE(backend->held.isEmpty());
    EXPECT_EQ(log.lines(), (QStringList{QStringLiteral("Failed to register global hotkey ⌃⌘G: 10"),
                                        QStringLiteral("Failed to register global hotkey ⌃⌘L: -1"),
                                        QStringLiteral("Failed to register global hotkey ⌃⌘G: 10")}));
}

TEST_F(HotkeyServiceTest, PressesRunTheirActionsAfterTheEventInOrderUntilUnregistered)
{
    service.registerHotkeys(panelAndGraph());
    service.registerHotkeys(service.registrations());
    EXPECT_EQ(backend->handlerInstalls, 1);
    ASSERT_TRUE(backend->press(37, controlCommand));
    ASSERT_TRUE(backend->press(37, controlCommand));
    ASSERT_TRUE(backend->press(5, controlCommand));
    EXPECT_TRUE(pressed.isEmpty()) << "the action ran inside the event";
    QCoreApplication::processEvents();
    EXPECT_EQ(pressed, (QList<quint32>{1, 1, 2}));

    service.unregisterAll();
    EXPECT_FALSE(backend->press(37, controlCommand));
    service.registerHotkeys(service.registrations());
    EXPECT_EQ(backend->heldIds(), (QList<quint32>{1, 2}));

    // A press still queued when the service goes runs nothing.
    const auto otherBackend = std::make_shared<test::FakeHotkeyBackend>();
    {
        HotkeyService gone(otherBackend);
        gone.registerHotkeys({{3, {0, 0x100}, [this] { pressed.append(3); }}});
        otherBackend->press(0, 0x100);
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(pressed.size(), 3);
}

TEST_F(HotkeyServiceTest, ValidateProbesOnlyAFreshCandidateAndRestoresOurShortcuts)
{
    service.registerHotkeys(panelAndGraph());
    const qsizetype attempts = backend->attempts.size();
    EXPECT_EQ(service.validate(quickPanelKey, false, quickPanelKey, graphKey), HotkeyValidation::available);
    EXPECT_EQ(service.validate(quickPanelKey, true, quickPanelKey, graphKey),
              HotkeyValidation::sameAsOtherTarget);
    EXPECT_EQ(service.validate({58, controlCommand}, true, quickPanelKey, graphKey),
              HotkeyValidation::invalid);
    EXPECT_EQ(backend->attempts.size(), attempts);

    backend->refuse(49, 0x900);
    EXPECT_EQ(service.validate({49, 0x900}, false, quickPanelKey, graphKey), HotkeyValidation::inUse);
    EXPECT_EQ(service.validate({0, 0x200}, true, quickPanelKey, graphKey), HotkeyValidation::available);
    EXPECT_EQ(backend->attempts[attempts], (HotkeyIdentity{HotkeyService::fourCharCode("MvPr"), 65535}));
    EXPECT_EQ(backend->heldIds(), (QList<quint32>{1, 2}));

    // While a recorder records, the probe leaves every shortcut released.
    service.setRecordingSuspended(true);
    service.unregisterAll();
    EXPECT_EQ(service.validate({1, 0x100}, false, quickPanelKey, graphKey), HotkeyValidation::available);
    EXPECT_TRUE(backend->held.isEmpty());
}

} // namespace
} // namespace morvane
