#include "BrowserActiveContextProvider.h"

#include "capture/CaptureReason.h"
#include "capture/CaptureText.h"
#include "capture/ProviderScript.h"
#include "foundation/LocatorUrl.h"
#include "foundation/Logging.h"
#include "foundation/Text.h"
#include "platform/AccessibilityApi.h"
#include "platform/Workspace.h"

#include <algorithm>
#include <array>

MORVANE_LOGGING_CATEGORY(lcBrowserContext, "BrowserContext")
// Each reading of a window over the bus, what it found and whether it stands: for reports of a page
// read wrong or late.
MORVANE_LOGGING_CATEGORY(lcBrowserReadings, "BrowserReadings")

namespace morvane {

namespace {

enum class TabReader {
    safariScript, // "current tab", titled "name"
    chromeScript, // "active tab", titled "title"
    bus,          // the accessibility bus
};

struct SupportedBrowser {
    QString appName; // the captured item's source application
    QString bundleIdentifier;
    TabReader reader;
};

// The identifiers are those the workspace gives the browsers' windows; Safari and Arc have no
// version for this desktop and keep their scripts.
const std::array<SupportedBrowser, 8>& supportedBrowsers()
{
    static const std::array<SupportedBrowser, 8> browsers{{
        {QStringLiteral("Safari"), QStringLiteral("com.apple.Safari"), TabReader::safariScript},
        {QStringLiteral("Google Chrome"), QStringLiteral("com.google.Chrome"), TabReader::bus},
        {QStringLiteral("Brave Browser"), QStringLiteral("com.brave.Browser"), TabReader::bus},
        {QStringLiteral("Microsoft Edge"), QStringLiteral("com.microsoft.edgemac"), TabReader::bus},
        {QStringLiteral("Arc"), QStringLiteral("company.thebrowser.Browser"), TabReader::chromeScript},
        {QStringLiteral("Firefox"), QStringLiteral("org.mozilla.firefox"), TabReader::bus},
        {QStringLiteral("Chromium"), QStringLiteral("org.chromium.Chromium"), TabReader::bus},
        {QStringLiteral("Vivaldi"), QStringLiteral("com.vivaldi.Vivaldi"), TabReader::bus},
    }};
    return browsers;
}

// Firefox shows a web document in every tab, its own screens included, from the start: a window of it
// showing none is between two tabs. The Chromium family shows none at all unless a screen reader
// asked for its pages.
bool showsEveryPage(const SupportedBrowser& browser)
{
    return browser.bundleIdentifier == QLatin1String("org.mozilla.firefox");
}

const SupportedBrowser* supportedBrowser(const QString& bundleIdentifier)
{
    for (const SupportedBrowser& browser : supportedBrowsers()) {
        if (browser.bundleIdentifier == bundleIdentifier)
            return &browser;
    }
    return nullptr;
}

// Answers "" without a window, else the tab's title, a line feed and its URL.
QString activeTabPayloadScript(const SupportedBrowser& browser)
{
    const bool safari = browser.reader == TabReader::safariScript;
    const QString tab = safari ? QStringLiteral("current tab") : QStringLiteral("active tab");
    const QString title = safari ? QStringLiteral("name") : QStringLiteral("title");
    return QStringLiteral("tell application id ") + scriptStringLiteral(browser.bundleIdentifier) +
           QStringLiteral("\n"
                          "    if not (exists front window) then return \"\"\n"
                          "    set activeTab to %1 of front window\n"
                          "    return (%2 of activeTab) & linefeed & (URL of activeTab)\n"
                          "end tell")
               .arg(tab, title);
}

struct TabPayload {
    QString title;
    QString urlText;
};

// The URL is the last line that holds anything, and the title all that comes before it: a title
// may itself hold line breaks.
TabPayload splitTabPayload(const QString& answer)
{
    const QStringList lines = answer.split(u'\n');
    for (qsizetype i = lines.size() - 1; i >= 0; --i) {
        const QString urlText = trimmedText(lines[i]);
        if (!urlText.isEmpty())
            return {trimmedText(lines.first(i).join(u'\n')), urlText};
    }
    return {};
}

// Menus, tab strips and tool bars hold no page (a tab's preview, a bookmark's document) and are
// large: they are not entered.
const AccessibilityElements::Walk& pageWalk()
{
    static const AccessibilityElements::Walk walk{
        .skipRoles = {AccessibilityRole::menuBar, AccessibilityRole::menu, AccessibilityRole::popupMenu,
                      AccessibilityRole::pageTabList, AccessibilityRole::toolBar,
                      AccessibilityRole::statusBar},
    };
    return walk;
}

// The window's frame: the one named as the window is, else the active one, else the only one.
std::optional<AccessibilityElement>
frameOf(const AccessibilityElements& api, const AccessibilityElement& application, const QString& windowTitle)
{
    if (std::optional<AccessibilityElement> named = api.frameNamed(application, windowTitle))
        return named;
    if (std::optional<AccessibilityElement> active = api.activeFrame(application))
        return active;
    const QList<AccessibilityElement> frames = api.frames(application);
    return frames.size() == 1 ? std::optional(frames.first()) : std::nullopt;
}

// The document of the tab the window's tab strip selects. Firefox selects the tab at once on Ctrl+Tab
// but shows its panel later (once the page has been drawn), and retitles the window later still: the
// selected tab's document is looked for by the tab's name among every tab's, showing or not. While the
// one showing is another tab's and the selected tab has none yet (a tab never loaded before), the
// window shows no page of its own. Several tabs selected at once, or a tab named otherwise than its
// page (never seen), leave the page showing.
std::optional<AccessibilityElement> selectedTabDocument(const AccessibilityElements& api,
                                                        const AccessibilityElement& frame,
                                                        std::optional<AccessibilityElement> showing)
{
    static const AccessibilityElements::Walk toTabStrip{
        .skipRoles = {AccessibilityRole::menuBar, AccessibilityRole::menu, AccessibilityRole::popupMenu,
                      AccessibilityRole::documentWeb},
    };
    const auto nameOf = [&api](const AccessibilityElement& e) {
        return trimmedText(api.name(e).value_or(QString()));
    };
    const std::optional<AccessibilityElement> strip = api.findFirst(
        frame,
        [&api](const AccessibilityElement& e) { return api.role(e) == AccessibilityRole::pageTabList; },
        toTabStrip);
    const QList<AccessibilityElement> selected =
        strip ? api.selectedChildren(*strip) : QList<AccessibilityElement>();
    if (selected.size() != 1)
        return showing;
    const QString tab = nameOf(selected.first());
    const QString shown = showing ? nameOf(*showing) : QString();
    if (tab.isEmpty() || shown == tab)
        return showing;
    AccessibilityElements::Walk everyTab = pageWalk();
    everyTab.showingOnly = false;
    everyTab.skipRoles.append(AccessibilityRole::documentWeb);
    if (std::optional<AccessibilityElement> named = api.findFirst(
            frame,
            [&](const AccessibilityElement& e) {
                return api.role(e) == AccessibilityRole::documentWeb && nameOf(e) == tab;
            },
            everyTab))
        return named;
    const QList<AccessibilityElement> tabs = api.children(*strip);
    const bool anotherTabsPage =
        !shown.isEmpty() && std::any_of(tabs.cbegin(), tabs.cend(), [&](const auto& t) {
            return api.role(t) == AccessibilityRole::pageTab &&
                   !api.states(t).testFlag(AccessibilityState::selected) && nameOf(t) == shown;
        });
    return anotherTabsPage ? std::nullopt : showing;
}

// On the accessibility thread: the web document showing in the window. Background tabs keep their
// documents but do not show them; which tab panel shows is told by the states of the panels, and
// just after a tab switch the states kept of them may still be the last tab's (afresh: asked again).
// With followTabStrip, the tab strip has the last word (selectedTabDocument).
BrowserActiveContextProvider::Page readPage(const AccessibilityElements& api, const DesktopWindow& window,
                                            quint64 started, bool afresh, bool followTabStrip)
{
    BrowserActiveContextProvider::Page page{window.windowId, window.title, std::nullopt, {}, started};
    const std::optional<AccessibilityApplication> application = api.application(window.application.processId);
    if (application && afresh)
        api.readStatesAfresh(application->element);
    const std::optional<AccessibilityElement> frame =
        application ? frameOf(api, application->element, window.title) : std::nullopt;
    if (!frame)
        return page;
    page.frameRead = true;
    std::optional<AccessibilityElement> document = api.findFirst(
        *frame,
        [&api](const AccessibilityElement& e) { return api.role(e) == AccessibilityRole::documentWeb; },
        pageWalk());
    if (followTabStrip)
        document = selectedTabDocument(api, *frame, std::move(document));
    if (!document)
        return page;
    const QHash<QString, QString> attributes = api.documentAttributes(*document);
    page.url = attributes.value(QStringLiteral("DocURL"), attributes.value(QStringLiteral("URI")));
    page.title = api.name(*document);
    return page;
}

} // namespace

struct BrowserActiveContextProvider::Target {
    const SupportedBrowser* browser = nullptr;
    DesktopWindow window; // read by the bus
};

BrowserActiveContextProvider::BrowserActiveContextProvider(std::shared_ptr<Workspace> workspace,
                                                           std::shared_ptr<ScriptRunner> scripts,
                                                           std::shared_ptr<AccessibilityApi> accessibility)
    : m_workspace(workspace)
    , m_scripts(std::move(scripts))
    , m_accessibility(std::move(accessibility))
    , m_recentlyActive(std::move(workspace), RecentlyActiveApplication::Policy::flagAndLastIdentifier,
                       [](const QString& identifier) { return supportedBrowser(identifier) != nullptr; })
{
}

BrowserActiveContextProvider::~BrowserActiveContextProvider() = default;

// The browser a capture reads and, for one on the bus, its window: the one in front, or the one
// behind this application's own. Nothing when the window is not that browser's.
auto BrowserActiveContextProvider::target() -> std::optional<Target>
{
    const std::optional<QString> identifier = m_recentlyActive.captureTarget();
    const SupportedBrowser* browser = identifier ? supportedBrowser(*identifier) : nullptr;
    if (!browser)
        return std::nullopt;
    if (browser->reader != TabReader::bus)
        return Target{browser, {}};
    std::optional<DesktopWindow> window = m_workspace->captureWindow();
    if (!window || window->application.identifier != browser->bundleIdentifier)
        return std::nullopt;
    return Target{browser, std::move(*window)};
}

QFuture<void> BrowserActiveContextProvider::refresh()
{
    const std::optional<Target> read = target();
    if (!read || read->browser->reader != TabReader::bus)
        return ActiveContextProvider::refresh();
    quint64 started = 0;
    bool afresh = false;
    {
        const std::lock_guard lock(m_readings->mutex);
        started = ++m_readings->started;
        // The first reading since the window was distrusted asks what shows afresh; later ones find
        // what it asked kept.
        afresh = started == m_readings->trustedFrom;
    }
    qCDebug(lcBrowserReadings).noquote()
        << "Reading" << started << "of window" << read->window.windowId << privateValue(read->window.title)
        << (afresh ? "afresh" : "from the states kept");
    // The job holds what it writes, not this provider, which may be gone before it runs.
    return m_accessibility->run(
        [window = read->window, readings = m_readings, started, afresh,
         followTabStrip = showsEveryPage(*read->browser)](AccessibilityElements& api) {
            Page found = readPage(api, window, started, afresh, followTabStrip);
            const std::lock_guard lock(readings->mutex);
            const bool latest = !readings->page || readings->page->started < started;
            qCDebug(lcBrowserReadings).noquote()
                << "Reading" << started << "found" << privateValue(found.title.value_or(QString()))
                << privateValue(found.url) << (latest ? "" : "(a later reading ended first: not kept)");
            if (latest)
                readings->page = std::move(found);
        });
}

void BrowserActiveContextProvider::distrustKeptReadings()
{
    const std::lock_guard lock(m_readings->mutex);
    m_readings->trustedFrom = m_readings->started + 1;
}

bool BrowserActiveContextProvider::wantsAnotherReading()
{
    const std::optional<Target> read = target();
    if (!read || read->browser->reader != TabReader::bus)
        return false;
    const std::lock_guard lock(m_readings->mutex);
    const std::optional<Page>& page = m_readings->page;
    // Another window, or a reading from before the panel came up: the one started since is on its way.
    if (!page || page->windowId != read->window.windowId || page->started < m_readings->trustedFrom)
        return false;
    // A tab switch retitles the window late: a reading started before it may have found either tab.
    if (page->windowTitle != read->window.title)
        return true;
    return page->frameRead && !page->title && showsEveryPage(*read->browser);
}

auto BrowserActiveContextProvider::keptPage(const Target& target) const -> std::optional<Page>
{
    const std::lock_guard lock(m_readings->mutex);
    const std::optional<Page>& page = m_readings->page;
    if (!page)
        return std::nullopt;
    // Not read for this window as it is now (another tab retitles it), or read before the user may
    // have brought another tab in front.
    if (page->windowId != target.window.windowId || page->windowTitle != target.window.title) {
        qCDebug(lcBrowserReadings).noquote()
            << "Reading" << page->started << "was of window" << page->windowId
            << privateValue(page->windowTitle) << "not of window" << target.window.windowId
            << privateValue(target.window.title);
        return std::nullopt;
    }
    if (page->started < m_readings->trustedFrom) {
        qCDebug(lcBrowserReadings) << "Reading" << page->started << "started before the panel came up";
        return std::nullopt;
    }
    return page;
}

std::optional<CapturedContext> BrowserActiveContextProvider::captureContext()
{
    const std::optional<Target> read = target();
    if (!read)
        return std::nullopt;
    if (read->browser->reader == TabReader::bus) {
        const std::optional<Page> page = keptPage(*read);
        // No page showing: the browser publishes nothing, or shows only its own screens.
        if (!page || !page->title)
            return std::nullopt;
        return context(*read, trimmedText(*page->title), trimmedText(page->url));
    }
    const std::optional<QString> answer =
        runProviderScript(*m_scripts, activeTabPayloadScript(*read->browser), lcBrowserContext(),
                          QStringLiteral("Unable to read active browser tab URL: %1"));
    if (!answer)
        return std::nullopt;
    const TabPayload tab = splitTabPayload(*answer);
    return context(*read, tab.title, tab.urlText);
}

CaptureResult BrowserActiveContextProvider::captureContexts()
{
    if (std::optional<CapturedContext> context = captureContext())
        return {{std::move(*context)}, std::nullopt};
    // The Chromium family shows its pages on the bus only to a screen reader it recognises, or when
    // started with the switch that stands for one: a window read with no page in it says so.
    const std::optional<Target> read = target();
    if (!read || read->browser->reader != TabReader::bus || showsEveryPage(*read->browser) ||
        m_accessibility->trust() != AccessibilityTrust::granted)
        return {};
    if (const std::optional<Page> page = keptPage(*read); !page || page->title)
        return {};
    if (startedWithRendererAccessibility(read->window.application.processId))
        return {};
    return {{}, captureReason::pagesNotShown(read->browser->appName)};
}

ApplicationReading BrowserActiveContextProvider::readingOf(const QString& identifier) const
{
    const SupportedBrowser* browser = supportedBrowser(identifier);
    return browser && browser->reader == TabReader::bus ? ApplicationReading::accessibilityBus
                                                        : ApplicationReading::none;
}

std::optional<CapturedContext> BrowserActiveContextProvider::context(const Target& target, QString title,
                                                                     const QString& urlText)
{
    const SupportedBrowser& browser = *target.browser;
    const std::optional<LocatorUrl> url = LocatorUrl::parse(urlText);
    if (!url) {
        qCInfo(lcBrowserContext).noquote() << "Ignored malformed active browser URL from" << browser.appName;
        return std::nullopt;
    }
    // A local file, the browser's own screens and other schemes are no web page: nothing to capture,
    // and nothing wrong either. Said once per window, not at every poll.
    const QString scheme = url->scheme().toLower();
    if (scheme != QStringLiteral("http") && scheme != QStringLiteral("https")) {
        if (!m_notedOtherPages.contains(target.window.windowId)) {
            m_notedOtherPages.insert(target.window.windowId);
            qCDebug(lcBrowserContext).noquote()
                << "The page in front of" << browser.appName << "is no web page:" << scheme << "URL";
        }
        return std::nullopt;
    }
    m_recentlyActive.markCaptured(browser.bundleIdentifier);
    if (title.isEmpty())
        title = url->host().value_or(QString());
    if (title.isEmpty())
        title = urlText;
    return CapturedContext{title, urlText, LinkType::web, browser.appName, std::nullopt};
}

} // namespace morvane
