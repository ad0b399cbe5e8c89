#include "AccessibilityTree.h"
#include "CaptureTestSupport.h"
#include "FakeDesktopServices.h"
#include "InMemoryContactStore.h"
#include "LogCapture.h"
#include "TestValues.h"

#include "capture/ContactActiveContextProvider.h"
#include "capture/ContactLink.h"
#include "capture/ContactRevealTarget.h"
#include "capture/ContactService.h"
#include "foundation/UserDefaults.h"

#include <QCoreApplication>
#include <QTimer>

#include <gtest/gtest.h>

using namespace morvane;
using namespace morvane::test;
using namespace std::chrono_literals;

namespace {

const QString contactsApp = ContactActiveContextProvider::contactsIdentifier;
const QString cardhopApp = QStringLiteral("com.flexibits.cardhop.mac");

class Contacts : public ::testing::Test {
protected:
    ProviderFixture fx;
    std::shared_ptr<InMemoryContactStore> store = std::make_shared<InMemoryContactStore>();
    std::shared_ptr<FakeDesktopServices> desktop = std::make_shared<FakeDesktopServices>();
    std::shared_ptr<UserDefaults> defaults = UserDefaults::inMemory();
    std::shared_ptr<AccessibilityTree> screen = std::make_shared<AccessibilityTree>();
    std::shared_ptr<ContactService> service = std::make_shared<ContactService>(store, desktop, defaults);
    ContactActiveContextProvider provider{fx.workspace, fx.scripts, screen, service};

    void SetUp() override
    {
        store->cards = {{"ann", "Ann", "Lee", "Acme Inc."},
                        {"bob", "Bob", "Lee", ""},
                        {"org", "", "", " Globex "},
                        {"none", "", "", ""}};
    }
    // What one capture gave: the message, or "title | locator | source" of the card.
    QString capture()
    {
        const CaptureResult result = provider.captureContexts();
        if (result.contexts.isEmpty())
            return result.message.value_or("-");
        const CapturedContext& card = result.contexts.first();
        return card.title + " | " + card.locator + " | " + card.sourceApp;
    }
};

QString separated(QString payload)
{
    return payload.replace(u'|', u'\x1f');
}

} // namespace

TEST_F(Contacts, SearchFindsNamesAndOrganizationsInTheUsersOrder)
{
    EXPECT_TRUE(service->search(" a ", "Contacts").result().isEmpty());
    EXPECT_EQ(store->enumerations, 0);
    EXPECT_EQ(service->search("ACME", "Contacts").result().value(0).title, "Ann Lee");
    EXPECT_EQ(service->search("globex", "Contacts").result().value(0).title, "Globex");
    EXPECT_EQ(ids(service->search("lee\n", "Contacts").result()), "ann,bob");

    LogCapture log(QStringLiteral("morvane.Contacts"));
    store->failAfter = 2;
    EXPECT_EQ(ids(service->search("lee", "Contacts").result()), "ann,bob");
    EXPECT_EQ(log.lines(), QStringList{"Contacts search failed: The contacts database is busy."});
    EXPECT_EQ(store->reads.mainThreadReads, 0);
}

TEST_F(Contacts, VisibleTextsNameOneCardOrNone)
{
    store->cards.append({"ann", "Ann", "Lee", ""}); // the same card twice counts once
    const std::pair<QStringList, const char*> cases[] = {
        {{"Ann Lee", "Lee"}, "ann"}, // an exact name wins over the partial ones
        {{" ann lee\n"}, "ann"},
        {{"Lee"}, nullptr}, // two cards
        {{"Bob"}, "bob"},
        {{"Globex Corporation"}, "org"},
        {{"x", QString(121, u'n')}, nullptr},
    };
    for (const auto& [texts, id] : cases) {
        const std::optional<CapturedContext> card =
            service->contactMatchingVisibleTexts(texts, "Cardhop").result();
        EXPECT_EQ(card ? ids({*card}) : QString(), QString(id)) << texts.join(u',').toStdString();
    }
    EXPECT_EQ(store->enumerations, 5); // none for the texts that cannot be names

    LogCapture log(QStringLiteral("morvane.Contacts"));
    store->failAfter = 3;
    EXPECT_FALSE(service->contactMatchingVisibleTexts({"Ann Lee"}, "Cardhop").result());
    EXPECT_EQ(log.lines(), QStringList{"Contacts visible-text match failed: The contacts database is busy."});
}

