#include "TestEnvironment.h"
#include "TestValues.h"
#include "foundation/LocatorUrl.h"
#include "library/LinkParser.h"

#include <QDir>

#include <gtest/gtest.h>

using namespace morvane;

namespace {

struct ClassifyCase {
    QString locator;
    LinkType type;
    QString sourceApp;
    QString title;                   // the fallback title for a blank given title
    std::optional<QString> url = {}; // when the parser does not keep the locator as given
};

TEST(LinkParser, ClassifiesEachSchemeKeepsTheLocatorTextAndMakesTypedPathsFileUrls)
{
    const QString folder = test::testHome() + "/Docs & Things";
    QDir().mkpath(folder);
    const ClassifyCase cases[] = {
        {"https://example.com/a", LinkType::web, "Browser", "example.com"},
        {"HTTPS://Example.com/A", LinkType::web, "Browser", "Example.com"},
        {"message://%3Cid@host%3E", LinkType::mail, "Mail", "Mail message"},
        {"file:///no/such/report.PDF#page=2", LinkType::file, "PDF", "report.PDF"},
        {"file:///no/such/notes.txt", LinkType::file, "File", "notes.txt"},
        {"obsidian://open?vault=V&file=Notes%2FPlan.md", LinkType::obsidian, "Obsidian", "Plan"},
        {"obsidian://open?vault=V&path=/a/b/Idea.md&file=Other.md", LinkType::obsidian, "Obsidian", "Idea"},
        {"obsidian://open?vault=V", LinkType::obsidian, "Obsidian", "Obsidian note"},
        {"x-devonthink-item://ABC", LinkType::devonthink, "DEVONthink", "DEVONthink item"},
        {"morvane-calendar://event?id=1", LinkType::calendar, "Calendar", "Calendar event"},
        {"morvane-contact://contact?id=1", LinkType::contact, "Contacts", "Contact"},
        {"x-fantastical3://show?item=1", LinkType::fantastical, "Fantastical", "Fantastical event"},
        {LocatorUrl::fileUrlText(folder), LinkType::folder, "Finder", "Docs & Things"},
        {"  " + folder + "\n", LinkType::folder, "Finder", "Docs & Things", LocatorUrl::fileUrlText(folder)},
        {"/nowhere/a b.txt", LinkType::file, "File", "a b.txt", "file:///nowhere/a%20b.txt"},
    };
    const LinkParser parser;
    for (const ClassifyCase& c : cases) {
        SCOPED_TRACE(c.locator.toStdString());
        const ParsedLink parsed = parser.parse(" \n", c.locator);
        EXPECT_EQ(parsed, (ParsedLink{c.title, c.url.value_or(c.locator), c.type, c.sourceApp}));
        // A locator with its type already set agrees with the parser's own classification.
        for (const LinkType type : allLinkTypes()) {
            const bool sameScheme = type == c.type || (isFileLike(type) && isFileLike(c.type));
            EXPECT_EQ(LinkParser::schemeBelongsToType(parsed.url, type), sameScheme)
                << rawValue(type).toStdString();
        }
    }
    EXPECT_TRUE(LocatorUrl::fileUrlText(folder).endsWith(u'/'));
    EXPECT_EQ(parser.parse("  Kept  ", "https://a/").title, "Kept");
}

struct RefusalCase {
    QString locator;
    LinkParserError expected;
    const char* message;
    int limit = 4096; // the message states the product limit, whatever the parser's own limit
};

TEST(LinkParser, RefusesWithTheFourMessages)
{
    const RefusalCase cases[] = {
        {" \n\t ", LinkParserError::emptyURL(), "Enter a URL or file path."},
        {QString(4097, u'a'), LinkParserError::overlongURL(), "Links are limited to 4096 characters."},
        {"word", LinkParserError::malformedURL(), "The link is malformed."},
        {"http://a\u0001b", LinkParserError::malformedURL(), "The link is malformed."},
        {"morvane-calendar://day?id=1", LinkParserError::malformedURL(), "The link is malformed."},
        {"morvane-contact:contact", LinkParserError::malformedURL(), "The link is malformed."},
        {"http://a/bc", LinkParserError::overlongURL(), "Links are limited to 4096 characters.", 10},
        {"FTP://host/file", LinkParserError::unsupportedScheme("ftp"), "Unsupported link scheme: ftp."},
    };
    for (const RefusalCase& c : cases) {
        SCOPED_TRACE(c.message);
        const auto error =
            test::thrownError<LinkParserError>([&] { LinkParser(c.limit).parse({}, c.locator); });
        ASSERT_TRUE(error);
        EXPECT_EQ(*error, c.expected);
        EXPECT_EQ(error->localizedDescription(), QString::fromUtf8(c.message));
    }
}

TEST(LinkParser, CountsTheLimitInUserPerceivedCharactersAfterTrimming)
{
    const LinkParser parser;
    const QString prefix = "https://e.com/";
    const QString emoji = "\U0001F600";
    const QString exact = prefix + emoji.repeated(4096 - prefix.size());
    EXPECT_NO_THROW(parser.parse(QString(), "  " + exact + "  "));
    EXPECT_THROW(parser.parse(QString(), exact + emoji), LinkParserError);
}

} // namespace
