#include "CaptureTestSupport.h"

#include "../files/FilesTestSupport.h"
#include "capture/BrowserActiveContextProvider.h"
#include "capture/FinderActiveContextProvider.h"
#include "capture/MailActiveContextProvider.h"
#include "foundation/LocatorUrl.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

using namespace morvane;
using namespace morvane::test;

namespace {

const QString finder = FinderActiveContextProvider::applicationIdentifier;
const QString mail = MailActiveContextProvider::applicationIdentifier;
const QString chrome = QStringLiteral("com.google.Chrome");

// One capture with the application in front answering as given: "title | locator" of what was
// captured, followed by the provider's log lines.
template <class Provider>
QString capture(const QString& application, const ScriptOutcome& answer, const char* category)
{
    ProviderFixture fx;
    fx.workspace->activate(application);
    fx.scripts->answer(application, answer);
    std::unique_ptr<Provider> provider;
    if constexpr (std::is_same_v<Provider, FinderActiveContextProvider>)
        provider = std::make_unique<Provider>(fx.workspace, fx.scripts, fx.identity);
    else
        provider = std::make_unique<Provider>(fx.workspace, fx.scripts);
    LogCapture log(QString::fromLatin1(category));
    QStringList outcome;
    if (const std::optional<CapturedContext> context = provider->captureContext()) {
        const bool isFile = context->type == LinkType::file || context->type == LinkType::folder;
        EXPECT_EQ(context->fileIdentity,
                  isFile ? fx.identity->makeIdentity(context->locator, false) : std::nullopt);
        outcome << rawValue(context->type) + ": " + context->title + " | " + context->locator + " | " +
                       context->sourceApp;
    }
    return (outcome + log.lines()).join(u'\n');
}

} // namespace

TEST(FinderProvider, TheSelectedFileOrFolderWithItsIdentity)
{
    QDir().mkpath(testHome() + "/Projects/Site");
    const QString file = testHome() + "/Été report 1.txt";
    QFile(file).open(QIODevice::WriteOnly);
    const QString home = LocatorUrl::fileUrlText(testHome(), false);
    const std::pair<ScriptOutcome, QString> cases[] = {
        {ScriptOutcome::answer(testHome() + "/Projects/Site/"),
         "folder: Site | " + home + "/Projects/Site/ | Finder"},
        {ScriptOutcome::answer(u'\n' + file),
         "file: Été report 1.txt | " + home + "/%C3%89t%C3%A9%20report%201.txt | Finder"},
        {ScriptOutcome::answer(testHome() + "/gone.txt"), "Ignored Finder selection that no longer exists"},
        {ScriptOutcome::answer(""), ""},
        {ScriptOutcome::failure("Not authorized"), "Unable to read Finder selection: <private>"},
    };
    for (const auto& [answer, expected] : cases)
        EXPECT_EQ(capture<FinderActiveContextProvider>(finder, answer, "morvane.FinderContext"), expected);
}

TEST(BrowserProvider, TabPayloads)
{
    const QString malformed = "Ignored malformed active browser URL from Google Chrome";
    const std::pair<const char*, QString> cases[] = {
        {"  Notes \nhttps://example.com/notes\n", "Notes | https://example.com/notes"},
        {"\nhttps://ex%41mple.com:8080/a", "exAmple.com | https://ex%41mple.com:8080/a"}, // the host
        {"Up\nHTTPS://Example.com/A", "Up | HTTPS://Example.com/A"},
        {"Line one\nLine two\n\nhttp://example.com/", "Line one\nLine two | http://example.com/"},
        {"New Tab\nabout:blank", malformed},
        {"", malformed},
        {"Title\nexample.com", malformed},
    };
    for (const auto& [answer, expected] : cases) {
        const QString outcome = capture<BrowserActiveContextProvider>(chrome, ScriptOutcome::answer(answer),
                                                                      "morvane.BrowserContext");
        EXPECT_EQ(outcome, expected == malformed ? expected : "web: " + expected + " | Google Chrome");
    }
}

