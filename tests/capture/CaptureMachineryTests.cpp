#include "CaptureTestSupport.h"

#include "capture/ActiveContextService.h"
#include "capture/BrowserActiveContextProvider.h"
#include "capture/CaptureText.h"
#include "capture/FinderActiveContextProvider.h"
#include "capture/MailActiveContextProvider.h"
#include "capture/ProviderScript.h"
#include "capture/RecentlyActiveApplication.h"
#include "foundation/Text.h"

#include <gtest/gtest.h>

using namespace morvane;
using namespace morvane::test;

namespace {

using Policy = RecentlyActiveApplication::Policy;

const QString own = FakeWorkspace::ownIdentifier;

// Answers what it was given and counts the questions.
class StubProvider final : public ActiveContextProvider {
public:
    StubProvider(QString name, CaptureResult answer)
        : m_name(std::move(name))
        , m_answer(std::move(answer))
    {
    }
    QString providerName() const override { return m_name; }
    CaptureResult captureContexts() override
    {
        ++asked;
        return m_answer;
    }
    int asked = 0;

private:
    QString m_name;
    CaptureResult m_answer;
};

} // namespace

TEST(RecentlyActiveApplication, EachPolicyDecidesTheCaptureTargetFromTheApplicationsThatCameToTheFront)
{
    struct Case {
        const char* name;
        Policy policy;
        std::optional<QString> seed;   // in front when the state is made
        QStringList activations;       // notices, in order
        std::optional<QString> front;  // in front at capture, when it differs from the last notice
        std::optional<QString> target; // what the capture reads
    };
    const QString editor = QStringLiteral("com.example.editor");
    const QString editor2 = QStringLiteral("com.example.editor2");
    const QString other = QStringLiteral("org.other.app");
    const Case cases[] = {
        {"flag: in front", Policy::flag, std::nullopt, {editor}, std::nullopt, editor},
        {"flag: this application over it", Policy::flag, std::nullopt, {editor, own}, std::nullopt, editor},
        {"flag: seeded, then this application", Policy::flag, editor, {own}, std::nullopt, editor},
        {"flag: another application in between",
         Policy::flag,
         std::nullopt,
         {editor, other, own},
         std::nullopt,
         std::nullopt},
        {"flag: another application in front",
         Policy::flag,
         std::nullopt,
         {editor, other},
         std::nullopt,
         std::nullopt},
        {"flag: never in front", Policy::flag, std::nullopt, {own}, std::nullopt, std::nullopt},
        {"last identifier: the last of the family",
         Policy::flagAndLastIdentifier,
         std::nullopt,
         {editor, editor2, own},
         std::nullopt,
         editor2},
        {"last identifier: seeded with another application",
         Policy::flagAndLastIdentifier,
         other,
         {own},
         std::nullopt,
         std::nullopt},
        {"last identifier: cleared by another application",
         Policy::flagAndLastIdentifier,
         std::nullopt,
         {editor, other, own},
         std::nullopt,
         std::nullopt},
        {"exact: this application's own notice clears it",
         Policy::exact,
         std::nullopt,
         {editor, own},
         std::nullopt,
         std::nullopt},
        {"exact: set applies whatever is in front", Policy::exact, std::nullopt, {editor}, other, editor},
        {"last in front: kept behind this application",
         Policy::lastApplicationInFront,
         std::nullopt,
         {editor2, own},
         std::nullopt,
         editor2},
        {"last in front: forgotten for another application",
         Policy::lastApplicationInFront,
         std::nullopt,
         {editor, other, own},
         std::nullopt,
         std::nullopt},
        {"last in front: a capture in front remembers it",
         Policy::lastApplicationInFront,
         std::nullopt,
         {other},
         editor,
         editor},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto workspace = std::make_shared<FakeWorkspace>(c.seed);
        RecentlyActiveApplication state(
            workspace, c.policy, [](const QString& id) { return id.startsWith("com.example.editor"); });
        for (const QString& identifier : c.activations)
            workspace->activate(identifier);
        if (c.front)
            workspace->front = RunningApplication{*c.front, 7};
        EXPECT_EQ(state.captureTarget(), c.target);
        if (c.front) { // and once this application is opened over it
            workspace->front = RunningApplication{own, 1};
            EXPECT_EQ(state.captureTarget(), c.target);
        }
    }
}

