#include "EdsStandIn.h"
#include "FakeDesktopServices.h"
#include "FakeProcessLauncher.h"
#include "LogCapture.h"
#include "platform/EdsCalendarStore.h"
#include "platform/EdsContactStore.h"
#include "platform/EvolutionDataServer.h"

#include <QTest>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <future>
#include <tuple>

using namespace morvane;
using namespace morvane::test;
using namespace std::chrono_literals;

namespace {

const QByteArray failingServiceEvent = "BEGIN:VEVENT\r\nUID:stand-in-event\r\nDTSTAMP:20260101T000000Z\r\n"
                                       "DTSTART:20261208T090000Z\r\nDTEND:20261208T100000Z\r\n"
                                       "SUMMARY:Stand-in Review\r\nEND:VEVENT\r\n";
const QByteArray failingServiceCard = "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:stand-in-card\r\nFN:Ann Standin\r\n"
                                      "N:Standin;Ann;;;\r\nEND:VCARD\r\n";

// The service and its two stores, read once the first reading ended and reported its failures.
struct ReadStores {
    std::shared_ptr<EvolutionDataServer> service = std::make_shared<EvolutionDataServer>();
    std::atomic_int failureReports = 0;
    EdsCalendarStore calendars{service, std::make_shared<FakeDesktopServices>(),
                               std::make_shared<FakeProcessLauncher>()};
    EdsContactStore contacts{service, std::make_shared<FakeDesktopServices>(),
                             std::make_shared<FakeProcessLauncher>()};

    ReadStores()
    {
        service->followFailures([this] { ++failureReports; });
    }
    bool read()
    {
        return service->waitUntilLoaded(EvolutionDataServer::Load::everything, 20s) &&
               QTest::qWaitFor([this] { return failureReports > 0; }, 10000);
    }
};

} // namespace