TEST(BrowserProvider, ReadsTheBrowserInFrontOrJustBehindThisApplication)
{
    ProviderFixture fx;
    fx.scripts->answer("com.apple.Safari", "Apple\nhttps://www.apple.com/")
        .answer(chrome, "D\nhttps://d.example/");
    BrowserActiveContextProvider provider(fx.workspace, fx.scripts);
    fx.workspace->activate(chrome);
    fx.workspace->activateOwn();
    EXPECT_EQ(provider.captureContext()->sourceApp, QStringLiteral("Google Chrome"));
    fx.workspace->activate("com.apple.Safari");
    EXPECT_EQ(provider.captureContext()->sourceApp, QStringLiteral("Safari"));
    fx.workspace->activate("org.mozilla.firefox"); // not in the table: no script
    EXPECT_FALSE(provider.captureContext());

    const QString tail = QStringLiteral("    if not (exists front window) then return \"\"\n"
                                        "    set activeTab to %1 tab of front window\n"
                                        "    return (%2 of activeTab) & linefeed & (URL of activeTab)\n"
                                        "end tell");
    EXPECT_EQ(fx.scripts->scripts,
              (QStringList{"tell application id \"com.google.Chrome\"\n" + tail.arg("active", "title"),
                           "tell application id \"com.apple.Safari\"\n" + tail.arg("current", "name")}));
}

TEST(MailProvider, MessageIDsAndTitles)
{
    const QString cluster = QStringLiteral("e\u0301"); // two code units, one character
    const QString id998 = cluster.repeated(990) + "@example";
    const QString id = " | message://%3Cabc.1%40example.com%3E | Mail";
    const QString invalid = "Ignored Mail message without a valid RFC Message-ID";
    const std::pair<QString, QString> cases[] = {
        // "|" stands for the separator
        {"<abc.1@example.com>|Lunch|Ann <a@b.c>", "mail: Lunch - Ann <a@b.c>" + id},
        {" abc.1@example.com | Lunch |", "mail: Lunch" + id},
        {"< abc.1@example.com >||Ann", "mail: Ann" + id},
        {"abc.1@example.com| |\n|extra", "mail: Mail message" + id},
        {id998 + "|S|F",
         "mail: S - F | message://%3C" + QString("e%CC%81").repeated(990) + "%40example%3E | Mail"},
        {cluster + id998 + "|S|F", invalid},
        {"abc 1@example.com|S|F", invalid},
        {"<abc\t1@example.com>|S|F", invalid},
        {"abc\n1@example.com|S|F", invalid},
        {"abc\u200B1@example.com|S|F", invalid},
        {"abc.example.com|S|F", invalid},
        {"abc@example.com|S", "Ignored malformed Mail selection payload"},
        {"", ""},
        {"ab" + QString(QChar(0xD800)) + "@x|S|F", "Unable to encode Mail Message-ID"},
    };
    for (const auto& [answer, expected] : cases) {
        const ScriptOutcome outcome = ScriptOutcome::answer(QString(answer).replace(u'|', u'\x1f'));
        EXPECT_EQ(capture<MailActiveContextProvider>(mail, outcome, "morvane.MailContext"), expected);
    }
}

TEST(Providers, OnThisSystemAnApplicationInFrontGivesNothingAndNoProviderLog)
{
    auto workspace = std::make_shared<FakeWorkspace>(finder);
    LogCapture log(QStringLiteral("morvane.FinderContext"));
    FinderActiveContextProvider provider(
        workspace, std::make_shared<UnavailableScriptRunner>(),
        std::make_shared<FileIdentityService>(std::make_shared<FileHashCache>()));
    EXPECT_FALSE(provider.captureContext());
    EXPECT_TRUE(log.lines().isEmpty());
}
