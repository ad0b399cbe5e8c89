#include "CalendarTestSupport.h"
#include "CaptureTestSupport.h"
#include "FakeDesktopServices.h"
#include "InMemoryCalendarStore.h"
#include "InMemoryContactStore.h"
#include "ManualClock.h"
#include "RecordedAccessibilityTree.h"

#include "capture/CalendarActiveContextProvider.h"
#include "capture/CalendarEventService.h"
#include "capture/ContactActiveContextProvider.h"
#include "capture/ContactService.h"
#include "capture/GnomeCalendarEventReader.h"
#include "capture/GnomeContactsCardReader.h"
#include "foundation/UserDefaults.h"
#include "platform/ScriptRunner.h"

#include <gtest/gtest.h>

using namespace morvane;
using namespace morvane::test;

namespace {

QString recording(const char* name)
{
    return QStringLiteral(MORVANE_RECORDED_TREES "/") + QLatin1String(name);
}

// GNOME Contacts and GNOME Calendar replayed from their recordings, in front of the user.
class RecordedApplication : public PinnedZoneAndLocale {
protected:
    ProviderFixture fx;
    std::shared_ptr<FakeDesktopServices> desktop = std::make_shared<FakeDesktopServices>();
    std::shared_ptr<UserDefaults> defaults = UserDefaults::inMemory();
    qint64 lastProcess = 4000;

    // Each replay is another process, which comes to the front.
    void replay(const char* name, const QString& identifier)
    {
        replayRecordedTree(*fx.bus, recording(name), ++lastProcess).value();
        fx.workspace->activate(identifier, lastProcess);
    }
    template <class Read> auto readOnBus(Read read)
    {
        return fx.bus->run([read](AccessibilityElements& api) { return read(std::as_const(api)); }).result();
    }
    // The panel comes up (our own window in front) and its reading answers late: nothing is offered
    // until it has; then what it read.
    template <class Provider> CaptureResult captureOfALateReadingAtTheShow(Provider& provider)
    {
        fx.workspace->activateOwn();
        fx.bus->holdJobs = true;
        provider.distrustKeptReadings();
        QFuture<void> reading = provider.refresh();
        EXPECT_EQ(provider.captureContexts(), CaptureResult());
        fx.bus->holdJobs = false;
        fx.bus->runHeldJobs();
        reading.waitForFinished();
        return provider.captureContexts();
    }
};

class GnomeContacts : public RecordedApplication {
protected:
    std::shared_ptr<InMemoryContactStore> store = std::make_shared<InMemoryContactStore>();
    std::shared_ptr<ContactService> service = std::make_shared<ContactService>(store, desktop, defaults);
    ContactActiveContextProvider provider{fx.workspace, std::make_shared<UnavailableScriptRunner>(), fx.bus,
                                          service};

    void SetUp() override
    {
        RecordedApplication::SetUp();
        store->cards = {{"ann", "Ann", "Zebrafish", "Okapi Works"}, {"bert", "Bert", "Heron", ""}};
    }
    // The capture after the window was read, as the panel sees it: the message, or
    // "title | id | source" of the card.
    QString captureAfterRefresh()
    {
        provider.refresh().waitForFinished();
        const CaptureResult result = provider.captureContexts();
        if (result.contexts.isEmpty())
            return result.message.value_or("-");
        return result.contexts.first().title + " | " + ids(result.contexts) + " | " +
               result.contexts.first().sourceApp;
    }
};

} // namespace

