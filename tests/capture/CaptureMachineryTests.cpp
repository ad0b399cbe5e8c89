#include "CaptureTestSupport.h"
#include "TestFiles.h"

#include "capture/ActiveContextService.h"
#include "capture/BrowserActiveContextProvider.h"
#include "capture/CaptureReason.h"
#include "capture/CaptureText.h"
#include "capture/DesktopApplicationContextProvider.h"
#include "capture/FinderActiveContextProvider.h"
#include "capture/MailActiveContextProvider.h"
#include "capture/ProviderScript.h"
#include "capture/RecentlyActiveApplication.h"
#include "foundation/Text.h"

#include <gtest/gtest.h>

using namespace morvane;
using namespace morvane::test;

TEST(RecentlyActiveApplication, EachPolicyDecidesTheCaptureTargetFromTheApplicationsThatCameToTheFront)
{
    using enum RecentlyActiveApplication::Policy;
    // Applications by letter: e and f are the provider's, x another one, o this one, - none. The seed
    // is in front at construction; the notices follow (- there: nothing the desktop sees is in front,
    // as with a native Wayland window); then "front" is in front at capture, without a notice, and
    // finally this application (the quick panel opened over it).
    const auto app = [](char c) -> std::optional<QString> {
        if (c == '-')
            return std::nullopt;
        return c == 'o' ? FakeWorkspace::ownIdentifier : QStringLiteral("app.") + c;
    };
    struct Case {
        RecentlyActiveApplication::Policy policy;
        char seed;
        const char* notices;
        char front;
        const char* targets; // at "front" (when given), then with this application in front
    };
    const Case cases[] = {
        {flag, '-', "e", '-', "e"},
        {flag, 'e', "", '-', "e"},
        {flag, '-', "ex", '-', "-"},
        {flag, '-', "e", 'x', "-e"},
        {flagAndLastIdentifier, '-', "ef", '-', "f"},
        {flagAndLastIdentifier, 'x', "", '-', "-"},
        {flagAndLastIdentifier, '-', "fx", '-', "-"},
        {exact, '-', "eo", '-', "-"},
        {exact, '-', "e", 'x', "ee"},
        {lastApplicationInFront, '-', "f", '-', "f"},
        {lastApplicationInFront, '-', "ex", '-', "-"},
        {lastApplicationInFront, '-', "x", 'e', "ee"},
        {flag, '-', "e-o", '-', "-"},
        {flagAndLastIdentifier, '-', "f-o", '-', "-"},
        {lastApplicationInFront, '-', "f-o", '-', "-"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.policy) << " seed " << c.seed << ", notices " << c.notices);
        auto workspace = std::make_shared<FakeWorkspace>(app(c.seed));
        RecentlyActiveApplication state(workspace, c.policy,
                                        [](const QString& id) { return id == "app.e" || id == "app.f"; });
        for (const char* notice = c.notices; *notice; ++notice) {
            if (*notice == '-')
                workspace->clearFront();
            else
                workspace->activate(*app(*notice));
        }
        const char* target = c.targets;
        if (c.front != '-') {
            workspace->front = RunningApplication{*app(c.front), 7};
            EXPECT_EQ(state.captureTarget(), app(*target++));
        }
        workspace->front = RunningApplication{FakeWorkspace::ownIdentifier, 1};
        EXPECT_EQ(state.captureTarget(), app(*target));
    }
}

