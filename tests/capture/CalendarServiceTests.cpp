#include "CalendarTestSupport.h"
#include "CaptureTestSupport.h"
#include "FakeDesktopServices.h"
#include "InMemoryCalendarStore.h"
#include "LogCapture.h"
#include "ManualClock.h"
#include "TestValues.h"

#include "capture/CalendarActiveContextProvider.h"
#include "capture/CalendarEventService.h"
#include "capture/CalendarRevealTarget.h"
#include "capture/FantasticalActiveContextProvider.h"
#include "foundation/UserDefaults.h"

#include <QCoreApplication>
#include <QTimer>

#include <thread>

using namespace morvane;
using namespace morvane::test;
using namespace std::chrono_literals;

namespace {

const QString calendarApp = CalendarEventService::calendarIdentifier;
const QString fantasticalApp = QStringLiteral("com.flexibits.fantastical2.mac");
const QString uuidA = QStringLiteral("6F1C2E0A-8B3D-4C5E-9F7A-1B2C3D4E5F60");
const QString uuidB = QStringLiteral("0A1B2C3D-4E5F-6A7B-8C9D-0E1F2A3B4C5D");

class CalendarService : public PinnedZoneAndLocale {
protected:
    // Friday 29 March 2024, noon in Berlin; summer time begins on Sunday.
    QDateTime now = local(2024, 3, 29, 12);
    ProviderFixture fx;
    std::shared_ptr<InMemoryCalendarStore> store = std::make_shared<InMemoryCalendarStore>();
    std::shared_ptr<FakeDesktopServices> desktop = std::make_shared<FakeDesktopServices>();
    std::shared_ptr<UserDefaults> defaults = UserDefaults::inMemory();
    std::shared_ptr<CalendarEventService> service =
        std::make_shared<CalendarEventService>(store, desktop, fx.scripts, defaults);

    CaptureResult captureIn(const QString& application)
    {
        fx.workspace->activate(application);
        CalendarActiveContextProvider provider(fx.workspace, fx.scripts, fx.bus, service,
                                               std::make_shared<ManualClock>(now));
        provider.refresh().waitForFinished();
        return provider.captureContexts();
    }
};

LinkItem savedLink(const CalendarEventReference& reference)
{
    LinkItem item;
    item.id = uuid("11111111-2222-3333-4444-555555555555");
    item.url = *reference.locator();
    item.type = LinkType::calendar;
    return item;
}

} // namespace

TEST_F(CalendarService, CaptureOffersTheFirst24EventsOfTheWindowByStart)
{
    store->calendarEvents.append(calendarEvent("before window", local(2024, 3, 29, 4)));
    for (int i = 29; i >= 0; --i)
        store->calendarEvents.append(
            calendarEvent(QString::number(i), local(2024, 3, 30, 8).addSecs(i * 3600)));
    store->calendarEvents.append(calendarEvent("tie 1", local(2024, 3, 29, 7)));
    store->calendarEvents.append(calendarEvent("tie 2", local(2024, 3, 29, 7)));

    // Read by the refresh before a capture, off the main thread: until then a capture offers nothing.
    fx.workspace->activate(fantasticalApp);
    CalendarActiveContextProvider unread(fx.workspace, fx.scripts, fx.bus, service,
                                         std::make_shared<ManualClock>(now));
    EXPECT_EQ(unread.captureContexts(), CaptureResult{});

    const CaptureResult result = captureIn(fantasticalApp);
    EXPECT_EQ(store->reads.mainThreadReads, 0);
    EXPECT_EQ(ids(result.contexts), "tie 1,tie 2,0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21");
    EXPECT_EQ(result.contexts.first().sourceApp, "Fantastical");
    EXPECT_EQ(result.message, "Select a Fantastical event to add or open.");
    // Seven calendar days on: the same wall-clock time although that week is an hour shorter.
    EXPECT_EQ(store->ranges.last(), std::pair(now.addSecs(-6 * 3600), local(2024, 4, 5, 12)));
}