TEST_F(GnomeContacts, TheRecordedWindowsShowTheCardOrNone)
{
    replayRecordedTree(*fx.bus, recording("gnome-contacts-card.json"), 1).value();
    replayRecordedTree(*fx.bus, recording("gnome-contacts-list.json"), 2).value();
    EXPECT_EQ(readOnBus([](const AccessibilityElements& api) { return readShownContactCard(api, 1); }),
              (ShownContactCard{"Ann Zebrafish", "Ann Zebrafish"}));
    // The list's rows name both cards, but no card is shown.
    EXPECT_EQ(readOnBus([](const AccessibilityElements& api) { return readShownContactCard(api, 2); }),
              ShownContactCard{});
    EXPECT_EQ(readOnBus([](const AccessibilityElements& api) { return readShownContactCard(api, 3); }),
              std::nullopt);

    // Two windows, alike in name: the one the user works in tells.
    const AccessibilityElement twoWindows =
        replayRecordedTree(*fx.bus, recording("gnome-contacts-list.json"), 4).value();
    const AccessibilityElement other =
        replayRecordedTree(*fx.bus, recording("gnome-contacts-card.json"), 5).value();
    AccessibilityElement listWindow, cardWindow;
    fx.bus->edit(twoWindows, [&](AccessibilityTree::Node& n) { listWindow = n.children.first(); });
    fx.bus->edit(other, [&](AccessibilityTree::Node& n) { cardWindow = n.children.first(); });
    fx.bus->edit(twoWindows, [&](AccessibilityTree::Node& n) { n.children.append(cardWindow); });
    fx.bus->edit(listWindow, [](AccessibilityTree::Node& n) {
        n.states &= ~AccessibilityStates(AccessibilityState::active);
    });
    EXPECT_EQ(readOnBus([](const AccessibilityElements& api) { return readShownContactCard(api, 4); }),
              (ShownContactCard{"Ann Zebrafish", "Ann Zebrafish"}));
    // The panel takes the keyboard: neither window is active, and the one worked in last still tells.
    ContactsWindowInUse inUse;
    const auto readRemembering = [&] {
        return readOnBus(
            [&](const AccessibilityElements& api) { return readShownContactCard(api, 4, &inUse); });
    };
    EXPECT_EQ(readRemembering(), (ShownContactCard{"Ann Zebrafish", "Ann Zebrafish"}));
    fx.bus->edit(cardWindow, [](AccessibilityTree::Node& n) {
        n.states &= ~AccessibilityStates(AccessibilityState::active);
    });
    EXPECT_EQ(readRemembering(), (ShownContactCard{"Ann Zebrafish", "Ann Zebrafish"}));
    EXPECT_EQ(readOnBus([](const AccessibilityElements& api) { return readShownContactCard(api, 4); }),
              ShownContactCard{});
}

TEST_F(GnomeContacts, TheShownCardIsCapturedAsTheOneCardOfThatName)
{
    replay("gnome-contacts-card.json", ContactActiveContextProvider::contactsIdentifier);
    EXPECT_EQ(captureAfterRefresh(), "Ann Zebrafish | ann | Contacts");
    // Still so with the quick panel in front of it.
    fx.workspace->activateOwn();
    EXPECT_EQ(captureAfterRefresh(), "Ann Zebrafish | ann | Contacts");
    EXPECT_EQ(fx.bus->offThreadReads, 0);
    EXPECT_EQ(store->reads.mainThreadReads, 0); // matched when the window was read
}

TEST_F(GnomeContacts, NoCardOrNoSingleMatchSaysWhy)
{
    replay("gnome-contacts-list.json", ContactActiveContextProvider::contactsIdentifier);
    EXPECT_EQ(captureAfterRefresh(), "Select a Contacts contact to add or open.");

    replay("gnome-contacts-card.json", ContactActiveContextProvider::contactsIdentifier);
    const QString ambiguous = "Morvane can see Contacts text, but it does not resolve to one unique contact. "
                              "Type the contact name in Morvane to link it.";
    store->cards.append({"ann2", "Ann", "Zebrafish", ""});
    EXPECT_EQ(captureAfterRefresh(), ambiguous);
    store->cards = {{"bert", "Bert", "Heron", ""}};
    EXPECT_EQ(captureAfterRefresh(), ambiguous);
}

