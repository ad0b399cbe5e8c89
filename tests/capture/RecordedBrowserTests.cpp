#include "CaptureTestSupport.h"
#include "RecordedAccessibilityTree.h"

#include "capture/BrowserActiveContextProvider.h"

#include <gtest/gtest.h>

using namespace morvane;
using namespace morvane::test;

namespace {

const QString firefoxIdentifier = QStringLiteral("org.mozilla.firefox");
const QString recordedTrees = QStringLiteral(MORVANE_RECORDED_TREES "/");
const QString firstTitle = QStringLiteral("First Page — Mozilla Firefox");
const QString secondTitle = QStringLiteral("Second Page — Mozilla Firefox");

// "title | locator" of what the provider captures now, or "nothing".
QString captured(BrowserActiveContextProvider& provider)
{
    const std::optional<CapturedContext> context = provider.captureContext();
    return context ? context->title + " | " + context->locator.section(u'/', 3) : QStringLiteral("nothing");
}

// Firefox as recorded with its first tab in front, its window in front, and the provider over it.
struct RecordedFirefox : ProviderFixture {
    explicit RecordedFirefox(bool keepsStates)
    {
        bus->keepsStates = keepsStates;
        application = replayRecordedTree(*bus, recordedTrees + "firefox-first-tab.json", 100);
        workspace->activate(firefoxIdentifier, 100, firstTitle);
    }
    std::optional<AccessibilityElement> application;
    BrowserActiveContextProvider provider{workspace, scripts, bus};
};

} // namespace

// Firefox as recorded with two tabs, then just after Ctrl+Tab: the tab panels showed and hid, with
// the events saying so still on their way when the panel comes up over the window, whose title has
// not followed yet either. The panel's capture answers nothing from the reading made before, and the
// reading it starts finds the tab in front now, not what was kept of the panels' states.
TEST(RecordedBrowser, ATabBroughtInFrontJustBeforeThePanelIsTheOneCaptured)
{
    ProviderFixture fx;
    fx.bus->keepsStates = true;
    const std::optional<AccessibilityElement> application =
        replayRecordedTree(*fx.bus, recordedTrees + "firefox-first-tab.json", 100);
    ASSERT_TRUE(application);
    BrowserActiveContextProvider provider(fx.workspace, fx.scripts, fx.bus);
    fx.workspace->activate(firefoxIdentifier, 100, firstTitle);
    provider.refresh().waitForFinished();
    EXPECT_EQ(captured(provider), "First Page | first.html");

    ASSERT_TRUE(changeToRecordedTree(*fx.bus, *application, recordedTrees + "firefox-second-tab.json"));
    fx.workspace->activateOwn();
    provider.distrustKeptReadings();
    EXPECT_EQ(captured(provider), "nothing");
    provider.refresh().waitForFinished();
    EXPECT_EQ(captured(provider), "Second Page | second.html");
    // A poll after it finds the same, from what that reading asked.
    provider.refresh().waitForFinished();
    EXPECT_EQ(captured(provider), "Second Page | second.html");

    // The title follows: what was read under the old one waits for a reading under the new.
    fx.workspace->beforeOwn->title = secondTitle;
    EXPECT_EQ(captured(provider), "nothing");
    provider.refresh().waitForFinished();
    EXPECT_EQ(captured(provider), "Second Page | second.html");
}

// Readings overlap: one started before the panel came up and ending after the panel's own never
// replaces it, whatever it finds.
TEST(RecordedBrowser, AReadingStartedBeforeThePanelNeverReplacesTheOneStartedAfter)
{
    ProviderFixture fx;
    const std::optional<AccessibilityElement> application =
        replayRecordedTree(*fx.bus, recordedTrees + "firefox-first-tab.json", 100);
    ASSERT_TRUE(application);
    BrowserActiveContextProvider provider(fx.workspace, fx.scripts, fx.bus);
    fx.workspace->activate(firefoxIdentifier, 100, firstTitle);
    fx.bus->holdJobs = true;
    QFuture<void> before = provider.refresh();
    fx.bus->holdJobs = false;
    ASSERT_TRUE(changeToRecordedTree(*fx.bus, *application, recordedTrees + "firefox-second-tab.json"));
    provider.distrustKeptReadings();
    provider.refresh().waitForFinished();
    EXPECT_EQ(captured(provider), "Second Page | second.html");

    const std::optional<AccessibilityElement> page =
        fx.bus
            ->run([&](AccessibilityElements& api) {
                return api.findFirst(*application,
                                     [&](const AccessibilityElement& e) {
                                         return api.name(e) == QStringLiteral("Second Page");
                                     },
                                     {});
            })
            .result();
    ASSERT_TRUE(page);
    fx.bus->edit(*page, [](AccessibilityTree::Node& node) { node.name = QStringLiteral("Renamed"); });
    fx.bus->runHeldJobs();
    before.waitForFinished();
    EXPECT_EQ(captured(provider), "Second Page | second.html");
}