TEST(ActiveContextService, AsksInTheFixedOrderAndStopsAtTheFirstAnswer)
{
    ProviderFixture fx;
    fx.scripts->answer("com.apple.mail", "<a@example.com>\x1f"
                                         "Hello\x1f"
                                         "Ann");
    // Built in another order than they are asked; Mail and the browser could both answer.
    auto browser = std::make_shared<BrowserActiveContextProvider>(fx.workspace, fx.scripts);
    auto finder = std::make_shared<FinderActiveContextProvider>(fx.workspace, fx.scripts, fx.identity);
    auto mail = std::make_shared<MailActiveContextProvider>(fx.workspace, fx.scripts);
    auto later = std::make_shared<StubProvider>(QStringLiteral("Obsidian"), CaptureResult{{}, QString()});
    ActiveContextService service({browser, later, mail, finder});
    ASSERT_EQ(service.providers().size(), 4);
    EXPECT_EQ(service.providers()[0], finder);
    EXPECT_EQ(service.providers()[3], browser);

    fx.workspace->activate(QStringLiteral("com.apple.mail"));
    const CaptureResult result = service.captureContexts();
    ASSERT_EQ(result.contexts.size(), 1);
    EXPECT_EQ(result.contexts[0].title, QStringLiteral("Hello - Ann"));
    EXPECT_EQ(result.message, std::nullopt);
    EXPECT_EQ(fx.scripts->scripts.size(), 1); // only the applicable provider talked to its application
    EXPECT_EQ(later->asked, 0);

    // A message, even an empty one, ends the search with no contexts.
    fx.workspace->activate(QStringLiteral("com.google.Chrome"));
    EXPECT_EQ(service.captureContexts(), (CaptureResult{{}, QString()}));
    EXPECT_EQ(later->asked, 1);
    EXPECT_EQ(fx.scripts->scripts.size(), 1);

    // Nobody with anything to say.
    ActiveContextService quiet({finder, mail});
    EXPECT_EQ(quiet.captureContexts(), CaptureResult());
}

TEST(CaptureText, PayloadsStatusWordsLiteralsAndLimits)
{
    // Empty fields stay in place, and trimming does not eat a separator at either end.
    EXPECT_EQ(payloadFields(QStringLiteral("\x1f"
                                           "a\x1f\x1f b \x1f")),
              (QStringList{"", "a", "", " b ", ""}));
    EXPECT_EQ(trimmedText(QStringLiteral(" \x1f"
                                         "a\x1f\n")),
              QStringLiteral("\x1f"
                             "a\x1f"));

    EXPECT_EQ(scriptStatusWord(QStringLiteral(" not_running\n")), ScriptStatusWord::notRunning);
    EXPECT_EQ(scriptStatusWord(QStringLiteral("denied")), ScriptStatusWord::denied);
    EXPECT_EQ(scriptStatusWord(QStringLiteral("Empty")), std::nullopt);
    EXPECT_EQ(scriptStatusWord(QStringLiteral("error: x")), std::nullopt);

    EXPECT_EQ(scriptStringLiteral(QStringLiteral("say \"hi\" \\ bye")),
              QStringLiteral("\"say \\\"hi\\\" \\\\ bye\""));

    EXPECT_TRUE(containsControlCharacter(QStringLiteral("a\u200Bb"))); // format
    EXPECT_TRUE(containsControlCharacter(QStringLiteral("a\x1f")));
    EXPECT_FALSE(containsControlCharacter(QStringLiteral("a b é 😀")));
    EXPECT_TRUE(containsWhiteSpace(QStringLiteral("a\u00A0b")));
    EXPECT_TRUE(containsWhiteSpace(QStringLiteral("a\u2028")));
    EXPECT_FALSE(containsWhiteSpace(QStringLiteral("a\x1f")));

    // Clusters, not code units: an emoji followed by a flag is two characters.
    const QString pair = QStringLiteral("👍🏽🇫🇷");
    EXPECT_EQ(graphemeCount(pair), 2);
    EXPECT_EQ(leftGraphemes(pair + pair, 3), pair + QStringLiteral("👍🏽"));
    EXPECT_EQ(leftGraphemes(pair, 500), pair);
}