TEST_F(GnomeContacts, AWindowNotReadOrOffTheBusIsUnreadableAndOneBeingReadSaysNothingYet)
{
    replay("gnome-contacts-card.json", ContactActiveContextProvider::contactsIdentifier);
    provider.refresh().waitForFinished();
    // Another window of the application has not been read: what the first one showed is not its.
    fx.workspace->activate(ContactActiveContextProvider::contactsIdentifier, lastProcess);
    EXPECT_EQ(provider.captureContexts().message, "Unable to read the selected Contacts contact.");
    fx.workspace->activate(ContactActiveContextProvider::contactsIdentifier, 777);
    provider.refresh().waitForFinished();
    EXPECT_EQ(provider.captureContexts().message, "Unable to read the selected Contacts contact.");

    // While its window is still being read (the address book may still be loading), nothing is said
    // yet: the panel waits for the reading rather than calling the card unreadable.
    fx.bus->holdJobs = true;
    replay("gnome-contacts-card.json", ContactActiveContextProvider::contactsIdentifier);
    QFuture<void> reading = provider.refresh();
    EXPECT_EQ(provider.captureContexts(), CaptureResult());
    fx.bus->holdJobs = false;
    fx.bus->runHeldJobs();
    reading.waitForFinished();
    EXPECT_EQ(captureAfterRefresh(), "Ann Zebrafish | ann | Contacts");
}

// Ann's card is kept from an earlier reading; the user chooses Bert's row, and the panel comes up
// about a second later, while the pane still shows Ann's card (Contacts loads the next one), and the
// reading started then answers late. Neither Ann's card nor "select a contact" is said meanwhile.
TEST_F(GnomeContacts, ACardChosenJustBeforeTheShowIsNeverTakenForTheOneBefore)
{
    replay("gnome-contacts-card.json", ContactActiveContextProvider::contactsIdentifier);
    EXPECT_EQ(captureAfterRefresh(), "Ann Zebrafish | ann | Contacts");

    const AccessibilityElement rows = readOnBus([process = lastProcess](const AccessibilityElements& api) {
        const AccessibilityElement frame = api.frames(api.application(process)->element).first();
        AccessibilityElements::Walk walk;
        walk.showingOnly = false;
        const AccessibilityElement contactList = *api.findFirst(
            frame, [&](const AccessibilityElement& e) { return api.name(e) == "ContactsContactList"; }, walk);
        return *api.findFirst(
            contactList,
            [&](const AccessibilityElement& e) { return api.role(e) == AccessibilityRole::list; }, walk);
    });
    const auto choose = [&](std::optional<int> row) {
        fx.bus->edit(rows, [&](AccessibilityTree::Node& n) {
            n.selected.clear();
            if (row)
                n.selected.append(n.children.at(*row));
        });
    };
    ASSERT_EQ(
        readOnBus([rows](const AccessibilityElements& api) { return api.selectedChildren(rows).size(); }), 1);
    choose(1);
    const CaptureResult bert = captureOfALateReadingAtTheShow(provider);
    EXPECT_EQ(bert.contexts.value(0).title, "Bert Heron");
    EXPECT_EQ(ids(bert.contexts), "bert");

    // No row chosen and the pane still on Ann's card: the card tells.
    choose(std::nullopt);
    provider.distrustKeptReadings();
    EXPECT_EQ(captureAfterRefresh(), "Ann Zebrafish | ann | Contacts");
}

namespace {

class GnomeCalendar : public RecordedApplication {
protected:
    // The recordings were made on 7 December 2026; the events were written at 10:00 and 14:00 of the
    // recording machine's zone, which is the zone GNOME Calendar showed them in.
    QDateTime now = local(2026, 12, 7, 9);
    std::shared_ptr<InMemoryCalendarStore> store = std::make_shared<InMemoryCalendarStore>();
    std::shared_ptr<CalendarEventService> service =
        std::make_shared<CalendarEventService>(store, desktop, fx.scripts, defaults);
    CalendarActiveContextProvider provider{fx.workspace, fx.scripts, fx.bus, service,
                                           std::make_shared<ManualClock>(now)};

    void SetUp() override
    {
        RecordedApplication::SetUp();
        store->calendarEvents = {
            event("review", local(2026, 12, 7, 10), "Quarterly Zebra Review", "Personal"),
            event("walrus", local(2026, 12, 7, 14), "Walrus Planning", "Personal"),
            // The same title on other days and at another hour.
            event("review-next-week", local(2026, 12, 14, 10), "Quarterly Zebra Review", "Personal"),
            event("review-later", local(2026, 12, 7, 16), "Quarterly Zebra Review", "Personal"),
        };
    }
    static CalendarEvent event(const QString& id, const QDateTime& start, const QString& title,
                               const QString& calendar)
    {
        CalendarEvent made = calendarEvent(id, start, 60, title);
        made.calendarTitle = calendar;
        return made;
    }
    CaptureResult captureAfterRefresh()
    {
        provider.refresh().waitForFinished();
        return provider.captureContexts();
    }
};

} // namespace

