#include "CaptureTestSupport.h"

#include "../files/FilesTestSupport.h"
#include "capture/BrowserActiveContextProvider.h"
#include "capture/FinderActiveContextProvider.h"
#include "capture/MailActiveContextProvider.h"
#include "foundation/LocatorUrl.h"
#include "platform/ScriptRunner.h"

#include <gtest/gtest.h>

using namespace morvane;
using namespace morvane::test;

namespace {

const QString finder = FinderActiveContextProvider::applicationIdentifier;
const QString mail = MailActiveContextProvider::applicationIdentifier;
const QString chrome = QStringLiteral("com.google.Chrome");

struct Captured {
    QString title;
    QString locator;
};

void expectCapture(const std::optional<CapturedContext>& context, const std::optional<Captured>& expected,
                   LinkType type, const QString& sourceApp)
{
    ASSERT_EQ(context.has_value(), expected.has_value()) << (context ? context->locator.toStdString() : "");
    if (!expected)
        return;
    EXPECT_EQ(context->title, expected->title);
    EXPECT_EQ(context->locator, expected->locator);
    EXPECT_EQ(context->type, type);
    EXPECT_EQ(context->sourceApp, sourceApp);
    EXPECT_FALSE(context->fileIdentity);
}

} // namespace

TEST(FinderProvider, AppliesInFrontAndBehindThisApplicationOnly)
{
    ProviderFixture fx;
    fx.scripts->answer(finder, "");
    FinderActiveContextProvider provider(fx.workspace, fx.scripts, fx.identity);

    fx.workspace->activate(finder);
    fx.workspace->activateOwn(); // the quick panel opened over Finder
    provider.captureContexts();
    EXPECT_EQ(fx.scripts->scripts.size(), 1);

    fx.workspace->activate(finder);
    fx.workspace->activate(mail);
    fx.workspace->activateOwn();
    provider.captureContexts();
    EXPECT_EQ(fx.scripts->scripts.size(), 1);

    // The script, as sent.
    EXPECT_EQ(fx.scripts->scripts[0], QStringLiteral("tell application id \"com.apple.finder\"\n"
                                                     "    set selectedItems to selection\n"
                                                     "    if selectedItems is {} then return \"\"\n"
                                                     "    set selectedItem to item 1 of selectedItems\n"
                                                     "    return POSIX path of (selectedItem as alias)\n"
                                                     "end tell"));
    EXPECT_EQ(fx.scripts->timeouts[0], std::nullopt);
}