// A service whose names are on the bus but whose calls fail (an error, or a method its interfaces
// lack, as another revision of the service has) makes the kind whose reading failed not available:
// restricted, with the method and the service's error in the log, and the store that failed named
// with the service's words to whoever asks. A service that answers is full access, with its items read.
TEST(EvolutionDataServerFailures, AKindWhoseCallsFailIsNotAvailableWithTheMethodAndTheError)
{
    const struct {
        const char* what;
        EdsStandIn::Behaviour behaviour;
        const char* calendarReason; // nothing: the calendars are read
        const char* cardReason;
    } cases[] = {
        {"every call fails",
         {{"GetManagedObjects", "OpenCalendar", "OpenAddressBook", "Open", "GetObjectList", "GetContactList",
           "GetView", "GetTimezone"},
          {},
          {failingServiceEvent},
          {failingServiceCard}},
         "GetManagedObjects: ",
         "GetManagedObjects: "},
        {"the factories refuse",
         {{"OpenCalendar", "OpenAddressBook"}, {}, {failingServiceEvent}, {failingServiceCard}},
         "OpenCalendar: ",
         "OpenAddressBook: "},
        {"the calendar does not open",
         {{"Open"}, {}, {failingServiceEvent}, {failingServiceCard}},
         "Open: ",
         "Open: "},
        {"a revision without the calendar's listing",
         {{}, {"GetObjectList"}, {failingServiceEvent}, {failingServiceCard}},
         "GetObjectList: ",
         nullptr},
        {"a revision without the address book's factory",
         {{}, {"OpenAddressBook"}, {failingServiceEvent}, {failingServiceCard}},
         nullptr,
         "OpenAddressBook: "},
        {"everything answers", {{}, {}, {failingServiceEvent}, {failingServiceCard}}, nullptr, nullptr},
    };
    for (const auto& tried : cases) {
        SCOPED_TRACE(tried.what);
        EdsStandIn standIn(tried.behaviour);
        ASSERT_TRUE(standIn.isReady());

        LogCapture log(QStringLiteral("morvane.EvolutionDataServer"));
        auto service = std::make_shared<EvolutionDataServer>();
        std::atomic_int failureReports = 0;
        service->followFailures([&failureReports] { ++failureReports; });
        auto desktop = std::make_shared<FakeDesktopServices>();
        auto launcher = std::make_shared<FakeProcessLauncher>();
        EdsCalendarStore calendars(service, desktop, launcher);
        EdsContactStore contacts(service, desktop, launcher);
        std::promise<bool> granted;
        calendars.requestFullAccess([&granted](bool answer, auto) { granted.set_value(answer); });
        auto grantedAnswer = granted.get_future();
        ASSERT_EQ(grantedAnswer.wait_for(10s), std::future_status::ready);
        // The names are on the bus: before anything is read, the service counts as there.
        EXPECT_TRUE(grantedAnswer.get());
        ASSERT_TRUE(service->waitUntilLoaded(EvolutionDataServer::Load::everything, 20s));

        const auto expectReason = [&](const char* kind, std::optional<QString> reason, const char* expected,
                                      const QString& service, const QString& store) {
            SCOPED_TRACE(kind);
            if (!expected) {
                EXPECT_EQ(reason, std::nullopt) << reason.value_or(QString()).toStdString();
                return;
            }
            ASSERT_TRUE(reason.has_value());
            // The registry's failure is the service's; any other names the store that failed.
            const bool registry = std::strcmp(expected, "GetManagedObjects: ") == 0;
            const QString lead = registry ? QStringLiteral("The %1 service is there but could not be read: "
                                                           "GetManagedObjects: ")
                                                .arg(service)
                                          : QStringLiteral("“%1” cannot be read: ").arg(store);
            EXPECT_TRUE(reason->startsWith(lead)) << reason->toStdString();
            EXPECT_GT(reason->size(), lead.size()) << reason->toStdString();
            // The log has the method and the service's whole error, once.
            const QString line = QLatin1String(kind) + QStringLiteral(" are not available: ") + expected;
            EXPECT_EQ(log.lines().filter(line).size(), 1) << log.lines().join(u'\n').toStdString();
        };
        expectReason("Calendars", calendars.unavailableReason(), tried.calendarReason,
                     QStringLiteral("calendar"), QLatin1String(EdsStandIn::calendarName));
        expectReason("Address books", contacts.unavailableReason(), tried.cardReason,
                     QStringLiteral("address book"), QStringLiteral("Stand-in Book"));
        EXPECT_EQ(calendars.authorizationStatus(), tried.calendarReason
                                                       ? CalendarAuthorizationStatus::restricted
                                                       : CalendarAuthorizationStatus::fullAccess);
        EXPECT_EQ(contacts.authorizationStatus(), tried.cardReason ? ContactAuthorizationStatus::restricted
                                                                   : ContactAuthorizationStatus::authorized);
        // Reported once the snapshot that says it is out.
        if (tried.calendarReason || tried.cardReason)
            EXPECT_TRUE(QTest::qWaitFor([&failureReports] { return failureReports > 0; }, 10000));
        else
            EXPECT_EQ(failureReports.load(), 0);
        // A request now answers what a reading found.
        std::promise<bool> regranted;
        calendars.requestFullAccess([&regranted](bool answer, auto) { regranted.set_value(answer); });
        auto regrantedAnswer = regranted.get_future();
        ASSERT_EQ(regrantedAnswer.wait_for(10s), std::future_status::ready);
        EXPECT_EQ(regrantedAnswer.get(), tried.calendarReason == nullptr);

        // What could be read still is.
        const auto snapshot = service->snapshot();
        EXPECT_EQ(snapshot->events.size(), tried.calendarReason ? 0 : 1);
        EXPECT_EQ(snapshot->cards.size(), tried.cardReason ? 0 : 1);
    }
}

