#include "platform/eds/EdsSourceRegistry.h"

#include <gtest/gtest.h>

using namespace morvane;

namespace {

EdsSourceData source(const char* uid, const char* name, bool enabled, const char* parent,
                     QStringList extensions = {QStringLiteral("Calendar")})
{
    return {QString::fromUtf8(uid), QString::fromUtf8(name), enabled, QString::fromUtf8(parent),
            std::move(extensions)};
}

} // namespace

// Sources as the registry writes them, and as hand-edited or older files may read.
TEST(EdsSourceRegistry, ReadsASourcesKeyFileAsTheServicesClientDoes)
{
    const auto account = readSourceData(QStringLiteral("work"), "[Data Source]\n"
                                                                "DisplayName=  Work account \n"
                                                                "Enabled=false\n"
                                                                "Parent=\n"
                                                                "[Collection]\n"
                                                                "CalendarEnabled=true\n"
                                                                "[Authentication]\n"
                                                                "Host=example.org\n");
    ASSERT_TRUE(account);
    EXPECT_EQ(account->uid, QStringLiteral("work"));
    EXPECT_EQ(account->displayName, QStringLiteral("Work account"));
    EXPECT_FALSE(account->enabled);
    EXPECT_EQ(account->parent, QString());
    EXPECT_EQ(account->extensions,
              (QStringList{QStringLiteral("Collection"), QStringLiteral("Authentication")}));

    // Missing or unreadable values read as the service's defaults.
    const auto bare = readSourceData(QStringLiteral("b"), "[Data Source]\nEnabled=perhaps\nParent=work\n"
                                                          "[Calendar]\nBackendName=caldav\n");
    ASSERT_TRUE(bare);
    EXPECT_TRUE(bare->enabled);
    EXPECT_EQ(bare->displayName, QStringLiteral("Unnamed"));
    EXPECT_EQ(bare->parent, QStringLiteral("work"));
    EXPECT_EQ(bare->extensions, QStringList{QStringLiteral("Calendar")});
    const auto lowerCase = readSourceData(QStringLiteral("c"), "[Data Source]\nDisplayName=Ünïcode ✓\n");
    ASSERT_TRUE(lowerCase);
    EXPECT_TRUE(lowerCase->enabled);
    EXPECT_EQ(lowerCase->displayName, QStringLiteral("Ünïcode ✓"));

    EXPECT_FALSE(readSourceData(QStringLiteral("x"), "[Calendar]\nBackendName=local\n"));
    EXPECT_FALSE(readSourceData(QStringLiteral("x"), "not a key file"));
    EXPECT_FALSE(readSourceData(QStringLiteral("x"), ""));
}

// A name translated into the user's language is the one shown, as the service's client reads it.
TEST(EdsSourceRegistry, ReadsTheNameInTheUsersLanguage)
{
    const QByteArray before = qgetenv("LANGUAGE");
    qputenv("LANGUAGE", "de");
    const auto personal = readSourceData(QStringLiteral("system-calendar"), "[Data Source]\n"
                                                                            "DisplayName=Personal\n"
                                                                            "DisplayName[de]=Persönlich\n"
                                                                            "[Calendar]\n");
    qputenv("LANGUAGE", before);
    ASSERT_TRUE(personal);
    EXPECT_EQ(personal->displayName, QStringLiteral("Persönlich"));
}

// Which calendars are read: their own switch and every ancestor's (an account switched off, or an
// account's calendars switched off, which the service writes into each calendar's own switch).
TEST(EdsSourceRegistry, EnabledSourcesAreThoseEnabledThroughEveryAncestor)
{
    const QList<EdsSourceData> sources{
        source("account", "Account", true, "", {QStringLiteral("Collection")}),
        source("off-account", "Off account", false, "", {QStringLiteral("Collection")}),
        source("below-off", "Below an account switched off", true, "off-account"),
        source("folder", "Folder", true, "off-account", {}),
        source("two-below-off", "Two below an account switched off", true, "folder"),
        source("in-account", "In account", true, "account"),
        source("calendars-off", "Account calendars switched off", false, "account"),
        source("orphan", "Parent gone", true, "gone"),
        source("book", "Book", true, "", {QStringLiteral("Address Book")}),
        source("loop-a", "Loop", true, "loop-b"),
        source("loop-b", "Loop", true, "loop-a", {}),
    };
    EXPECT_EQ(
        enabledSources(sources, QStringLiteral("Calendar")),
        (QStringList{QStringLiteral("in-account"), QStringLiteral("loop-a"), QStringLiteral("orphan")}));
    EXPECT_EQ(enabledSources(sources, QStringLiteral("Address Book")), QStringList{QStringLiteral("book")});
    EXPECT_EQ(enabledSources(sources, QStringLiteral("Memo List")), QStringList());
}

// Listed as the service's client lists them: by name, equal names by uid.
TEST(EdsSourceRegistry, EnabledSourcesAreInNameOrderThenUidOrder)
{
    const QList<EdsSourceData> sources{
        source("z", "Birthdays", true, ""), source("b", "Work", true, ""),
        source("a", "Work", true, ""),      source("c", "Anniversaries", true, ""),
        source("d", "Personal", true, ""),
    };
    EXPECT_EQ(enabledSources(sources, QStringLiteral("Calendar")),
              (QStringList{QStringLiteral("c"), QStringLiteral("z"), QStringLiteral("d"), QStringLiteral("a"),
                           QStringLiteral("b")}));
}