TEST_F(GnomeCalendar, TheRecordedWindowsShowTheOpenedEvent)
{
    replayRecordedTree(*fx.bus, recording("gnome-calendar-popover.json"), 1).value();
    replayRecordedTree(*fx.bus, recording("gnome-calendar-editor.json"), 2).value();
    replayRecordedTree(*fx.bus, recording("gnome-calendar-nothing-open.json"), 3).value();
    const ShownCalendarEvent popover{"Quarterly Zebra Review", {12, 7, 26}, QTime(10, 0), std::nullopt};
    EXPECT_EQ(readOnBus([](const AccessibilityElements& api) { return readOpenedCalendarEvent(api, 1); }),
              popover);
    ShownCalendarEvent editor = popover;
    editor.calendarTitle = "Personal";
    EXPECT_EQ(readOnBus([](const AccessibilityElements& api) { return readOpenedCalendarEvent(api, 2); }),
              editor);
    EXPECT_EQ(readOnBus([](const AccessibilityElements& api) { return readOpenedCalendarEvent(api, 3); }),
              std::nullopt);
}

TEST_F(GnomeCalendar, TheOpenedEventIsCapturedByTitleStartAndCalendar)
{
    for (const char* window : {"gnome-calendar-popover.json", "gnome-calendar-editor.json"}) {
        SCOPED_TRACE(window);
        replay(window, CalendarEventService::calendarIdentifier);
        const CaptureResult result = captureAfterRefresh();
        EXPECT_EQ(ids(result.contexts), "review");
        EXPECT_EQ(result.message, std::nullopt);
        EXPECT_EQ(result.contexts.value(0).sourceApp, "Calendar");
    }
    EXPECT_EQ(fx.bus->offThreadReads, 0);
    EXPECT_EQ(store->reads.mainThreadReads, 0); // matched when the window was read
}

TEST_F(GnomeCalendar, WithNothingOpenOrNoSingleMatchTheEventsAroundNowRemain)
{
    const QString aroundNow = "review,walrus,review-later,review-next-week";
    replay("gnome-calendar-nothing-open.json", CalendarEventService::calendarIdentifier);
    CaptureResult result = captureAfterRefresh();
    EXPECT_EQ(ids(result.contexts), aroundNow);
    EXPECT_EQ(result.message, "Select a Calendar event to add or open.");

    // The same event in a second calendar: the popover does not say which, the editor does.
    store->calendarEvents.append(
        event("review-work", local(2026, 12, 7, 10), "Quarterly Zebra Review", "Work"));
    replay("gnome-calendar-popover.json", CalendarEventService::calendarIdentifier);
    EXPECT_EQ(captureAfterRefresh().contexts.size(), 5);
    replay("gnome-calendar-editor.json", CalendarEventService::calendarIdentifier);
    EXPECT_EQ(ids(captureAfterRefresh().contexts), "review");

    // Not among the user's events (deleted since): the list.
    store->calendarEvents.removeFirst();
    EXPECT_EQ(captureAfterRefresh().contexts.size(), 4);
}