// A failure lasts only until a reading succeeds: a calendar added to the registry has every calendar
// read again, the one that failed included, and the calendars are full access again, said once.
TEST(EvolutionDataServerFailures, AKindThatFailedIsAvailableOnceAReadingSucceeds)
{
    EdsStandIn standIn({{"OpenCalendar"}, {}, {failingServiceEvent}, {failingServiceCard}});
    ASSERT_TRUE(standIn.isReady());

    LogCapture log(QStringLiteral("morvane.EvolutionDataServer"));
    auto service = std::make_shared<EvolutionDataServer>();
    std::atomic_int failureReports = 0;
    service->followFailures([&failureReports] { ++failureReports; });
    EdsCalendarStore calendars(service, std::make_shared<FakeDesktopServices>(),
                               std::make_shared<FakeProcessLauncher>());
    ASSERT_TRUE(service->waitUntilLoaded(EvolutionDataServer::Load::everything, 20s));
    ASSERT_TRUE(QTest::qWaitFor([&failureReports] { return failureReports == 1; }, 10000));
    EXPECT_EQ(calendars.authorizationStatus(), CalendarAuthorizationStatus::restricted);

    standIn.setFailing({});
    standIn.addCalendar(QStringLiteral("stand-in-calendar-2"));
    ASSERT_TRUE(QTest::qWaitFor([&failureReports] { return failureReports == 2; }, 10000));
    EXPECT_EQ(calendars.authorizationStatus(), CalendarAuthorizationStatus::fullAccess);
    EXPECT_EQ(calendars.unavailableReason(), std::nullopt);
    EXPECT_EQ(log.lines().count(QStringLiteral("Calendars are available again")), 1)
        << log.lines().join(u'\n').toStdString();
    // Both calendars answer the same item.
    EXPECT_EQ(service->snapshot()->events.size(), 2);
}

// An opening answered with a store GLib could never call (here a malformed object path) is a failed
// opening like any other: both kinds are restricted, with the store named and the reason Preferences
// shows under them.
TEST(EvolutionDataServerFailures, AnOpeningAnsweredWithAMalformedPathIsNotAvailableWithThatReason)
{
    EdsStandIn standIn({{}, {}, {failingServiceEvent}, {failingServiceCard}});
    ASSERT_TRUE(standIn.isReady());
    standIn.answerOpenWith("not/a path", ":1.1");

    ReadStores stores;
    ASSERT_TRUE(stores.read());
    const EdsCalendarStore& calendars = stores.calendars;
    const EdsContactStore& contacts = stores.contacts;
    EXPECT_EQ(calendars.authorizationStatus(), CalendarAuthorizationStatus::restricted);
    EXPECT_EQ(contacts.authorizationStatus(), ContactAuthorizationStatus::restricted);
    EXPECT_EQ(calendars.unavailableReason().value_or(QString()).toStdString(),
              "“Stand-in” cannot be read: the answer's object path is not valid");
    EXPECT_EQ(contacts.unavailableReason().value_or(QString()).toStdString(),
              "“Stand-in Book” cannot be read: the answer's object path is not valid");
}

