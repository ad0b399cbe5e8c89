#include "files/KnownRootsStore.h"
#include "foundation/UserDefaults.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace morvane;

namespace {

std::shared_ptr<UserDefaults> standardDefaults()
{
    return std::make_shared<UserDefaults>(UserDefaults::standardFilePath());
}

} // namespace

TEST(KnownRootsStore, PersistsAcrossRestarts)
{
    {
        KnownRootsStore first(standardDefaults());
        EXPECT_TRUE(first.addRoot(QStringLiteral("/home/u/Documents")));
        EXPECT_TRUE(first.addRoot(QStringLiteral("/media/disk")));
        EXPECT_TRUE(first.addRoot(QStringLiteral("/home/u/Ça")));
    }
    KnownRootsStore second(standardDefaults());
    EXPECT_EQ(second.rootPaths(), (QStringList{QStringLiteral("/home/u/Documents"),
                                               QStringLiteral("/media/disk"), QStringLiteral("/home/u/Ça")}));
    EXPECT_TRUE(second.removeRoot(QStringLiteral("/media/disk")));
    EXPECT_EQ(KnownRootsStore(standardDefaults()).rootPaths().size(), 2);
}

TEST(KnownRootsStore, DuplicateAddChangesAndWritesNothing)
{
    auto defaults = UserDefaults::inMemory();
    KnownRootsStore store(defaults);
    QSignalSpy changed(&store, &KnownRootsStore::rootPathsChanged);
    EXPECT_TRUE(store.addRoot(QStringLiteral("/a")));
    defaults->setStringList(KnownRootsStore::key, {QStringLiteral("marker")}); // to see any later write
    EXPECT_FALSE(store.addRoot(QStringLiteral("/a")));
    EXPECT_FALSE(store.removeRoot(QStringLiteral("/b")));
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(defaults->stringListValue(KnownRootsStore::key), QStringList{QStringLiteral("marker")});

    // Another instance's saved edits reach this one on reload.
    store.reload();
    EXPECT_EQ(store.rootPaths(), QStringList{QStringLiteral("marker")});
    EXPECT_EQ(changed.count(), 2);
}
