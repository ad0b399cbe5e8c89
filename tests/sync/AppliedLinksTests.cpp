#include "SyncTestSupport.h"

#include "store/SyncedLibrary.h"

#include <gtest/gtest.h>

namespace morvane::test {
namespace {

// A batch commits what came before a link the library refuses, undoes that link with its tags, applies
// nothing after it, and gives the caller the error.
TEST(AppliedLinks, ABatchKeepsTheLinksBeforeOneRefusedAndStopsThere)
{
    Machine machine("applied", std::make_shared<InMemoryRecordStore>());
    LinkItem local = makeLink("Local", {}, "2024-05-01T09:00:00.000Z");
    local.tags = {"local"};
    machine.add(local);
    machine.on([](SQLiteStore& sqlite) {
        rawLibrary(sqlite).execute("CREATE TRIGGER refuse BEFORE INSERT ON link_tags WHEN (SELECT name FROM "
                                   "tags WHERE id = new.tag_id) = 'refused' BEGIN SELECT RAISE(ABORT, "
                                   "'refused'); END");
    });
    LinkItem first = makeLink("First");
    first.tags = {"first"};
    LinkItem refused = local;
    refused.title = "Refused";
    refused.updatedAt = at("2030-01-01T00:00:00.000Z");
    refused.tags = {"fine", "refused"};
    const LinkItem last = makeLink("Last");

    EXPECT_THROW(
        SyncedLibrary(*machine.store).applyLinks({{first}, {refused, true}, {last, true}}).waitForFinished(),
        StoreError);
    EXPECT_EQ(machine.link(first.id).value().tags, first.tags);
    EXPECT_EQ(machine.link(local.id), local);
    EXPECT_FALSE(machine.link(last.id).has_value());
    EXPECT_EQ(
        machine.on([](SQLiteStore& sqlite) { return texts(sqlite, "SELECT name FROM tags ORDER BY name"); }),
        QStringList({"first", "local"}));
}

} // namespace
} // namespace morvane::test