// Ctrl+Tab retitles Firefox's window late: a reading started under the old title may have found either
// tab, so it stands for nothing and asks for another, which finds the tab in front.
TEST(RecordedBrowser, AReadingTheWindowWasRetitledUnderAsksForAnother)
{
    RecordedFirefox fx(true);
    ASSERT_TRUE(fx.application);
    BrowserActiveContextProvider& provider = fx.provider;
    provider.refresh().waitForFinished();
    EXPECT_FALSE(provider.wantsAnotherReading());

    ASSERT_TRUE(changeToRecordedTree(*fx.bus, *fx.application, recordedTrees + "firefox-second-tab.json"));
    fx.workspace->activateOwn();
    provider.distrustKeptReadings();
    fx.bus->holdJobs = true;
    QFuture<void> reading = provider.refresh();
    fx.bus->holdJobs = false;
    fx.workspace->beforeOwn->title = secondTitle;
    fx.bus->runHeldJobs();
    reading.waitForFinished();
    EXPECT_EQ(captured(provider), "nothing");
    EXPECT_TRUE(provider.wantsAnotherReading());
    provider.refresh().waitForFinished();
    EXPECT_EQ(captured(provider), "Second Page | second.html");
    EXPECT_FALSE(provider.wantsAnotherReading());
}

// Firefox selects the tab in its tab strip at once on Ctrl+Tab, and shows the tab's panel only once
// the page is drawn: the selected tab's page is the one read, whichever panel shows. A tab selected
// before its page was ever loaded has no page of its own yet: the window shows none, and asks for
// another reading rather than giving the tab before.
TEST(RecordedBrowser, TheTabStripsSelectedTabIsTheOneRead)
{
    RecordedFirefox fx(false);
    ASSERT_TRUE(fx.application);
    BrowserActiveContextProvider& provider = fx.provider;
    // The first element of this role (and name, when given), shown or not.
    const auto find = [&](AccessibilityRole role, const std::optional<QString>& name) {
        AccessibilityElements::Walk everyElement;
        everyElement.showingOnly = false;
        return fx.bus
            ->run([&](AccessibilityElements& api) {
                return api.findFirst(
                    *fx.application,
                    [&](const AccessibilityElement& e) {
                        return api.role(e) == role && (!name || api.name(e) == name);
                    },
                    everyElement);
            })
            .result();
    };
    const std::optional<AccessibilityElement> firstTab = find(AccessibilityRole::pageTab, "First Page");
    const std::optional<AccessibilityElement> secondTab = find(AccessibilityRole::pageTab, "Second Page");
    const std::optional<AccessibilityElement> strip = find(AccessibilityRole::pageTabList, std::nullopt);
    const std::optional<AccessibilityElement> secondPage =
        find(AccessibilityRole::documentWeb, "Second Page");
    ASSERT_TRUE(firstTab && secondTab && strip && secondPage);
    fx.bus->edit(*firstTab, [](auto& tab) { tab.states.setFlag(AccessibilityState::selected, false); });
    fx.bus->edit(*secondTab, [](auto& tab) { tab.states.setFlag(AccessibilityState::selected, true); });
    fx.bus->edit(*strip, [&](auto& tabs) { tabs.selected = {*secondTab}; });
    provider.refresh().waitForFinished();
    EXPECT_EQ(captured(provider), "Second Page | second.html");

    fx.bus->edit(*secondPage, [](auto& page) { page.name = ""; });
    provider.refresh().waitForFinished();
    EXPECT_EQ(captured(provider), "nothing");
    EXPECT_TRUE(provider.wantsAnotherReading());
}
