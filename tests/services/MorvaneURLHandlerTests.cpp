#include "../library/StoreTestSupport.h"
#include "LinkOpenerDoubles.h"
#include "LogCapture.h"
#include "ScriptedAlertPresenter.h"
#include "TestFiles.h"

#include "foundation/LocatorUrl.h"
#include "services/MorvaneURLHandler.h"
#include "store/ItemOpening.h"
#include "store/LinkStoreDetail.h"

#include <QCoro/QCoroTask>

#include <gtest/gtest.h>

using namespace morvane;
using namespace morvane::test;

namespace {

const QString id = QStringLiteral("0f8fad5b-d9cb-469f-a165-70867728950e");
const QString upperId = id.toUpper();

TEST(MorvaneURLParse, AcceptsOnlyTheOpenFormWithOneId)
{
    struct Case {
        const char* url;
        bool accepted;
    };
    const Case cases[] = {
        // Letter case of scheme, host and id does not matter; slashes around the id are trimmed.
        {"morvane://open/0f8fad5b-d9cb-469f-a165-70867728950e", true},
        {"MORVANE://OPEN/0F8FAD5B-D9CB-469F-A165-70867728950E", true},
        {"morvane://open//0f8fad5b-d9cb-469f-a165-70867728950e//", true},
        {"morvane://open/%30f8fad5b-d9cb-469f-a165-70867728950e", true}, // read decoded
        // A query or a fragment, even an empty one.
        {"morvane://open/0f8fad5b-d9cb-469f-a165-70867728950e?", false},
        {"morvane://open/0f8fad5b-d9cb-469f-a165-70867728950e#", false},
        // Another path segment before or after the id, also when its slash is encoded.
        {"morvane://open/0f8fad5b-d9cb-469f-a165-70867728950e/more", false},
        {"morvane://open/items/0f8fad5b-d9cb-469f-a165-70867728950e", false},
        {"morvane://open/x%2F0f8fad5b-d9cb-469f-a165-70867728950e", false},
        // Another host, no host, another scheme.
        {"morvane://show/0f8fad5b-d9cb-469f-a165-70867728950e", false},
        {"morvane:///0f8fad5b-d9cb-469f-a165-70867728950e", false},
        {"morvane:open/0f8fad5b-d9cb-469f-a165-70867728950e", false},
        {"https://open/0f8fad5b-d9cb-469f-a165-70867728950e", false},
        // Not exactly an 8-4-4-4-12 id.
        {"morvane://open/", false},
        {"morvane://open/{0f8fad5b-d9cb-469f-a165-70867728950e}", false},
        {"morvane://open/0f8fad5bd9cb469fa16570867728950e", false},
        {"morvane://open/0f8fad5b-d9cb-469f-a165-70867728950", false},
        {"morvane://open/0f8fad5b-d9cb-469f-a165-70867728950e0", false},
        {"morvane://open/0g8fad5b-d9cb-469f-a165-70867728950e", false},
        {"morvane://open/0f8fad5b-d9cb-469f-a165-70867728950e%20", false},
    };
    for (const Case& c : cases) {
        const std::optional<QUuid> parsed = MorvaneURLHandler::parse(QString::fromUtf8(c.url));
        EXPECT_EQ(parsed.has_value(), c.accepted) << c.url;
        if (parsed) {
            EXPECT_EQ(uuidString(*parsed), upperId) << c.url;
        }
    }
}

class Handler : public ::testing::Test, protected test::LinkOpenerDoubles {
protected:
    std::unique_ptr<LinkStore> store =
        std::make_unique<LinkStore>(LinkStore::libraryAt(libraryFile()), identity);
    std::shared_ptr<ScriptedAlertPresenter> alerts = std::make_shared<ScriptedAlertPresenter>();
    // What the user had seen each time the application came forward: alerts, opened URLs.
    QStringList forwards;
    MorvaneURLHandler handler{alerts, [this] {
                                  forwards.append(QStringLiteral("%1 alerts, %2 opened")
                                                      .arg(alerts->shown.size())
                                                      .arg(desktop->openedUrls.size()));
                              }};