TEST(ShownCalendarEvent, DatesInAnyOrderAndTimesInEitherClock)
{
    using Shown = ShownCalendarEvent;
    // Month first (en_US), day first (en_GB, de_DE), year first (ISO).
    EXPECT_EQ((Shown{"t", {12, 7, 26}, {}, {}}.possibleDays()),
              (QList<QDate>{QDate(2012, 7, 26), QDate(2026, 7, 12), QDate(2026, 12, 7)}));
    EXPECT_EQ((Shown{"t", {2026, 12, 7}, {}, {}}.possibleDays()), (QList<QDate>{QDate(2026, 12, 7)}));
    EXPECT_EQ((Shown{"t", {31, 12, 2026}, {}, {}}.possibleDays()), (QList<QDate>{QDate(2026, 12, 31)}));

    const CalendarEvent lunch{"id",
                              std::nullopt,
                              "Lunch",
                              QDateTime(QDate(2026, 12, 7), QTime(13, 30)),
                              QDateTime(QDate(2026, 12, 7), QTime(14, 0)),
                              "Home",
                              std::nullopt,
                              std::nullopt};
    EXPECT_TRUE((Shown{"Lunch", {7, 12, 26}, QTime(13, 30), "Home"}.shows(lunch)));
    EXPECT_TRUE((Shown{"Lunch", {7, 12, 26}, std::nullopt, std::nullopt}.shows(lunch)));
    EXPECT_FALSE((Shown{"Lunch", {7, 12, 26}, QTime(13, 0), std::nullopt}.shows(lunch)));
    EXPECT_FALSE((Shown{"Lunch", {8, 12, 26}, QTime(13, 30), std::nullopt}.shows(lunch)));
    EXPECT_FALSE((Shown{"Lunch", {7, 12, 26}, QTime(13, 30), "Work"}.shows(lunch)));
    EXPECT_FALSE((Shown{"Lunch break", {7, 12, 26}, QTime(13, 30), std::nullopt}.shows(lunch)));
}

TEST_F(GnomeCalendar, APopoverWrittenInTwelveHourTimeOrForAWholeDay)
{
    using R = AccessibilityRole;
    const auto popoverOf = [&](qint64 process, const QString& description) {
        const AccessibilityElement application = fx.bus->addApplication(process, "gnome-calendar");
        const AccessibilityElement frame = fx.bus->add(application, node(R::frame, "Calendar"));
        AccessibilityTree::Node widget = node(R::filler, "GcalEventWidget", AccessibilityState::visible);
        widget.description = description;
        const AccessibilityElement opened = fx.bus->add(frame, std::move(widget));
        fx.bus->add(opened, node(R::filler, "GcalEventPopover", AccessibilityState::visible));
    };
    popoverOf(1, "Lunch\n12/7/26, 1:30 PM - 2:00 PM");
    popoverOf(2, "Holiday\n2026-12-24");
    popoverOf(3, "No date here");
    EXPECT_EQ(readOnBus([](const AccessibilityElements& api) { return readOpenedCalendarEvent(api, 1); }),
              (ShownCalendarEvent{"Lunch", {12, 7, 26}, QTime(13, 30), std::nullopt}));
    EXPECT_EQ(readOnBus([](const AccessibilityElements& api) { return readOpenedCalendarEvent(api, 2); }),
              (ShownCalendarEvent{"Holiday", {2026, 12, 24}, std::nullopt, std::nullopt}));
    EXPECT_EQ(readOnBus([](const AccessibilityElements& api) { return readOpenedCalendarEvent(api, 3); }),
              std::nullopt);
}

// The popover was open on one event; the user opens another's just before the panel comes up, and the
// reading started then answers late: the event open before is not offered meanwhile, nor the list.
TEST_F(GnomeCalendar, AnEventOpenedJustBeforeTheShowIsNeverTakenForTheOneBefore)
{
    replay("gnome-calendar-popover.json", CalendarEventService::calendarIdentifier);
    EXPECT_EQ(ids(captureAfterRefresh().contexts), "review");

    // The popover now hangs from Walrus Planning's event.
    const AccessibilityElement opened = readOnBus([process = lastProcess](const AccessibilityElements& api) {
        AccessibilityElements::Walk walk;
        walk.showingOnly = false;
        return *api.findFirst(
            api.frames(api.application(process)->element).first(),
            [&](const AccessibilityElement& e) {
                return api.name(e) == "GcalEventWidget" && api.children(e).size() == 2;
            },
            walk);
    });
    fx.bus->edit(opened, [](AccessibilityTree::Node& n) {
        n.description = "Walrus Planning\n12/07/26, 14:00 - 15:00";
    });
    EXPECT_EQ(ids(captureOfALateReadingAtTheShow(provider).contexts), "walrus");
}
