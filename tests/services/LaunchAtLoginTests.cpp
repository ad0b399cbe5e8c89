#include "services/LaunchAtLogin.h"
#include "services/MachineIdentity.h"

#include "FakeLoginItem.h"
#include "foundation/UserDefaults.h"
#include "foundation/Uuid.h"

#include <gtest/gtest.h>

namespace morvane {
namespace {

TEST(LaunchAtLogin, TheItemChangesOnlyWhenItIsNotAsAsked)
{
    test::FakeLoginItem item;
    setLaunchAtLoginEnabled(item, true);
    setLaunchAtLoginEnabled(item, true);
    EXPECT_EQ(item.registerCalls, 1);

    for (const auto& [status, removed] : {std::pair{LoginItemStatus::enabled, 1},
                                          {LoginItemStatus::requiresApproval, 1},
                                          {LoginItemStatus::notRegistered, 0},
                                          {LoginItemStatus::notFound, 0}}) {
        test::FakeLoginItem disabling;
        disabling.currentStatus = status;
        setLaunchAtLoginEnabled(disabling, false);
        EXPECT_EQ(disabling.unregisterCalls, removed) << int(status);
    }
}

TEST(MachineIdentity, MadeOnceAndAnEmptyValueCountsAsNone)
{
    const auto defaults = UserDefaults::inMemory();
    const QString key = QStringLiteral("machine.identity.id");
    defaults->setString(key, QString());
    const QString identifier = machineIdentifier(*defaults, key);
    EXPECT_TRUE(parseUuid(identifier));
    EXPECT_EQ(identifier, identifier.toUpper());
    EXPECT_EQ(defaults->stringValue(key), identifier);
    EXPECT_EQ(machineIdentifier(*defaults, key), identifier);
}

} // namespace
} // namespace morvane
