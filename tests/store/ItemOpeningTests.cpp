#include "LinkStoreTestSupport.h"
#include "RecordingOpener.h"
#include "store/ItemOpening.h"

#include <QCoro/QCoroTask>

#include <gtest/gtest.h>

#include <stdexcept>

using namespace morvane;
using namespace morvane::test;

namespace {

const FileIdentity storedEvidence{"old", {}, {}, "/a", "hash", 1};

// Hands the stored evidence it was given back to the test, then fails.
class FailingOpener final : public ItemOpener {
public:
    QCoro::Task<std::optional<FileIdentity>> open(LinkItem,
                                                  std::optional<FileIdentity> localResolution) override
    {
        given = localResolution;
        throw std::runtime_error("the opener failed");
        co_return std::nullopt;
    }

    std::optional<FileIdentity> given;
};

// Whether the opening failed. QCoro::waitFor never returns from a task that throws.
QCoro::Task<bool> fails(QCoro::Task<> opening)
{
    try {
        co_await std::move(opening);
    } catch (...) {
        co_return true;
    }
    co_return false;
}

struct OpeningFixture : StoreFixture {
    LinkItem item = LinkStoreDatabase(*store)
                        .run([](SQLiteStore& sqlite) { return addLink(sqlite, makeLink("Docs")); })
                        .result();

    void storeEvidence()
    {
        LinkStoreDatabase(*store)
            .run([id = item.id](SQLiteStore& sqlite) {
                sqlite.writes().upsertLocalResolution(id, storedEvidence, false);
            })
            .waitForFinished();
    }
    std::optional<FileIdentity> evidence()
    {
        return LinkStoreDatabase(*store)
            .run([id = item.id](SQLiteStore& sqlite) { return sqlite.fileLookups().localResolution(id); })
            .result();
    }
};

} // namespace

TEST(ItemOpening, TheOpenerGetsTheStoredEvidenceAndAnOpenerThatFailsLeavesNothingRecorded)
{
    OpeningFixture fx;
    fx.storeEvidence();
    auto opener = std::make_shared<FailingOpener>();
    ItemOpening opening(*fx.store, opener);
    EXPECT_TRUE(QCoro::waitFor(fails(opening.open(fx.item))));
    EXPECT_EQ(opener->given, storedEvidence);
    EXPECT_FALSE(fx.stored(fx.item.id)->lastOpenedAt);
    EXPECT_EQ(fx.evidence(), storedEvidence);
}

// A library whose evidence table is gone: a window still opens the item (and cannot record it), a link
// from another application fails with the library's error and opens nothing.
TEST(ItemOpening, UnreadableEvidenceOpensWithoutItOrFailsAsTheCallerAsks)
{
    OpeningFixture fx;
    writeRaw({"DROP TABLE link_local_resolutions"});
    auto opener = std::make_shared<RecordingOpener>();
    ItemOpening opening(*fx.store, opener);

    EXPECT_FALSE(QCoro::waitFor(fails(opening.open(fx.item))));
    ASSERT_EQ(opener->opened.size(), 1);
    EXPECT_EQ(opener->opened[0].id, fx.item.id);

    EXPECT_TRUE(QCoro::waitFor(fails(opening.open(fx.item, ItemOpening::UnreadableEvidence::fail))));
    EXPECT_EQ(opener->opened.size(), 1);
}
