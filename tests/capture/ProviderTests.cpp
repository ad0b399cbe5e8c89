#include "CaptureTestSupport.h"

#include "../files/FilesTestSupport.h"
#include "capture/BrowserActiveContextProvider.h"
#include "capture/FinderActiveContextProvider.h"
#include "capture/MailActiveContextProvider.h"
#include "foundation/LocatorUrl.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

using namespace morvane;
using namespace morvane::test;

namespace {

const QString finder = FinderActiveContextProvider::applicationIdentifier;
const QString mail = MailActiveContextProvider::applicationIdentifier;
const QString chrome = QStringLiteral("com.google.Chrome");
const QString firefox = QStringLiteral("org.mozilla.firefox");
const QString safari = QStringLiteral("com.apple.Safari");

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
    else if constexpr (std::is_same_v<Provider, BrowserActiveContextProvider>)
        provider = std::make_unique<Provider>(fx.workspace, fx.scripts, fx.bus);
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

TEST(BrowserProvider, ScriptedTabPayloads)
{
    const QString malformed = "Ignored malformed active browser URL from Safari";
    const std::pair<const char*, QString> cases[] = {
        {"  Notes \nhttps://example.com/notes\n", "Notes | https://example.com/notes"},
        {"Line one\nLine two\n\nhttp://example.com/", "Line one\nLine two | http://example.com/"},
        {"New Tab\nabout:blank", "The page in front of Safari is no web page: about URL"},
        {"", malformed},
    };
    for (const auto& [answer, expected] : cases) {
        const QString outcome = capture<BrowserActiveContextProvider>(safari, ScriptOutcome::answer(answer),
                                                                      "morvane.BrowserContext");
        EXPECT_EQ(outcome, expected.startsWith("Ignored") || expected.startsWith("The page")
                               ? expected
                               : "web: " + expected + " | Safari");
    }
}

namespace {

using Node = AccessibilityTree::Node;

// A browser window on the bus as Firefox and Chromium publish it: a frame named as the window, a
// tab strip whose tabs hold documents, background tabs that keep theirs without showing them, and
// the page in front. Returns the page.
AccessibilityElement addBrowserWindow(AccessibilityTree& bus, const AccessibilityElement& application,
                                      const QString& windowTitle, const QString& urlAttribute,
                                      std::optional<QString> title, const QString& url)
{
    using R = AccessibilityRole;
    const AccessibilityElement frame = bus.add(application, node(R::frame, windowTitle));
    const AccessibilityElement tabs = bus.add(frame, node(R::pageTabList));
    bus.add(tabs, node(R::documentWeb, "Tab preview", AccessibilityState::showing,
                       {{urlAttribute, "https://tab.example/"}}));
    const AccessibilityElement background = bus.add(frame, node(R::panel, {}, {}));
    bus.add(background,
            node(R::documentWeb, "Background", {}, {{urlAttribute, "https://background.example/"}}));
    Node broken = node(R::panel);
    broken.fails = true;
    const AccessibilityElement content = bus.add(frame, node(R::panel));
    bus.add(content, broken);
    return bus.add(
        content, node(R::documentWeb, std::move(title), AccessibilityState::showing, {{urlAttribute, url}}));
}

} // namespace

TEST(BrowserProvider, PagesOnTheAccessibilityBus)
{
    const QString malformed = "Ignored malformed active browser URL from ";
    const QString noWebPage = "The page in front of ";
    struct Case {
        QString browser;
        std::optional<QString> title;
        QString url;
        QString expected;
    };
    const Case cases[] = {
        {firefox, "  Notes ", "https://example.com/notes", "Notes | https://example.com/notes | Firefox"},
        {chrome, "", "https://ex%41mple.com:8080/a",
         "exAmple.com | https://ex%41mple.com:8080/a | Google Chrome"},
        {chrome, "Up", "HTTPS://Example.com/A", "Up | HTTPS://Example.com/A | Google Chrome"},
        {firefox, "New Tab", "about:newtab", noWebPage + "Firefox is no web page: about URL"},
        {chrome, "New Tab", "chrome://newtab/", noWebPage + "Google Chrome is no web page: chrome URL"},
        {firefox, "Notes", "file:///home/a/notes.html", noWebPage + "Firefox is no web page: file URL"},
        {firefox, "Broken", "no url", malformed + "Firefox"},
        {firefox, std::nullopt, "https://example.com/", ""}, // the page cannot be read
    };
    for (const Case& c : cases) {
        ProviderFixture fx;
        const AccessibilityElement application = fx.bus->addApplication(100);
        addBrowserWindow(*fx.bus, application, "Window", c.browser == firefox ? "DocURL" : "URI", c.title,
                         c.url);
        fx.workspace->activate(c.browser, 100, "Window");
        BrowserActiveContextProvider provider(fx.workspace, fx.scripts, fx.bus);
        LogCapture log(QStringLiteral("morvane.BrowserContext"));
        EXPECT_FALSE(provider.captureContext()); // nothing read yet
        provider.refresh().waitForFinished();
        QStringList outcome;
        if (const std::optional<CapturedContext> context = provider.captureContext())
            outcome << context->title + " | " + context->locator + " | " + context->sourceApp;
        EXPECT_EQ((outcome + log.lines()).join(u'\n'), c.expected);
        EXPECT_EQ(fx.bus->offThreadReads, 0);
        EXPECT_TRUE(fx.scripts->scripts.isEmpty());
    }
}

// Chromium and its family show no page to other programs unless started with the switch that stands
// for a screen reader: a window read with no page says how to start it, and only then.
TEST(BrowserProvider, AChromiumWindowWithoutItsPagesSaysHowToStartIt)
{
    QProcess withSwitch;
    withSwitch.start("sh", {"-c", "sleep 30", "--force-renderer-accessibility"});
    ASSERT_TRUE(withSwitch.waitForStarted());
    const qint64 plain = QCoreApplication::applicationPid();
    const QString howToStart =
        "Start Google Chrome with --force-renderer-accessibility to let Morvane read its pages.";
    struct Case {
        QString browser;
        qint64 processId;
        bool hasPage;
        AccessibilityTrust trust;
        std::optional<QString> message;
    };
    const Case cases[] = {
        {chrome, plain, false, AccessibilityTrust::granted, howToStart},
        {chrome, withSwitch.processId(), false, AccessibilityTrust::granted, std::nullopt},
        {chrome, plain, true, AccessibilityTrust::granted, std::nullopt},     // a page of its own screens
        {chrome, plain, false, AccessibilityTrust::notGranted, std::nullopt}, // the bus is off: not this
        {firefox, plain, false, AccessibilityTrust::granted, std::nullopt},
    };
    for (const Case& c : cases) {
        ProviderFixture fx;
        fx.bus->trustState = c.trust;
        const AccessibilityElement application = fx.bus->addApplication(c.processId);
        const AccessibilityElement frame = fx.bus->add(application, node(AccessibilityRole::frame, "Window"));
        if (c.hasPage)
            fx.bus->add(frame, node(AccessibilityRole::documentWeb, "New Tab", AccessibilityState::showing,
                                    {{"URI", "chrome://newtab/"}}));
        fx.workspace->activate(c.browser, c.processId, "Window");
        BrowserActiveContextProvider provider(fx.workspace, fx.scripts, fx.bus);
        EXPECT_EQ(provider.captureContexts(), CaptureResult()) << "nothing read yet";
        provider.refresh().waitForFinished();
        EXPECT_EQ(provider.captureContexts(), (CaptureResult{{}, c.message}));
    }
    withSwitch.kill();
    withSwitch.waitForFinished();
}

TEST(BrowserProvider, ReadsTheWindowInFrontOrTheOneBehindThisApplication)
{
    ProviderFixture fx;
    const AccessibilityElement application = fx.bus->addApplication(100);
    addBrowserWindow(*fx.bus, application, "One", "DocURL", "One", "https://one.example/");
    const AccessibilityElement two =
        addBrowserWindow(*fx.bus, application, "Two", "DocURL", "Two", "https://two.example/");
    BrowserActiveContextProvider provider(fx.workspace, fx.scripts, fx.bus);
    const auto poll = [&]() -> QString {
        provider.refresh().waitForFinished();
        const std::optional<CapturedContext> context = provider.captureContext();
        return context ? context->locator : QStringLiteral("nothing");
    };
    fx.workspace->activate(firefox, 100, "Two");
    EXPECT_EQ(poll(), "https://two.example/");
    fx.workspace->activateOwn(); // the quick panel over the browser
    EXPECT_EQ(poll(), "https://two.example/");
    // Another tab while the panel is open retitles the window: the old page is not offered.
    fx.bus->edit(two, [](Node& page) { page.documentAttributes["DocURL"] = "https://three.example/"; });
    fx.workspace->beforeOwn->title = "Three";
    EXPECT_FALSE(provider.captureContext());
    fx.workspace->activate(firefox, 100, "One");
    EXPECT_EQ(poll(), "https://one.example/");
    fx.workspace->activate(QStringLiteral("org.gnome.Nautilus"));
    fx.workspace->activateOwn();
    EXPECT_EQ(poll(), "nothing"); // the browser was left for another application first
    fx.workspace->activate(safari);
    fx.scripts->answer(safari, "Apple\nhttps://www.apple.com/");
    EXPECT_EQ(poll(), "https://www.apple.com/");
}

// A local file or the browser's own screen in front is no web page: noted once per window at debug
// level, never at every poll, and never called malformed.
TEST(BrowserProvider, APageThatIsNoWebPageIsNotedOncePerWindow)
{
    ProviderFixture fx;
    const AccessibilityElement application = fx.bus->addApplication(100);
    addBrowserWindow(*fx.bus, application, "Notes", "DocURL", "Notes", "file:///home/a/notes.html");
    addBrowserWindow(*fx.bus, application, "Settings", "DocURL", "Settings", "about:preferences");
    BrowserActiveContextProvider provider(fx.workspace, fx.scripts, fx.bus);
    LogCapture log(QStringLiteral("morvane.BrowserContext"));
    for (const char* window : {"Notes", "Settings"}) {
        fx.workspace->activate(firefox, 100, QString::fromLatin1(window));
        for (int poll = 0; poll < 3; ++poll) {
            provider.refresh().waitForFinished();
            EXPECT_FALSE(provider.captureContext());
        }
    }
    EXPECT_EQ(log.lines(), (QStringList{"The page in front of Firefox is no web page: file URL",
                                        "The page in front of Firefox is no web page: about URL"}));
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
