#include "foundation/LocatorUrl.h"
#include "library/LinkParser.h"
#include "TestEnvironment.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

using namespace morvane;

namespace {

struct ClassifyCase {
    QString locator;
    LinkType type;
    QString sourceApp;
    QString title; // the fallback title for a blank given title
};

TEST(LinkParser, ClassifiesEachSchemeAndKeepsTheLocatorText)
{
    const QString folder = test::testHome() + QStringLiteral("/My Folder");
    QDir().mkpath(folder);
    const ClassifyCase cases[] = {
        {QStringLiteral("https://example.com/a"), LinkType::web, QStringLiteral("Browser"), QStringLiteral("example.com")},
        {QStringLiteral("HTTPS://Example.com/A"), LinkType::web, QStringLiteral("Browser"), QStringLiteral("Example.com")},
        {QStringLiteral("message://%3Cid@host%3E"), LinkType::mail, QStringLiteral("Mail"), QStringLiteral("Mail message")},
        {QStringLiteral("file:///no/such/report.PDF#page=2"), LinkType::file, QStringLiteral("PDF"), QStringLiteral("report.PDF")},
        {QStringLiteral("file:///no/such/notes.txt"), LinkType::file, QStringLiteral("File"), QStringLiteral("notes.txt")},
        {QStringLiteral("obsidian://open?vault=V&file=Notes%2FPlan.md"), LinkType::obsidian, QStringLiteral("Obsidian"), QStringLiteral("Plan")},
        {QStringLiteral("obsidian://open?vault=V&path=/a/b/Idea.md&file=Other.md"), LinkType::obsidian, QStringLiteral("Obsidian"), QStringLiteral("Idea")},
        {QStringLiteral("obsidian://open?vault=V&file"), LinkType::obsidian, QStringLiteral("Obsidian"), QStringLiteral("Obsidian note")},
        {QStringLiteral("obsidian://open?vault=V"), LinkType::obsidian, QStringLiteral("Obsidian"), QStringLiteral("Obsidian note")},
        {QStringLiteral("x-devonthink-item://ABC"), LinkType::devonthink, QStringLiteral("DEVONthink"), QStringLiteral("DEVONthink item")},
        {QStringLiteral("morvane-calendar://event?id=1"), LinkType::calendar, QStringLiteral("Calendar"), QStringLiteral("Calendar event")},
        {QStringLiteral("morvane-contact://contact?id=1"), LinkType::contact, QStringLiteral("Contacts"), QStringLiteral("Contact")},
        {QStringLiteral("x-fantastical3://show?item=1"), LinkType::fantastical, QStringLiteral("Fantastical"), QStringLiteral("Fantastical event")},
        {QStringLiteral("X-Fantastical://x"), LinkType::fantastical, QStringLiteral("Fantastical"), QStringLiteral("Fantastical event")},
        {LocatorUrl::fileUrlText(folder), LinkType::folder, QStringLiteral("Finder"), QStringLiteral("My Folder")},
    };
    const LinkParser parser;
    for (const ClassifyCase& c : cases) {
        SCOPED_TRACE(c.locator.toStdString());
        const ParsedLink parsed = parser.parse(QStringLiteral(" \n"), c.locator);
        EXPECT_EQ(parsed, (ParsedLink{c.title, c.locator, c.type, c.sourceApp}));
        // A locator with its type already set agrees with the parser's own classification.
        for (const LinkType type : allLinkTypes()) {
            const bool sameScheme = type == c.type || (isFileLike(type) && isFileLike(c.type));
            EXPECT_EQ(LinkParser::schemeBelongsToType(c.locator, type), sameScheme) << rawValue(type).toStdString();
        }
    }
}

TEST(LinkParser, TypedPathsBecomeFileUrls)
{
    const QString folder = test::testHome() + QStringLiteral("/Docs & Things");
    QDir().mkpath(folder);
    const LinkParser parser;

    const ParsedLink typedFolder = parser.parse(QString(), QStringLiteral("  ") + folder + QStringLiteral("\n"));
    EXPECT_EQ(typedFolder.type, LinkType::folder);
    EXPECT_EQ(typedFolder.sourceApp, QStringLiteral("Finder"));
    EXPECT_EQ(typedFolder.url, LocatorUrl::fileUrlText(folder));
    EXPECT_TRUE(typedFolder.url.endsWith(u'/'));
    EXPECT_EQ(typedFolder.title, QStringLiteral("Docs & Things"));

    const ParsedLink missing = parser.parse(QStringLiteral("  Kept  "), QStringLiteral("/nowhere/a b.txt"));
    EXPECT_EQ(missing, (ParsedLink{QStringLiteral("Kept"), QStringLiteral("file:///nowhere/a%20b.txt"),
                                   LinkType::file, QStringLiteral("File")}));

    const ParsedLink pdf = parser.parse(QString(), QStringLiteral("/nowhere/Scan.PDF"));
    EXPECT_EQ(pdf.sourceApp, QStringLiteral("PDF"));
    EXPECT_EQ(pdf.title, QStringLiteral("Scan.PDF"));
}

struct RefusalCase {
    QString locator;
    LinkParserError expected;
    const char* message;
};

TEST(LinkParser, RefusesWithTheFourMessages)
{
    const RefusalCase cases[] = {
        {QStringLiteral(" \n\t "), LinkParserError::emptyURL(), "Enter a URL or file path."},
        {QStringLiteral("a").repeated(4097), LinkParserError::overlongURL(), "Links are limited to 4096 characters."},
        {QStringLiteral("word"), LinkParserError::malformedURL(), "The link is malformed."},
        {QStringLiteral("http://a\u0001b"), LinkParserError::malformedURL(), "The link is malformed."},
        {QStringLiteral("morvane-calendar://day?id=1"), LinkParserError::malformedURL(), "The link is malformed."},
        {QStringLiteral("morvane-contact:contact"), LinkParserError::malformedURL(), "The link is malformed."},
        {QStringLiteral("FTP://host/file"), LinkParserError::unsupportedScheme(QStringLiteral("ftp")), "Unsupported link scheme: ftp."},
    };
    const LinkParser parser;
    for (const RefusalCase& c : cases) {
        SCOPED_TRACE(c.message);
        try {
            parser.parse(QString(), c.locator);
            ADD_FAILURE() << "accepted";
        } catch (const LinkParserError& error) {
            EXPECT_EQ(error, c.expected);
            EXPECT_EQ(error.localizedDescription(), QString::fromUtf8(c.message));
        }
    }
    EXPECT_EQ(LinkParserError::unsupportedScheme(std::nullopt).localizedDescription(),
              QStringLiteral("Unsupported link scheme: none."));
    EXPECT_FALSE(LinkParserError::unsupportedScheme(std::nullopt) == LinkParserError::unsupportedScheme(QStringLiteral("x")));
}

TEST(LinkParser, CountsTheLimitInUserPerceivedCharactersAfterTrimming)
{
    const LinkParser parser;
    const QString prefix = QStringLiteral("https://e.com/");
    const QString emoji = QStringLiteral("\U0001F600");
    const QString exact = prefix + emoji.repeated(4096 - prefix.size());
    EXPECT_NO_THROW(parser.parse(QString(), QStringLiteral("  ") + exact + QStringLiteral("  ")));
    EXPECT_THROW(parser.parse(QString(), exact + emoji), LinkParserError);

    const LinkParser small(10);
    EXPECT_NO_THROW(small.parse(QString(), QStringLiteral("http://a/b")));
    try {
        small.parse(QString(), QStringLiteral("http://a/bc"));
        ADD_FAILURE();
    } catch (const LinkParserError& error) {
        // The message states the product limit, whatever the parser's own limit.
        EXPECT_EQ(error.localizedDescription(), QStringLiteral("Links are limited to 4096 characters."));
    }
}

} // namespace