TEST_F(CalendarService, CaptureMessagesWithoutEvents)
{
    fx.scripts->answer(calendarApp, "empty");
    const std::pair<CalendarAuthorizationStatus, QString> cases[] = {
        {CalendarAuthorizationStatus::notDetermined,
         "Calendar access requested. Approve it, then open Morvane again."},
        {CalendarAuthorizationStatus::writeOnly,
         "Calendar access is not available: this desktop runs no calendar service (Evolution Data Server) "
         "that Morvane may read."},
        {CalendarAuthorizationStatus::fullAccess,
         "No Calendar events found from the last 6 hours through the next 7 days."},
    };
    for (const auto& [status, message] : cases) {
        store->status = status;
        EXPECT_EQ(captureIn(calendarApp), (CaptureResult{{}, message}));
    }
    // A service that is there but cannot be read is not said to be missing.
    store->status = CalendarAuthorizationStatus::restricted;
    store->failure = QStringLiteral("“Home” cannot be read: no");
    EXPECT_EQ(
        captureIn(calendarApp),
        (CaptureResult{{},
                       "Calendar access is not available: the desktop's calendar service (Evolution Data "
                       "Server) could not be read. Preferences says why."}));
}

TEST_F(CalendarService, TheSelectionInCalendarIsTheEventItNames)
{
    CalendarEvent withUid = calendarEvent("U", local(2024, 3, 29, 15), 60, "Planning");
    withUid.externalIdentifier = "uid-1";
    store->calendarEvents = {calendarEvent("R", local(2024, 3, 29, 10), 60, "Review"), withUid};
    // "|" stands for the separator; Review is 09:00 to 10:00 UTC.
    const std::pair<const char*, const char*> cases[] = {
        {"Review||2024-03-29T09:00:59.999Z|2024-03-29T10:00:00.000Z", "R"},
        {"Review||2024-03-29T10:00:00.5+01:00|2024-03-29T11:00:00.5+01:00", "R"},
        {"Other|uid-1|2024-03-29T14:00:00.000Z|2024-03-29T15:00:00.000Z", "U"},
        {"Review||2024-03-29T09:01:00.000Z|2024-03-29T10:00:00.000Z", nullptr}, // a minute off
        {"review||2024-03-29T09:00:00.000Z|2024-03-29T10:00:00.000Z", nullptr},
        {"Review||2024-03-29T09:00:00Z|2024-03-29T10:00:00Z", nullptr},       // no fraction
        {"Review||2024-03-29T09:00:00.000|2024-03-29T10:00:00.000", nullptr}, // no zone
        {"Review|2024-03-29T09:00:00.000Z|2024-03-29T10:00:00.000Z", nullptr},
    };
    for (const auto& [payload, identifier] : cases) {
        fx.scripts = std::make_shared<ScriptedRunner>();
        fx.scripts->answer(calendarApp, QString::fromUtf8(payload).replace(u'|', u'\x1f'));
        const CaptureResult result = captureIn(calendarApp);
        const QString selected =
            result.message ? QString() : ids(result.contexts) + " from " + result.contexts[0].sourceApp;
        EXPECT_EQ(result.message.value_or(selected), identifier ? identifier + QString(" from Calendar")
                                                                : "Select a Calendar event to add or open.")
            << payload;
    }
    EXPECT_TRUE(fx.scripts->scripts.first().contains("return eventTitle & \"\x1f\" & eventUID & \"\x1f\" & "
                                                     "(eventStart as \u00ABclass isot\u00BB as text)"));
}

TEST_F(CalendarService, SearchFindsAnyFieldNearestToNowFirst)
{
    store->calendarEvents = {calendarEvent("after", now.addSecs(3600), 60, "Match"),
                             calendarEvent("before", now.addSecs(-3600), 60, "Match")};
    for (int i = 0; i < 105; ++i)
        store->calendarEvents.append(calendarEvent(QString::number(i), now.addDays(i + 1), 60, "Match"));
    CalendarEvent budget = calendarEvent("budget", now.addYears(-9), 60, "Budget");
    budget.notes = "Quarterly NÜMBERS";
    store->calendarEvents.append(budget);

    const QList<CapturedContext> found = service->searchEvents("match", "Calendar", now).result();
    EXPECT_EQ(found.size(), 100);
    EXPECT_EQ(ids(found.first(3)), "after,before,0");
    EXPECT_EQ(ids(service->searchEvents(" nümbers\n", "Calendar", now).result()), "budget");
    EXPECT_TRUE(service->searchEvents(" m ", "Calendar", now).result().isEmpty());
    store->status = CalendarAuthorizationStatus::denied;
    EXPECT_TRUE(service->searchEvents("match", "Calendar", now).result().isEmpty());
    EXPECT_EQ(store->reads.mainThreadReads, 0);
}