// One calendar or address book that cannot be read (its backend is not installed: the factory, the
// store's opening or its listing fails) hides nothing of the others: the kind stays full access, the
// readable store's items are offered, and the failing one is named by its display name with the
// service's message, without the bus's name for the error, which the log keeps, once. With every store
// of the kind failing, the kind is restricted and every one is named.
TEST(EvolutionDataServerFailures, OneStoreThatCannotBeReadHidesNothingOfTheOthers)
{
    const QString calendarShown = QStringLiteral("“Work Exchange” cannot be read: ") +
                                  EdsStandIn::brokenMessage(EdsStandIn::brokenCalendarUid);
    const QString bookShown = QStringLiteral("“Old Contacts” cannot be read: ") +
                              EdsStandIn::brokenMessage(EdsStandIn::brokenBookUid);
    const struct {
        const char* brokenAt;
        bool calendarFails;
        bool bookFails;
    } cases[] = {
        {"OpenCalendar", true, false},  {"OpenAddressBook", false, true}, {"Open", true, true},
        {"GetObjectList", true, false}, {"GetContactList", false, true},
    };
    for (const auto& tried : cases) {
        SCOPED_TRACE(tried.brokenAt);
        EdsStandIn standIn({{}, {}, {failingServiceEvent}, {failingServiceCard}});
        ASSERT_TRUE(standIn.isReady());
        standIn.addBrokenSources(tried.brokenAt);
        LogCapture log(QStringLiteral("morvane.EvolutionDataServer"));
        ReadStores stores;
        ASSERT_TRUE(stores.read());
        const EdsCalendarStore& calendars = stores.calendars;
        const EdsContactStore& contacts = stores.contacts;

        EXPECT_EQ(calendars.authorizationStatus(), CalendarAuthorizationStatus::fullAccess);
        EXPECT_EQ(contacts.authorizationStatus(), ContactAuthorizationStatus::authorized);
        // A broken store that reads lists the same items as the stand-in's own.
        const auto snapshot = stores.service->snapshot();
        ASSERT_EQ(snapshot->events.size(), tried.calendarFails ? 1 : 2);
        EXPECT_EQ(snapshot->events.first().title, "Stand-in Review");
        ASSERT_EQ(snapshot->cards.size(), tried.bookFails ? 1 : 2);
        EXPECT_EQ(snapshot->cards.first().fullName, "Ann Standin");
        EXPECT_EQ(calendars.unavailableReason(),
                  tried.calendarFails ? std::optional(calendarShown) : std::nullopt);
        EXPECT_EQ(contacts.unavailableReason(), tried.bookFails ? std::optional(bookShown) : std::nullopt);
        const QStringList lines = log.lines();
        for (const auto& [fails, what, uid] :
             {std::tuple{tried.calendarFails, "calendar", EdsStandIn::brokenCalendarUid},
              std::tuple{tried.bookFails, "address book", EdsStandIn::brokenBookUid}}) {
            const QStringList said =
                lines.filter(QStringLiteral("(%1) cannot be read:").arg(QLatin1String(uid)));
            EXPECT_EQ(said.size(), fails ? 1 : 0) << lines.join(u'\n').toStdString();
            if (fails && !said.isEmpty()) {
                EXPECT_TRUE(said.first().contains(QStringLiteral("The %1 “").arg(QLatin1String(what))));
                EXPECT_TRUE(
                    said.first().contains(QLatin1String(tried.brokenAt) + QStringLiteral(": GDBus.Error:")))
                    << said.first().toStdString();
            }
        }
        EXPECT_TRUE(lines.filter(QStringLiteral("are not available")).isEmpty())
            << lines.join(u'\n').toStdString();
    }

    // Every calendar fails: the calendars are restricted, each named; the address books still read.
    EdsStandIn standIn({{"OpenCalendar"}, {}, {failingServiceEvent}, {failingServiceCard}});
    ASSERT_TRUE(standIn.isReady());
    standIn.addBrokenSources("OpenCalendar");
    ReadStores stores;
    ASSERT_TRUE(stores.read());
    EXPECT_EQ(stores.calendars.authorizationStatus(), CalendarAuthorizationStatus::restricted);
    EXPECT_EQ(stores.calendars.unavailableReason().value_or(QString()),
              "“Stand-in” cannot be read: The stand-in refuses OpenCalendar\n"
              "“Work Exchange” cannot be read: The stand-in refuses OpenCalendar");
    EXPECT_EQ(stores.contacts.authorizationStatus(), ContactAuthorizationStatus::authorized);
    EXPECT_EQ(stores.service->snapshot()->cards.size(), 2);
}

// A store that failed is tried again whenever the registry reports a change, also one that changes
// nothing of which stores are read: once it opens, its items are offered and it is no longer named.
TEST(EvolutionDataServerFailures, AStoreThatFailedIsTriedAgainWhenTheRegistryChanges)
{
    EdsStandIn standIn({{}, {}, {failingServiceEvent}, {failingServiceCard}});
    ASSERT_TRUE(standIn.isReady());
    standIn.addBrokenSources("OpenCalendar");
    ReadStores stores;
    ASSERT_TRUE(stores.read());
    const EdsCalendarStore& calendars = stores.calendars;
    const std::shared_ptr<EvolutionDataServer>& service = stores.service;
    EXPECT_EQ(service->snapshot()->events.size(), 1);

    standIn.addBrokenSources("a method never called");
    standIn.reportBrokenCalendarChanged();
    EXPECT_TRUE(QTest::qWaitFor([&calendars] { return !calendars.unavailableReason(); }, 10000))
        << calendars.unavailableReason().value_or(QString()).toStdString();
    EXPECT_EQ(service->snapshot()->events.size(), 2);
    EXPECT_EQ(calendars.authorizationStatus(), CalendarAuthorizationStatus::fullAccess);
}
