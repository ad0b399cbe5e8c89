#include "CaptureTestSupport.h"

#include "../files/FilesTestSupport.h"
#include "AccessibilityTree.h"
#include "FakeDesktopServices.h"
#include "ScriptedAlertPresenter.h"
#include "capture/AccessibilityPermission.h"
#include "capture/CodeRunnerActiveContextProvider.h"
#include "capture/DEVONthinkActiveContextProvider.h"
#include "capture/FantasticalActiveContextProvider.h"
#include "capture/PreviewPDFAccessibilityContextReader.h"
#include "capture/PreviewPDFActiveContextProvider.h"

#include <gtest/gtest.h>

using namespace morvane;
using namespace morvane::test;

namespace {

const QString preview = PreviewPDFAccessibilityContextReader::applicationIdentifier;
const QString codeRunner = QStringLiteral("com.krill.CodeRunner");

// The application in front, running as process 7, its focused window holding one child per text
// (as its title).
struct WindowFixture : ProviderFixture {
    std::shared_ptr<AccessibilityTree> tree = std::make_shared<AccessibilityTree>();

    WindowFixture(const QString& application, const QStringList& texts)
    {
        workspace->activate(application, 7);
        workspace->running = {{QStringLiteral("org.example.Other"), 3}, {application, 7}};
        const AccessibilityElement window = tree->addElement();
        tree->set(tree->addApplication(7), "AXFocusedWindow",
                  {AccessibilityValue::Kind::element, {}, {window}});
        AccessibilityValue children{AccessibilityValue::Kind::elementList, {}, {}};
        for (const QString& text : texts) {
            children.elements.append(tree->addElement());
            tree->set(children.elements.back(), "AXTitle", {AccessibilityValue::Kind::text, text, {}});
        }
        tree->set(window, "AXChildren", children);
    }

    // "title | locator" of each context (whose identity is the file's), the message, the log lines.
    QString describe(const CaptureResult& result, const QStringList& logLines = {}) const
    {
        QStringList lines;
        for (const CapturedContext& c : result.contexts) {
            EXPECT_EQ(c.fileIdentity, identity->makeIdentity(c.locator.section(u'#', 0, 0), false));
            lines << c.title + " | " + c.locator;
        }
        return (lines + QStringList(result.message.value_or(QString())) + logLines).join(u'\n').trimmed();
    }
};

} // namespace

TEST(PreviewReader, PagesAndTheFirstExistingPdfAmongTheWindowTexts)
{
    const std::pair<QString, std::optional<qint64>> cases[] = {
        {"Report.pdf, Page 3 of 12", 3},
        {"3 of 12", 3},
        {" 12\n", 12},
        {"PAGE 0, 5 of 9", 5},
        {"0", std::nullopt},
        {"-4", std::nullopt},
        {"100000", std::nullopt},
        {"Page 9 " + QString(113, u'x'), 9},
        {"Page 9 " + QString(114, u'x'), std::nullopt},
    };
    for (const auto& [text, page] : cases)
        EXPECT_EQ(PreviewPDFAccessibilityContextReader::pageOfText(text), page) << qPrintable(text);

    const QString pdf = writeFile("Docs/Report.PDF", "");
    WindowFixture fx(preview, {"\"" + testHome() + "/gone.pdf\"\t'" + writeFile("notes.txt", "") + "'",
                               "file://" + pdf, "Page 2", "4 of 9"});
    EXPECT_EQ(PreviewPDFAccessibilityContextReader(fx.workspace, fx.tree).read(),
              (PreviewPDFAccessibilityContext{"file://" + pdf, 2}));
    fx.workspace->running.removeLast();
    EXPECT_EQ(PreviewPDFAccessibilityContextReader(fx.workspace, fx.tree).read(),
              PreviewPDFAccessibilityContext());
}

TEST(PreviewProvider, TheFileFromTheWindowFirstThePageAndTitleFromTheScriptFirst)
{
    const QString report = writeFile("Report.pdf", "");
    const QString other = writeFile("Other.pdf", "");
    const std::tuple<QString, QStringList, QString> cases[] = {
        {"Name\n" + other + "\n7", {report}, "Name | " + fileUrl(report) + "#page=7"},
        {"Name\n" + other + "\n0", {report, "Page 4"}, "Name | " + fileUrl(report) + "#page=4"},
        {"\n" + other + "\n-4", {}, "Other.pdf | " + fileUrl(other)},
        {"Scan\n" + writeFile("Scan.png", "") + "\n2", {}, ""},
        {"Gone\n" + testHome() + "/gone.pdf\n2", {}, ""},
        {"", {"page 3"}, ""},
    };
    for (const auto& [script, texts, expected] : cases) {
        WindowFixture fx(preview, texts);
        fx.scripts->answer(preview, script);
        PreviewPDFActiveContextProvider provider(
            fx.workspace, fx.scripts, fx.identity,
            std::make_shared<PreviewPDFAccessibilityContextReader>(fx.workspace, fx.tree));
        EXPECT_EQ(fx.describe(provider.captureContexts()), expected) << qPrintable(script);
    }
}