TEST(ActiveContextService, AsksInTheFixedOrderAndStopsAtTheFirstAnswer)
{
    ProviderFixture fx;
    fx.scripts->answer("com.apple.mail",
                       QString("<a@example.com>|Hello|Ann").replace(u'|', payloadSeparator));
    // Built in another order than they are asked; Mail and the browser could both answer.
    auto browser = std::make_shared<BrowserActiveContextProvider>(fx.workspace, fx.scripts, fx.bus);
    auto finder = std::make_shared<FinderActiveContextProvider>(fx.workspace, fx.scripts, fx.identity);
    auto mail = std::make_shared<MailActiveContextProvider>(fx.workspace, fx.scripts);
    auto obsidian = std::make_shared<StubProvider>(QStringLiteral("Obsidian"), CaptureResult{{}, QString()});
    ActiveContextService service({browser, obsidian, mail, finder});
    EXPECT_EQ(service.providers(),
              (QList<std::shared_ptr<ActiveContextProvider>>{finder, mail, obsidian, browser}));

    fx.workspace->activate(QStringLiteral("com.apple.mail"));
    const CaptureResult result = service.captureContexts();
    ASSERT_EQ(result.contexts.size(), 1);
    EXPECT_EQ(result.contexts[0].title, QStringLiteral("Hello - Ann"));
    EXPECT_EQ(result.message, std::nullopt);
    EXPECT_EQ(fx.scripts->scripts.size(), 1); // only the applicable provider talked to its application
    EXPECT_EQ(obsidian->asked, 0);

    // A message, even an empty one, ends the search.
    fx.workspace->activate(QStringLiteral("com.google.Chrome"));
    EXPECT_EQ(service.captureContexts(), (CaptureResult{{}, QString()}));
    EXPECT_EQ(fx.scripts->scripts.size(), 1);
    EXPECT_EQ(ActiveContextService({finder, mail}).captureContexts(), CaptureResult());
}

// When nothing was captured and no provider said why, the window in front tells: an application no
// provider reads, or one read over the accessibility bus while the bus is off. Nothing in front, or
// an application that is read but showed nothing just now, has no reason to give.
TEST(ActiveContextService, SaysWhyNothingWasCapturedWhereTheWindowInFrontTellsIt)
{
    ProviderFixture fx;
    auto fileManager = std::make_shared<DesktopApplicationContextProvider>(
        QStringLiteral("File Manager"), fx.workspace, [](const QString& id) { return id == "Thunar"; },
        [](const DesktopWindow&) { return WindowReading(); }, ApplicationReading::accessibilityBus);
    auto notes = std::make_shared<DesktopApplicationContextProvider>(
        QStringLiteral("Notes"), fx.workspace, [](const QString& id) { return id == "md.obsidian"; },
        [](const DesktopWindow&) { return WindowReading(); });
    ActiveContextService service({fileManager, notes}, fx.workspace, fx.bus);
    const auto why = [&] {
        const CaptureResult result = service.captureContexts();
        EXPECT_TRUE(result.contexts.isEmpty());
        return result.message.value_or("none");
    };
    const QString notRead = "Morvane cannot read items from XTerm. Type to search all links.";
    const QString busOff = "Morvane reads this window over the accessibility bus, which is off: turn it on "
                           "in Preferences › About › Permissions.";

    EXPECT_EQ(why(), "none") << "nothing in front";
    fx.workspace->activate("XTerm", 5, "bash", "XTerm");
    EXPECT_EQ(why(), notRead);
    fx.workspace->activateOwn();
    EXPECT_EQ(why(), notRead) << "the panel over the terminal";
    fx.workspace->activate("org.example.Editor", 6, "notes.txt");
    EXPECT_EQ(why(), "Morvane cannot read items from org.example.Editor. Type to search all links.")
        << "no window class: the application's name";
    writeFile(".system-data/applications/org.example.Draw.desktop", "[Desktop Entry]\nName=Draw\n");
    fx.workspace->activate("org.example.Draw", 9, "sketch", "Org.example.draw", "org.example.Draw");
    EXPECT_EQ(why(), "Morvane cannot read items from Draw. Type to search all links.")
        << "an application with a menu entry is named as the menu names it";

    fx.workspace->activate("Thunar", 7, "Docs", "Thunar");
    EXPECT_EQ(why(), "none") << "the bus is on: nothing selected is the reader's to say";
    fx.bus->trustState = AccessibilityTrust::notGranted;
    EXPECT_EQ(why(), busOff);
    fx.bus->trustState = AccessibilityTrust::notAvailable;
    EXPECT_EQ(why(), "none");
    fx.bus->trustState = AccessibilityTrust::notGranted;
    fx.workspace->activate("md.obsidian", 8, "Vault", "obsidian");
    EXPECT_EQ(why(), "none") << "read from its files, whatever the bus";

    // A native Wayland window took the keyboard, then the panel opened: nothing is behind it.
    fx.workspace->activate("XTerm", 5, "bash", "XTerm");
    fx.workspace->clearFront();
    fx.workspace->activateOwn();
    EXPECT_EQ(why(), "none");
}