TEST_F(Contacts, OpenShowsTheCardWhereTheUserChose)
{
    using enum ContactRevealTarget;
    struct Case {
        ContactRevealTarget target;
        QSet<QString> installed, handledSchemes;
        QString outcome; // FakeDesktopServices::trace
    };
    const QString inCardhop = "x-cardhop://show?id=AB%20C:ABPerson",
                  inContacts = "addressbook://AB%20C:ABPerson";
    const Case cases[] = {
        {automatic, {cardhopApp}, {"x-cardhop"}, "shown " + inCardhop},
        {automatic, {"com.flexibits.cardhop"}, {"addressbook", "x-cardhop"}, "shown " + inContacts},
        {cardhop, {contactsApp}, {}, "shown " + inCardhop + " " + inContacts + " " + contactsApp},
        {appleContacts, {}, {"x-cardhop"}, "not shown " + inContacts},
    };
    LinkItem item;
    item.type = LinkType::contact;
    item.url = *contactLocator("AB C:ABPerson", "Ann", std::nullopt);
    for (const Case& c : cases) {
        defaults->setString(contactRevealTargetKey, rawValue(c.target));
        *desktop = FakeDesktopServices();
        desktop->installed = c.installed;
        desktop->handledSchemes = c.handledSchemes;
        const RevealOutcome outcome = QCoro::waitFor(service->open(item));
        EXPECT_EQ(desktop->trace(outcome == RevealOutcome::shown), c.outcome);
    }
    // Where no application takes the Contacts link, the store's own contacts application shows it.
    store->revealAnswer = true;
    store->revealed.clear();
    *desktop = FakeDesktopServices();
    EXPECT_EQ(QCoro::waitFor(service->open(item)), RevealOutcome::shown);
    EXPECT_EQ(store->revealed, QStringList{"AB C:ABPerson"});
    // Nothing installed that could show it: said as such, in the desktop's names.
    store->revealAnswer = false;
    LogCapture log(QStringLiteral("morvane.Contacts"));
    EXPECT_EQ(QCoro::waitFor(service->open(item)), RevealOutcome::noApplication);
    EXPECT_EQ(log.lines(), QStringList{"Unable to locate GNOME Contacts or Evolution"});
    store->status = ContactAuthorizationStatus::denied;
    EXPECT_EQ(QCoro::waitFor(service->open(item)), RevealOutcome::notShown);
}

// The desktop answers once the service is gone (the application quitting while it was asked): the
// open ends there, showing nothing.
TEST_F(Contacts, AnOpenWhoseServiceIsGoneBeforeTheDesktopAnswersShowsNothing)
{
    defaults->setString(contactRevealTargetKey, rawValue(ContactRevealTarget::appleContacts));
    LinkItem item;
    item.type = LinkType::contact;
    item.url = *contactLocator("AB C:ABPerson", "Ann", std::nullopt);
    store->revealAnswer = true;
    desktop->holdAnswers = true;
    auto leaving = std::make_unique<ContactService>(store, desktop, defaults);
    QCoro::Task<RevealOutcome> opening = leaving->open(item);
    leaving.reset();
    desktop->answerHeld(false);
    EXPECT_EQ(QCoro::waitFor(std::move(opening)), RevealOutcome::notShown);
    EXPECT_TRUE(store->revealed.isEmpty());
}

// The desktop's contacts application is asked on the service's own thread, after the address books
// were read or the bound passed; the main thread runs meanwhile.
TEST_F(Contacts, TheContactsApplicationIsAskedOffTheMainThreadWithinTheBound)
{
    defaults->setString(contactRevealTargetKey, rawValue(ContactRevealTarget::appleContacts));
    LinkItem item;
    item.type = LinkType::contact;
    item.url = *contactLocator("AB C:ABPerson", "Ann", std::nullopt);
    store->reads.neverRead = true;
    service = std::make_shared<ContactService>(store, desktop, defaults, 100ms);
    LogCapture log(QStringLiteral("morvane.Contacts"));
    bool loopRan = false;
    QTimer::singleShot(0, [&] { loopRan = true; });
    EXPECT_EQ(QCoro::waitFor(service->open(item)), RevealOutcome::noApplication);
    EXPECT_TRUE(loopRan);
    EXPECT_EQ(log.lines(), QStringList({"The address books were not read within 100 ms",
                                        "Unable to locate GNOME Contacts or Evolution"}));
    // Asked all the same: without the card's name it may still start an application at the card.
    EXPECT_EQ(store->revealed, QStringList{"AB C:ABPerson"});
    EXPECT_EQ(store->reads.mainThreadReads, 0);
}

// A quit while an open waits for address books never read: the service's end gives the wait up, and
// starts no contacts application for a program on its way out.
TEST_F(Contacts, AServiceThatEndsGivesUpAnOpenWaitingForTheAddressBooks)
{
    defaults->setString(contactRevealTargetKey, rawValue(ContactRevealTarget::appleContacts));
    LinkItem item;
    item.type = LinkType::contact;
    item.url = *contactLocator("AB C:ABPerson", "Ann", std::nullopt);
    store->revealAnswer = true;
    store->reads.neverRead = true;
    constexpr std::chrono::milliseconds bound = 20s;
    auto leaving = std::make_unique<ContactService>(store, desktop, defaults, bound);
    QCoro::Task<RevealOutcome> opening = leaving->open(item);
    while (store->reads.waits == 0)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    const auto ending = std::chrono::steady_clock::now();
    leaving.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - ending, bound / 2);
    EXPECT_EQ(QCoro::waitFor(std::move(opening)), RevealOutcome::notShown);
    EXPECT_TRUE(store->revealed.isEmpty());
}