TEST(FinderProvider, CapturesTheSelectedFileOrFolderWithItsIdentity)
{
    const QString folder = ProviderFixture::makeItem(QStringLiteral("Projects/Site/"));
    const QString file = ProviderFixture::makeItem(QStringLiteral("Docs/Été report 1.txt"));
    const QString home = LocatorUrl::fileUrlText(testHome(), false);
    struct Case {
        const char* name;
        ScriptOutcome answer;
        std::optional<CapturedContext> expected; // without its identity
        QStringList log;
    };
    const Case cases[] = {
        {"a folder, as Finder writes it",
         ScriptOutcome::answer(folder),
         CapturedContext{"Site", home + "/Projects/Site/", LinkType::folder, "Finder", {}},
         {}},
        {"a name to encode",
         ScriptOutcome::answer(u'\n' + file + u'\n'),
         CapturedContext{
             "Été report 1.txt", home + "/Docs/%C3%89t%C3%A9%20report%201.txt", LinkType::file, "Finder", {}},
         {}},
        {"deleted since it was selected",
         ScriptOutcome::answer(testHome() + "/gone.txt"),
         std::nullopt,
         {"Ignored Finder selection that no longer exists"}},
        {"nothing selected", ScriptOutcome::answer(QString()), std::nullopt, {}},
        {"no string", ScriptOutcome::answerWithoutText(), std::nullopt, {}},
        {"Automation refused",
         ScriptOutcome::failure("Not authorized to send Apple events to Finder."),
         std::nullopt,
         {"Unable to read Finder selection: <private>"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ProviderFixture fx;
        fx.workspace->activate(finder);
        fx.scripts->answer(finder, c.answer);
        FinderActiveContextProvider provider(fx.workspace, fx.scripts, fx.identity);
        LogCapture log(QStringLiteral("morvane.FinderContext"));
        std::optional<CapturedContext> expected = c.expected;
        if (expected)
            expected->fileIdentity = fx.identity->makeIdentity(expected->locator, false);
        EXPECT_EQ(provider.captureContext(), expected);
        EXPECT_EQ(log.lines(), c.log);
    }
}

TEST(BrowserProvider, ReadsTheTabOfTheBrowserInFrontOrJustBehindThisApplication)
{
    ProviderFixture fx;
    fx.scripts->answer(QStringLiteral("com.apple.Safari"), "Apple\nhttps://www.apple.com/")
        .answer(chrome, "Docs\nhttps://docs.example.com/");
    BrowserActiveContextProvider provider(fx.workspace, fx.scripts);

    fx.workspace->activate(chrome);
    fx.workspace->activateOwn();
    expectCapture(provider.captureContext(), Captured{"Docs", "https://docs.example.com/"}, LinkType::web,
                  "Google Chrome");
    EXPECT_EQ(fx.scripts->scripts.last(),
              QStringLiteral("tell application id \"com.google.Chrome\"\n"
                             "    if not (exists front window) then return \"\"\n"
                             "    set activeTab to active tab of front window\n"
                             "    return (title of activeTab) & linefeed & (URL of "
                             "activeTab)\n"
                             "end tell"));

    fx.workspace->activate(QStringLiteral("com.apple.Safari"));
    expectCapture(provider.captureContext(), Captured{"Apple", "https://www.apple.com/"}, LinkType::web,
                  "Safari");
    EXPECT_EQ(fx.scripts->scripts.last(),
              QStringLiteral("tell application id \"com.apple.Safari\"\n"
                             "    if not (exists front window) then return \"\"\n"
                             "    set activeTab to current tab of front window\n"
                             "    return (name of activeTab) & linefeed & (URL of "
                             "activeTab)\n"
                             "end tell"));

    // After Mail and then this application, no browser applies; nor does one outside the table.
    fx.workspace->activate(mail);
    fx.workspace->activateOwn();
    EXPECT_FALSE(provider.captureContext());
    fx.workspace->activate(QStringLiteral("org.mozilla.firefox"));
    EXPECT_FALSE(provider.captureContext());
    EXPECT_EQ(fx.scripts->scripts.size(), 2);
}

TEST(BrowserProvider, TabPayloads)
{
    struct Case {
        const char* name;
        QString answer;
        std::optional<Captured> expected;
    };
    const Case cases[] = {
        {"title and URL", "  Release notes \nhttps://example.com/notes\n",
         Captured{"Release notes", "https://example.com/notes"}},
        {"empty title: the host", "\nhttps://ex%41mple.com:8080/a",
         Captured{"exAmple.com", "https://ex%41mple.com:8080/a"}},
        {"a scheme in capitals, kept", "Up\nHTTPS://Example.com/A", Captured{"Up", "HTTPS://Example.com/A"}},
        {"a title with line breaks", "Line one\nLine two\n\nhttp://example.com/",
         Captured{"Line one\nLine two", "http://example.com/"}},
        {"a blank page", "New Tab\nabout:blank", std::nullopt},
        {"no window", "", std::nullopt},
        {"a file", "Notes\nfile:///home/a.txt", std::nullopt},
        {"not a URL", "Title\nexample.com", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ProviderFixture fx;
        fx.workspace->activate(chrome);
        fx.scripts->answer(chrome, ScriptOutcome::answer(c.answer));
        BrowserActiveContextProvider provider(fx.workspace, fx.scripts);
        LogCapture log(QStringLiteral("morvane.BrowserContext"));
        expectCapture(provider.captureContext(), c.expected, LinkType::web, "Google Chrome");
        EXPECT_EQ(log.lines(), c.expected
                                   ? QStringList()
                                   : QStringList{"Ignored malformed active browser URL from Google Chrome"});
    }
}

TEST(MailProvider, MessageIDsAndTitles)
{
    const QString oneCluster = QStringLiteral("e\u0301"); // two code units, one character
    const QString at998 = oneCluster.repeated(990) + QStringLiteral("@example");
    const QString id = QStringLiteral("%3Cabc.1%40example.com%3E");
    const QString invalid = QStringLiteral("Ignored Mail message without a valid RFC Message-ID");
    struct Case {
        const char* name;
        QString answer; // "|" stands for the separator
        std::optional<Captured> expected;
        QStringList log;
    };
    const Case cases[] = {
        {"in brackets",
         "<abc.1@example.com>|Lunch|Ann <ann@example.com>",
         Captured{"Lunch - Ann <ann@example.com>", "message://" + id},
         {}},
        {"without brackets, padded",
         " abc.1@example.com | Lunch |",
         Captured{"Lunch", "message://" + id},
         {}},
        {"blank inside the brackets", "< abc.1@example.com >||Ann", Captured{"Ann", "message://" + id}, {}},
        {"no subject or sender, extra field",
         "abc.1@example.com| |\n|extra",
         Captured{"Mail message", "message://" + id},
         {}},
        {"998 characters",
         at998 + "|S|F",
         Captured{"S - F", "message://%3C" + QString("e%CC%81").repeated(990) + "%40example%3E"},
         {}},
        {"999 characters", oneCluster + at998 + "|S|F", std::nullopt, {invalid}},
        {"inner blank", "abc 1@example.com|S|F", std::nullopt, {invalid}},
        {"inner tab", "<abc\t1@example.com>|S|F", std::nullopt, {invalid}},
        {"inner line break", "abc\n1@example.com|S|F", std::nullopt, {invalid}},
        {"format character", "abc\u200B1@example.com|S|F", std::nullopt, {invalid}},
        {"no @", "abc.example.com|S|F", std::nullopt, {invalid}},
        {"only brackets", "<>|S|F", std::nullopt, {invalid}},
        {"two fields", "abc@example.com|S", std::nullopt, {"Ignored malformed Mail selection payload"}},
        {"no selection", "", std::nullopt, {}},
        {"a lone surrogate",
         QStringLiteral("ab") + QChar(0xD800) + "@x|S|F",
         std::nullopt,
         {"Unable to encode Mail Message-ID"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ProviderFixture fx;
        fx.workspace->activate(mail);
        fx.scripts->answer(mail, ScriptOutcome::answer(QString(c.answer).replace(u'|', u'\x1f')));
        MailActiveContextProvider provider(fx.workspace, fx.scripts);
        LogCapture log(QStringLiteral("morvane.MailContext"));
        expectCapture(provider.captureContext(), c.expected, LinkType::mail, "Mail");
        EXPECT_EQ(log.lines(), c.log);
    }
}

TEST(MailProvider, ACaptureKeepsMailRecentlyActive)
{
    ProviderFixture fx;
    fx.scripts->answer(mail, "a@b\x1f"
                             "S\x1f"
                             "F");
    fx.workspace->front = RunningApplication{mail, 5}; // in front without a notice
    MailActiveContextProvider provider(fx.workspace, fx.scripts);
    fx.workspace->activate(QStringLiteral("org.other.app"));
    fx.workspace->front = RunningApplication{mail, 5};
    ASSERT_TRUE(provider.captureContext());
    fx.workspace->front = RunningApplication{FakeWorkspace::ownIdentifier, 1};
    EXPECT_TRUE(provider.captureContext());
    EXPECT_EQ(fx.scripts->scripts.size(), 2);
    EXPECT_EQ(fx.scripts->scripts[0].count(u'\n'), 10);
}

TEST(Providers, OnThisSystemAnApplicationInFrontGivesNothingAndNoProviderLog)
{
    auto workspace = std::make_shared<FakeWorkspace>(finder);
    auto runner = std::make_shared<UnavailableScriptRunner>();
    LogCapture log(QStringLiteral("morvane.FinderContext"));
    FinderActiveContextProvider provider(
        workspace, runner, std::make_shared<FileIdentityService>(std::make_shared<FileHashCache>()));
    EXPECT_FALSE(provider.captureContext());
    EXPECT_FALSE(provider.captureContext());
    EXPECT_TRUE(log.lines().isEmpty());
}