// The bus switched off while Morvane runs: over an application read there, what its reader kept from
// before is not offered, and the panel says why; switched on again, the reader answers at once. The
// panel names the application it is still reading, as users know it.
TEST(ActiveContextService, TheBusSwitchedOffOutranksWhatItsReadersKept)
{
    ProviderFixture fx;
    const CapturedContext kept{"Notes.txt", "file:///home/ann/Docs/Notes.txt", LinkType::file, "Thunar",
                               std::nullopt};
    auto fileManager = std::make_shared<DesktopApplicationContextProvider>(
        QStringLiteral("File Manager"), fx.workspace, [](const QString& id) { return id == "Thunar"; },
        [kept](const DesktopWindow&) { return WindowReading(kept); }, ApplicationReading::accessibilityBus);
    auto notes = std::make_shared<StubProvider>(QStringLiteral("Obsidian"));
    ActiveContextService service({fileManager, notes}, fx.workspace, fx.bus);
    fx.workspace->activate("Thunar", 7, "Docs", "Thunar");
    service.refreshInBackground().waitForFinished();
    ASSERT_EQ(service.captureContexts().contexts, QList<CapturedContext>{kept});
    EXPECT_EQ(service.readApplicationName(), QStringLiteral("Thunar"));

    fx.bus->trustState = AccessibilityTrust::notGranted;
    EXPECT_EQ(service.captureContexts(),
              (CaptureResult{{},
                             "Morvane reads this window over the accessibility bus, which is off: turn it "
                             "on in Preferences › About › Permissions."}));
    EXPECT_EQ(notes->asked, 0);
    fx.bus->trustState = AccessibilityTrust::granted;
    EXPECT_EQ(service.captureContexts().contexts, QList<CapturedContext>{kept});

    // Named as its menu entry names it, found by the id it gives itself.
    writeFile(".local/share/applications/org.xfce.Thunar.desktop", "[Desktop Entry]\nName=File Manager\n");
    fx.workspace->activate("Thunar", 8, "Docs", "Thunar", "org.xfce.Thunar");
    EXPECT_EQ(service.readApplicationName(), QStringLiteral("File Manager"));
    fx.workspace->activate("XTerm", 5, "bash", "XTerm");
    EXPECT_EQ(service.readApplicationName(), std::nullopt) << "no provider reads it";
}

TEST(CaptureText, SeparatorsStatusWordsLiteralsAndLimits)
{
    // Empty fields stay in place, and trimming does not eat a separator at either end.
    const auto separated = [](QString text) { return text.replace(u'|', payloadSeparator); };
    EXPECT_EQ(payloadFields(separated("|a|| b ")), (QStringList{"", "a", "", " b "}));
    EXPECT_EQ(trimmedText(separated(" |a|\n")), separated("|a|"));
    EXPECT_EQ(scriptStatusWord(" not_running\n"), ScriptStatusWord::notRunning);
    EXPECT_EQ(scriptStatusWord("Empty"), std::nullopt);
    EXPECT_EQ(scriptStringLiteral("say \"hi\" \\"), QStringLiteral("\"say \\\"hi\\\" \\\\\""));
    // Clusters, not code units: an emoji with a skin tone followed by a flag is two characters.
    const QString pair = QStringLiteral("👍🏽🇫🇷");
    EXPECT_EQ(leftGraphemes(pair + pair, 3), pair + QStringLiteral("👍🏽"));
    EXPECT_EQ(leftGraphemes(pair, 500), pair);
}