    // Not owned: the doubles outlive it.
    ItemOpening opening{*store, std::shared_ptr<LinkOpener>(std::shared_ptr<LinkOpener>(), &opener)};

    void handle(const QString& url) { QCoro::waitFor(handler.handle(url, *store, opening)); }

    void saveWebLink()
    {
        LinkItem item = makeLink("Docs", "https://example.com/docs");
        item.id = QUuid::fromString(id);
        LinkStoreDatabase(*store)
            .run([item](SQLiteStore& sqlite) { sqlite.writes().insertLink(item); })
            .waitForFinished();
    }
};

TEST_F(Handler, OpensTheSavedItemOnceInFrontAndRecordsTheOpen)
{
    saveWebLink();
    handle("MORVANE://Open/" + id + "/");

    EXPECT_EQ(desktop->openedUrls, QStringList{"https://example.com/docs"});
    EXPECT_EQ(forwards, QStringList{"0 alerts, 0 opened"});
    const QUuid uuid = QUuid::fromString(id);
    EXPECT_TRUE(store->link(uuid).result()->lastOpenedAt);

    // A disk that fills up: the item still opens, and only the log hears of the missed stamp.
    writeRaw({"CREATE TRIGGER full BEFORE UPDATE OF last_opened_at ON links "
              "BEGIN SELECT RAISE(ABORT, 'database or disk is full'); END"});
    LogCapture log("morvane.LinkStore");
    handle("morvane://open/" + id);
    EXPECT_EQ(desktop->openedUrls.size(), 2);
    EXPECT_TRUE(alerts->shown.isEmpty());
    ASSERT_EQ(log.lines().size(), 1);
    EXPECT_TRUE(log.lines()[0].startsWith("The time of opening was not recorded:"))
        << log.lines()[0].toStdString();
}

TEST_F(Handler, AlertsComeAfterTheApplicationIsInFront)
{
    handle("morvane://open/" + id + "?"); // malformed: only logged
    EXPECT_TRUE(forwards.isEmpty());
    EXPECT_TRUE(alerts->shown.isEmpty());

    handle("morvane://open/" + id);
    ASSERT_EQ(alerts->shown.size(), 1);
    EXPECT_EQ(alerts->shown[0].messageText, "Link not found");
    EXPECT_EQ(alerts->shown[0].informativeText,
              "Morvane has no saved item for " + upperId +
                  ". It may have been deleted on this computer or not synced yet.");
    EXPECT_EQ(forwards, QStringList{"0 alerts, 0 opened"});

    // A library error after the item was found: shown, nothing opened.
    writeRaw({"DROP TABLE link_local_resolutions"});
    saveWebLink();
    handle("morvane://open/" + id);
    ASSERT_EQ(alerts->shown.size(), 2);
    EXPECT_TRUE(alerts->shown[1].messageText.contains("no such table"))
        << alerts->shown[1].messageText.toStdString();
    EXPECT_EQ(forwards, (QStringList{"0 alerts, 0 opened", "1 alerts, 0 opened"}));
    EXPECT_TRUE(desktop->openedUrls.isEmpty());
}

// The desktop refusing the open (no application for the address, the file gone) is the user's open
// all the same: the time is recorded.
TEST_F(Handler, AnOpenThatFailsStillRecordsTheOpen)
{
    saveWebLink();
    ASSERT_TRUE(desktop->handledSchemes.isEmpty());
    handle("morvane://open/" + id);
    EXPECT_EQ(desktop->openedUrls, QStringList{"https://example.com/docs"}) << "asked, and refused";
    EXPECT_TRUE(store->link(QUuid::fromString(id)).result()->lastOpenedAt);

    const QString path = writeFile("docs/gone.txt", "soon gone");
    const QString url = LocatorUrl::fileUrlText(path);
    const CapturedContext inFront{"gone.txt", url, LinkType::file, "Finder",
                                  identity->makeIdentity(url, false)};
    const LinkItem file = store->addCapturedContext(inFront, {}, {}).result();
    QFile::remove(path);
    handle("morvane://open/" + uuidString(file.id));
    EXPECT_TRUE(store->link(file.id).result()->lastOpenedAt);
}

} // namespace
