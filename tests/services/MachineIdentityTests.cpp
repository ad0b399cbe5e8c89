#include "services/MachineIdentity.h"

#include "foundation/UserDefaults.h"
#include "foundation/Uuid.h"

#include <gtest/gtest.h>

namespace morvane {
namespace {

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