TEST_F(Contacts, AccessIsAskedOncePerProcessAndNoScriptRunsWithoutIt)
{
    fx.workspace->activate(contactsApp);
    store->status = ContactAuthorizationStatus::notDetermined;
    EXPECT_EQ(capture(), "Contacts access requested. Approve it, then open Morvane again.");
    EXPECT_EQ(capture(), "Contacts access requested. Approve it, then open Morvane again.");
    EXPECT_EQ(store->pending.size(), 1);
    store->status = ContactAuthorizationStatus::denied;
    EXPECT_EQ(capture(),
              "Contacts access is not available: this desktop runs no address book service (Evolution Data "
              "Server) that Morvane may read.");
    store->status = ContactAuthorizationStatus::restricted;
    store->failure = QStringLiteral("“Home” cannot be read: no");
    EXPECT_EQ(capture(), "Contacts access is not available: the desktop's address book service (Evolution "
                         "Data Server) could not be read. Preferences says why.");
    store->failure.reset();
    EXPECT_TRUE(fx.scripts->scripts.isEmpty());

    // The settings ask and wait; an error is only logged.
    LogCapture log(QStringLiteral("morvane.Contacts"));
    store->status = ContactAuthorizationStatus::notDetermined;
    auto asked = service->requestAccess();
    store->answerRequests(ContactAuthorizationStatus::authorized, QStringLiteral("busy"));
    EXPECT_EQ(QCoro::waitFor(asked), ContactAccessState::authorized);
    EXPECT_EQ(log.lines().last(), "Contacts access request failed: busy");
}

TEST_F(Contacts, TheCardSelectedInContacts)
{
    const QString unreadable = "Unable to read the selected Contacts contact.";
    const std::pair<ScriptOutcome, QString> cases[] = {
        {ScriptOutcome::answer(" ann |Ann Lee|Acme\n"),
         "Ann Lee | morvane-contact://contact?id=ann&name=Ann%20Lee&organization=Acme | Contacts"},
        {ScriptOutcome::answer("ann| | "),
         "Contact | morvane-contact://contact?id=ann&name=Contact | Contacts"},
        {ScriptOutcome::answer("empty"), "Select a Contacts contact to add or open."},
        {ScriptOutcome::answer("denied"), "Automation access to Contacts is denied by the desktop."},
        {ScriptOutcome::answer(" |Ann|"), unreadable},
        {ScriptOutcome::answer("ann|Ann"), unreadable},
        {ScriptOutcome::answer("error"), unreadable},
        {ScriptOutcome::answerWithoutText(), unreadable},
    };
    fx.workspace->activate(contactsApp);
    for (const auto& [answer, expected] : cases) {
        *fx.scripts = ScriptedRunner();
        ScriptOutcome outcome = answer;
        if (outcome.text)
            outcome.text = separated(*outcome.text);
        fx.scripts->answer("com.apple.AddressBook", outcome);
        EXPECT_EQ(capture(), expected);
    }
}

TEST_F(Contacts, CardhopIsAskedUntilAScriptAnswersButItsScreenIsNotRead)
{
    fx.workspace->activate(cardhopApp);
    fx.workspace->activateOwn(); // the quick panel opened over Cardhop
    fx.scripts->answer("to selected contacts\n", ScriptOutcome::failure("-1708"))
        .answer("to selected contact\n", separated("C1|Ann Lee|"));
    EXPECT_EQ(capture(), "Ann Lee | morvane-contact://contact?id=C1&name=Ann%20Lee | Cardhop");
    EXPECT_EQ(fx.scripts->scripts.size(), 2);

    // Every edition's word fails: nothing was answered at all.
    *fx.scripts = ScriptedRunner();
    EXPECT_EQ(capture(), "Unable to read the selected Cardhop contact.");
    EXPECT_EQ(fx.scripts->scripts.size(), 10);

    // Answers without the card: Cardhop has no version for this desktop, so its screen, where the
    // card might show, is not read, whatever it holds and whatever the bus allows.
    fx.scripts->answer("selected contacts", "error").answer("current card", separated(" |Ann Lee|"));
    fx.workspace->running = {{contactsApp, 7}, {cardhopApp, 42}};
    const AccessibilityElement window = screen->addElement(), title = screen->addElement(),
                               detail = screen->addElement();
    screen->set(screen->addApplication(42), "AXFocusedWindow",
                {AccessibilityValue::Kind::element, {}, {window}});
    screen->set(window, "AXChildren", {AccessibilityValue::Kind::elementList, {}, {title, detail}});
    screen->set(detail, "AXValue", {AccessibilityValue::Kind::text, " Lee\n", {}});
    screen->set(title, "AXTitle", {AccessibilityValue::Kind::attributedText, "Ann Lee", {}});
    for (const AccessibilityTrust trust : {AccessibilityTrust::notGranted, AccessibilityTrust::granted}) {
        screen->trustState = trust;
        LogCapture log(QStringLiteral("morvane.ContactContext"));
        EXPECT_EQ(capture(), "Unable to read the selected Cardhop contact.");
        EXPECT_TRUE(log.lines().endsWith("Cardhop has no version for this desktop: its screen is not read"));
    }
}