TEST_F(CalendarService, AccessIsAskedOnceAndItsAnswerTakenOnceOnTheMainThread)
{
    store->status = CalendarAuthorizationStatus::notDetermined;
    const CalendarEventReference reference{"E", {}, {}, {}, "Review", 1.0, 2.0};
    EXPECT_EQ(QCoro::waitFor(service->open(savedLink(reference))), RevealOutcome::notShown);
    EXPECT_EQ(QCoro::waitFor(service->open(savedLink(reference))), RevealOutcome::notShown);
    ASSERT_EQ(store->pending.size(), 1);

    LogCapture log(QStringLiteral("morvane.CalendarEvents"));
    const AccessRequestCompletion answer = store->pending.first();
    std::thread([&] {
        answer(false, std::nullopt);
        answer(false, std::nullopt);
    }).join();
    EXPECT_TRUE(log.lines().isEmpty()); // not yet on the main thread
    QCoreApplication::processEvents();
    EXPECT_EQ(log.lines(), QStringList{"Calendar access was not granted"});

    // Asked from the settings: waits for the answer, then reads the status.
    auto asked = service->requestAccess();
    store->answerRequests(CalendarAuthorizationStatus::denied, QStringLiteral("busy"));
    EXPECT_EQ(QCoro::waitFor(asked), CalendarAccessState::denied);
    EXPECT_EQ(log.lines().last(), "Calendar access request failed: busy");
}

TEST_F(CalendarService, OpenShowsTheEventWhereTheUserChose)
{
    CalendarEvent moved = calendarEvent("new id", local(2024, 3, 29, 10), 60, "Review");
    moved.externalIdentifier = "a\"b\\c";
    store->calendarEvents = {moved};
    CalendarEventReference withoutIds = CalendarEventReference::fromEvent(moved);
    withoutIds.identifier = "old id"; // found again by its external identifier
    CalendarEventReference withIds = withoutIds;
    withIds.fantasticalItemID = uuidA;
    withIds.fantasticalCalendarID = uuidB;
    using enum CalendarRevealTarget;
    struct Case {
        CalendarRevealTarget target;
        bool withFantasticalIds;
        QSet<QString> installed, handledSchemes;
        const char* revealAnswer; // nullptr: the script fails
        QString outcome;          // FakeDesktopServices::trace
    };
    const QString dayView = "x-fantastical3://show/calendar/2024-03-29";
    const QString item = "x-fantastical://show?item=" + uuidA + "&calendarIdentifier=" + uuidB;
    const Case cases[] = {
        {automatic, false, {"com.flexibits.fantastical"}, {"x-fantastical3"}, "ok", "shown " + dayView},
        {automatic, true, {}, {"x-fantastical"}, "ok", "shown"}, // not installed: revealed in Calendar
        {fantastical, true, {}, {"x-fantastical"}, "ok", "shown " + item},
        {fantastical, true, {}, {}, "ok", "shown " + item + " " + dayView},
        {appleCalendar, true, {calendarApp}, {}, "", "shown " + calendarApp},
        {appleCalendar, true, {}, {}, nullptr, "not shown"},
    };
    for (const Case& c : cases) {
        defaults->setString(calendarRevealTargetKey, rawValue(c.target));
        desktop = std::make_shared<FakeDesktopServices>();
        desktop->installed = c.installed;
        desktop->handledSchemes = c.handledSchemes;
        fx.scripts = std::make_shared<ScriptedRunner>();
        fx.scripts->answer("show item 1", c.revealAnswer ? ScriptOutcome::answer(c.revealAnswer)
                                                         : ScriptOutcome::failure("-1728"));
        service = std::make_shared<CalendarEventService>(store, desktop, fx.scripts, defaults);
        const RevealOutcome outcome =
            QCoro::waitFor(service->open(savedLink(c.withFantasticalIds ? withIds : withoutIds)));
        EXPECT_EQ(desktop->trace(outcome == RevealOutcome::shown), c.outcome);
        EXPECT_EQ(outcome == RevealOutcome::noApplication, c.outcome == "not shown")
            << "only where no application could show it";
    }
    EXPECT_TRUE(fx.scripts->scripts.first().contains("whose uid is \"a\\\"b\\\\c\"\n"));

    // Where no script reaches Calendar, the store's own calendar application shows the event.
    store->revealAnswer = true;
    store->revealed.clear();
    EXPECT_EQ(QCoro::waitFor(service->open(savedLink(withIds))), RevealOutcome::shown);
    EXPECT_EQ(store->revealed, QStringList{"new id"});

    LogCapture log(QStringLiteral("morvane.CalendarEvents"));
    store->calendarEvents.clear();
    EXPECT_EQ(QCoro::waitFor(service->open(savedLink(withIds))), RevealOutcome::notShown);
    EXPECT_EQ(log.lines(),
              QStringList{"Unable to resolve calendar event link 11111111-2222-3333-4444-555555555555"});
}