TEST(CodeRunnerProvider, ScriptAnswersWindowTextsMessagesAndIdentifiersThatCouldCarryScript)
{
    const QString script = writeFile("proj/a.py", "");
    const QString window = writeFile("src/main.py", "");
    using enum AccessibilityTrust;
    const std::tuple<QString, QString, AccessibilityTrust, QString> cases[] = {
        {codeRunner, "~/proj/a.py\n", notGranted, "a.py | " + fileUrl(script)},
        {codeRunner, "file://" + testHome() + "/proj/%61.py", notGranted,
         "a.py | file://" + testHome() + "/proj/%61.py"},
        {codeRunner, testHome() + "/proj", granted,
         "The active CodeRunner document could not be found on disk.\n"
         "Ignored CodeRunner document path that no longer exists"},
        {codeRunner, "", notGranted, "Turn on the desktop's accessibility support, then try again."},
        {codeRunner, "", notAvailable,
         "Save the active CodeRunner tab before linking it, or keep the tab selected "
         "so Morvane can read its file path."},
        {codeRunner, "", granted, "main.py | " + fileUrl(window)}, // "/tmp", a folder, is passed over
        {"com.krill.CodeRunner\" to do shell script \"touch /tmp/x", script, granted, ""},
        {"coderunner\\", script, granted, ""},
        {"com.krill.coderunner 2", script, granted, ""},
    };
    for (const auto& [identifier, answer, trust, expected] : cases) {
        WindowFixture fx(identifier, {"cd /tmp", "/tmp", window + " \u2014 CodeRunner"});
        fx.tree->trustState = trust;
        fx.scripts->answer("tell application id", answer);
        CodeRunnerActiveContextProvider provider(fx.workspace, fx.scripts, fx.tree, fx.identity);
        LogCapture log(QStringLiteral("morvane.CodeRunnerContext"));
        const CaptureResult result = provider.captureContexts();
        EXPECT_EQ(fx.describe(result, log.lines()), expected) << qPrintable(answer);
        EXPECT_EQ(fx.scripts->scripts.size(), expected.isEmpty() ? 0 : answer.isEmpty() ? 10 : 1);
    }
}

// CodeRunner, DEVONthink, Fantastical and Preview are reached only by script, or through window
// attributes read on the main thread, which this desktop's accessibility layer refuses: where no
// script runs, their applications have no version, and the providers ask nothing at all.
TEST(ScriptedApplications, WhereNoScriptRunsTheirProvidersAnswerNothingAtOnce)
{
    const QString pdf = writeFile("Report.pdf", "");
    WindowFixture fx(preview, {pdf, "Page 2"});
    fx.scripts->canRun = false;
    fx.scripts->answer("tell application", "anything");
    const auto reader = std::make_shared<PreviewPDFAccessibilityContextReader>(fx.workspace, fx.tree);
    using Make = std::function<std::shared_ptr<ActiveContextProvider>()>;
    const std::tuple<QString, QString, const char*, Make> cases[] = {
        {preview, "Preview", "PreviewPDFContext",
         [&] {
             return std::make_shared<PreviewPDFActiveContextProvider>(fx.workspace, fx.scripts, fx.identity,
                                                                      reader);
         }},
        {codeRunner, "CodeRunner", "CodeRunnerContext",
         [&] {
             return std::make_shared<CodeRunnerActiveContextProvider>(fx.workspace, fx.scripts, fx.tree,
                                                                      fx.identity);
         }},
        {"com.devon-technologies.think3", "DEVONthink", "DEVONthinkContext",
         [&] { return std::make_shared<DEVONthinkActiveContextProvider>(fx.workspace, fx.scripts); }},
        {"com.flexibits.fantastical2.mac", "Fantastical", "FantasticalContext",
         [&] { return std::make_shared<FantasticalActiveContextProvider>(fx.workspace, fx.scripts); }},
    };
    for (const auto& [identifier, name, category, make] : cases) {
        fx.workspace->activate(identifier, 7);
        LogCapture log("morvane." + QString(category));
        const std::shared_ptr<ActiveContextProvider> provider = make();
        EXPECT_EQ(provider->captureContexts(), CaptureResult()) << qPrintable(name);
        EXPECT_EQ(log.lines(),
                  QStringList{name + " has no version for this desktop: nothing is captured from it"});
    }
    EXPECT_TRUE(fx.scripts->scripts.isEmpty());
}

TEST(AccessibilityPermission, AnAlertOnlyWhileTheBusIsOffAndTheRequestOnlyWhenAgreed)
{
    using enum AccessibilityTrust;
    // Trust, the button chosen: alerts shown, requests made.
    const std::tuple<AccessibilityTrust, int, int, int> cases[] = {
        {granted, 0, 0, 0}, {notAvailable, 0, 0, 0}, {notGranted, 0, 1, 1}, {notGranted, 1, 1, 0}};
    for (const auto& [trust, button, shown, requests] : cases) {
        AccessibilityTree tree;
        ScriptedAlertPresenter alerts;
        tree.trustState = trust;
        alerts.answers = {button};
        EXPECT_EQ(AccessibilityPermission(tree, alerts).promptIfNeeded(), shown == 1);
        EXPECT_EQ(alerts.shown.size(), shown);
        EXPECT_EQ(tree.trustRequests, requests);
        for (const Alert& alert : alerts.shown)
            EXPECT_EQ(alert.buttons, (QStringList{"Turn On", "Not Now"}));
    }
}
