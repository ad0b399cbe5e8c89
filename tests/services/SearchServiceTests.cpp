#include "services/SearchService.h"

#include "TestEnvironment.h"
#include "files/FileHashCache.h"
#include "files/FileIdentityService.h"
#include "store/LinkStore.h"

#include <gtest/gtest.h>

namespace morvane {
namespace {

TEST(SearchServiceTest, SearchesTheLibraryOnTheStoreThread)
{
    LinkStore store(LinkStore::libraryAt(test::testHome() + QStringLiteral("/library.sqlite")),
                    std::make_shared<FileIdentityService>(std::make_shared<FileHashCache>()));
    store.addLink("Beta notes", "https://example.com/beta", {}, {}).waitForFinished();
    store.addLink("Alpha", "https://example.com/alpha", "about beta", {}).waitForFinished();
    SearchService search(store, nullptr, nullptr);

    QStringList titles;
    for (const LinkItem& item : search.searchLinks("  beta ").result())
        titles.append(item.title);
    EXPECT_EQ(titles, (QStringList{"Beta notes", "Alpha"}));
    EXPECT_EQ(search.searchLinks(" ").result().size(), 2);
    EXPECT_FALSE(search.contactService());
}

} // namespace
} // namespace morvane