// The event is looked up on the service's own thread. A service that never reads the calendars leaves
// the open with nothing shown once the bound has passed, and the main thread runs meanwhile.
TEST_F(CalendarService, AnOpenReadsOffTheMainThreadAndGivesUpOnCalendarsNeverRead)
{
    const CalendarEvent saved = calendarEvent("E", local(2024, 3, 29, 10), 60, "Review");
    store->calendarEvents = {saved};
    store->revealAnswer = true;
    const LinkItem link = savedLink(CalendarEventReference::fromEvent(saved));
    EXPECT_EQ(QCoro::waitFor(service->open(link)), RevealOutcome::shown);

    store->reads.neverRead = true;
    service = std::make_shared<CalendarEventService>(store, desktop, fx.scripts, defaults, 100ms);
    LogCapture log(QStringLiteral("morvane.CalendarEvents"));
    bool loopRan = false;
    QTimer::singleShot(0, [&] { loopRan = true; });
    EXPECT_EQ(QCoro::waitFor(service->open(link)), RevealOutcome::notShown);
    EXPECT_TRUE(loopRan);
    EXPECT_EQ(log.lines(), QStringList({"The calendars were not read within 100 ms",
                                        "Unable to resolve calendar event link "
                                        "11111111-2222-3333-4444-555555555555"}));
    EXPECT_EQ(store->revealed, QStringList{"E"}); // the first open only
    EXPECT_EQ(store->reads.mainThreadReads, 0);
}

// A quit while an open waits for calendars never read: the service's end gives the wait up instead of
// holding the quit until the bound has passed.
TEST_F(CalendarService, AServiceThatEndsGivesUpAnOpenWaitingForTheCalendars)
{
    const CalendarEvent saved = calendarEvent("E", local(2024, 3, 29, 10), 60, "Review");
    store->calendarEvents = {saved};
    store->revealAnswer = true;
    store->reads.neverRead = true;
    constexpr std::chrono::milliseconds bound = 20s;
    service = std::make_shared<CalendarEventService>(store, desktop, fx.scripts, defaults, bound);
    QCoro::Task<RevealOutcome> opening = service->open(savedLink(CalendarEventReference::fromEvent(saved)));
    while (store->reads.waits == 0)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    const auto ending = std::chrono::steady_clock::now();
    service.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - ending, bound / 2);
    EXPECT_EQ(QCoro::waitFor(std::move(opening)), RevealOutcome::notShown);
    EXPECT_TRUE(store->revealed.isEmpty());
}

TEST(FantasticalProvider, SelectionAnswersAndMessages)
{
    const QString select = "Select a Fantastical event to add or open.";
    const QString unreadable = "Unable to read the selected Fantastical event.";
    const QString lower = "6f1c2e0a-8b3d-4c5e-9f7a-1b2c3d4e5f60";
    const std::pair<ScriptOutcome, QString> cases[] = {
        {ScriptOutcome::answer(" Launch |" + lower + "|" + uuidB + "\n"),
         "Launch | x-fantastical://show?item=" + uuidA + "&calendarIdentifier=" + uuidB},
        {ScriptOutcome::answer(" |" + uuidA + "|" + uuidB),
         "Fantastical event | x-fantastical://show?item=" + uuidA + "&calendarIdentifier=" + uuidB},
        {ScriptOutcome::answer("Launch|" + uuidA + "@example.com|" + uuidB), unreadable},
        {ScriptOutcome::answer("Launch|x|" + uuidA + "|" + uuidB), unreadable},
        {ScriptOutcome::answer("empty"), select},
        {ScriptOutcome::answer("denied"), "Automation access to Fantastical is denied by the desktop."},
        {ScriptOutcome::failure("-600"), unreadable},
    };
    for (const auto& [answer, expected] : cases) {
        ProviderFixture fx;
        fx.workspace->activate(fantasticalApp);
        ScriptOutcome outcome = answer;
        if (outcome.text)
            outcome.text->replace(u'|', u'\x1f');
        fx.scripts->answer("Fantastical", outcome);
        const CaptureResult result =
            FantasticalActiveContextProvider(fx.workspace, fx.scripts).captureContexts();
        const QString got = result.contexts.isEmpty()
                                ? result.message.value_or("-")
                                : result.contexts[0].title + " | " + result.contexts[0].locator;
        EXPECT_EQ(got, expected);
    }
}
