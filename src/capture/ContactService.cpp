#include "ContactService.h"

#include "capture/ContactLink.h"
#include "capture/ContactRevealTarget.h"
#include "capture/LocatorQuery.h"
#include "capture/MainThreadAnswer.h"
#include "capture/TextMatching.h"
#include "foundation/Logging.h"
#include "foundation/Text.h"
#include "platform/DesktopServices.h"

#include <QCoroFuture>
#include <QPromise>
#include <QSet>

MORVANE_LOGGING_CATEGORY(lcContacts, "Contacts")

namespace morvane {

namespace {

// The texts an application shows that can name a card: long enough to mean something, short
// enough to be a name.
constexpr qsizetype minVisibleTextLength = 2;
constexpr qsizetype maxVisibleTextLength = 120;

ContactAccessState accessState(ContactAuthorizationStatus status)
{
    switch (status) {
    case ContactAuthorizationStatus::authorized:
        return ContactAccessState::authorized;
    case ContactAuthorizationStatus::notDetermined:
        return ContactAccessState::notDetermined;
    case ContactAuthorizationStatus::denied:
        return ContactAccessState::denied;
    case ContactAuthorizationStatus::restricted:
        return ContactAccessState::restricted;
    case ContactAuthorizationStatus::limited:
        break;
    }
    return ContactAccessState::unknown;
}

void logRequestFailure(const std::optional<QString>& error)
{
    if (error)
        qCInfo(lcContacts).noquote() << "Contacts access request failed:" << *error;
}

std::optional<CapturedContext> cardContext(const ContactStore& store, const ContactCard& card,
                                           const QString& sourceApp)
{
    const QString fullName = trimmedText(store.fullName(card).value_or(QString()));
    const QString organization = trimmedText(card.organizationName);
    const QString name = !fullName.isEmpty()       ? fullName
                         : !organization.isEmpty() ? organization
                                                   : QStringLiteral("Contact");
    const std::optional<QString> locator = contactLocator(
        card.identifier, name, organization.isEmpty() ? std::nullopt : std::optional(organization));
    if (!locator) {
        qCInfo(lcContacts) << "Ignored contact without a stable identifier";
        return std::nullopt;
    }
    return CapturedContext{name, *locator, LinkType::contact, sourceApp, std::nullopt};
}

// On the reads' thread: the cards whose name or organization holds the needle, in the user's order.
QList<CapturedContext> cardsHolding(const ContactStore& store, const QString& needle,
                                    const QString& sourceApp)
{
    const TextNeedle searched(needle);
    QList<CapturedContext> results;
    const std::optional<QString> failure =
        store.enumerateCards(ContactSortOrder::userDefault, [&](const ContactCard& card) {
            const std::optional<QString> fullName = store.fullName(card);
            if (searched.isIn(fullName ? *fullName + u' ' + card.organizationName : card.organizationName)) {
                if (std::optional<CapturedContext> context = cardContext(store, card, sourceApp))
                    results.append(std::move(*context));
            }
            return results.size() < ContactService::maxSearchResults;
        });
    if (failure)
        qCInfo(lcContacts).noquote() << "Contacts search failed:" << *failure;
    return results;
}

// On the reads' thread: the one card the texts name, if one.
std::optional<CapturedContext> cardNamedBy(const ContactStore& store, const QStringList& kept,
                                           const QString& sourceApp)
{
    QList<ContactCard> exact, partial;
    const std::optional<QString> failure =
        store.enumerateCards(ContactSortOrder::userDefault, [&](const ContactCard& card) {
            QStringList names;
            for (const QString& name : {trimmedText(store.fullName(card).value_or(QString())),
                                        trimmedText(card.organizationName)}) {
                if (!name.isEmpty())
                    names.append(name);
            }
            const auto any = [&](auto test) {
                for (const QString& text : kept) {
                    for (const QString& name : names) {
                        if (test(text, name))
                            return true;
                    }
                }
                return false;
            };
            if (any(sameTextIgnoringCase))
                exact.append(card);
            else if (any([](const QString& text, const QString& name) {
                         return containsIgnoringCase(text, name) || containsIgnoringCase(name, text);
                     }))
                partial.append(card);
            return true;
        });
    if (failure) {
        qCInfo(lcContacts).noquote() << "Contacts visible-text match failed:" << *failure;
        return std::nullopt;
    }

    QSet<QString> seen;
    QList<ContactCard> named;
    for (const ContactCard& card : exact.isEmpty() ? partial : exact) {
        if (!seen.contains(card.identifier)) {
            seen.insert(card.identifier);
            named.append(card);
        }
    }
    if (named.size() != 1)
        return std::nullopt;
    return cardContext(store, named.first(), sourceApp);
}

} // namespace

ContactService::ContactService(std::shared_ptr<ContactStore> store, std::shared_ptr<DesktopServices> desktop,
                               std::shared_ptr<const UserDefaults> defaults,
                               std::chrono::milliseconds readBound)
    : m_store(std::move(store))
    , m_desktop(std::move(desktop))
    , m_defaults(std::move(defaults))
    , m_readBound(readBound)
{
}

ContactService::~ContactService()
{
    m_readWait.close();
}

QCoro::Task<ContactAccessState> ContactService::requestAccess()
{
    if (m_store->authorizationStatus() == ContactAuthorizationStatus::notDetermined) {
        auto answered = std::make_shared<QPromise<void>>();
        answered->start();
        const QFuture<void> answer = answered->future();
        m_store->requestAccess(
            firstAnswerOnMainThread(m_lifetime.watch(), [answered](bool, std::optional<QString> error) {
                logRequestFailure(error);
                answered->finish();
            }));
        const LifetimeToken::Watch alive = m_lifetime.watch();
        co_await answer;
        if (!alive)
            co_return ContactAccessState::unknown;
    }
    co_return accessState(m_store->authorizationStatus());
}

ContactService::CaptureAccess ContactService::accessForCapture()
{
    switch (m_store->authorizationStatus()) {
    case ContactAuthorizationStatus::authorized:
        return CaptureAccess::granted;
    case ContactAuthorizationStatus::notDetermined:
        // The monitor and the panel capture every few seconds; the user is asked once.
        if (!m_requestedAccess) {
            m_requestedAccess = true;
            m_store->requestAccess(firstAnswerOnMainThread(
                m_lifetime.watch(), [](bool, std::optional<QString> error) { logRequestFailure(error); }));
        }
        return CaptureAccess::requested;
    default:
        return CaptureAccess::denied;
    }
}

bool ContactService::serviceCannotBeRead() const
{
    return m_store->unavailableReason().has_value();
}

bool ContactService::isAuthorized() const
{
    return m_store->authorizationStatus() == ContactAuthorizationStatus::authorized;
}

std::optional<CapturedContext> ContactService::capturedContext(const ContactCard& card,
                                                               const QString& sourceApp) const
{
    return cardContext(*m_store, card, sourceApp);
}

QFuture<QList<CapturedContext>> ContactService::search(const QString& query, const QString& sourceApp) const
{
    QString needle = trimmedText(query);
    if (graphemeCount(needle) < 2 || !isAuthorized())
        return QtFuture::makeReadyFuture(QList<CapturedContext>());
    return m_reads.submit([store = m_store, needle = std::move(needle), sourceApp] {
        return cardsHolding(*store, needle, sourceApp);
    });
}

QFuture<std::optional<CapturedContext>>
ContactService::contactMatchingVisibleTexts(const QStringList& texts, const QString& sourceApp) const
{
    if (!isAuthorized())
        return QtFuture::makeReadyFuture(std::optional<CapturedContext>());
    QStringList kept;
    for (const QString& text : texts) {
        const QString trimmed = trimmedText(text);
        const qsizetype length = graphemeCount(trimmed);
        if (length >= minVisibleTextLength && length <= maxVisibleTextLength)
            kept.append(trimmed);
    }
    if (kept.isEmpty())
        return QtFuture::makeReadyFuture(std::optional<CapturedContext>());
    return m_reads.submit([store = m_store, kept = std::move(kept), sourceApp] {
        return cardNamedBy(*store, kept, sourceApp);
    });
}

QCoro::Task<RevealOutcome> ContactService::open(LinkItem item)
{
    if (item.type != LinkType::contact)
        co_return RevealOutcome::notShown;
    const std::optional<ContactLink> link = parseContactLocator(item.url);
    if (!link || !isAuthorized())
        co_return RevealOutcome::notShown;
    bool cardhopFirst = false;
    switch (storedContactRevealTarget(*m_defaults)) {
    case ContactRevealTarget::automatic:
        cardhopFirst = isCardhopInstalled(*m_desktop);
        break;
    case ContactRevealTarget::cardhop:
        cardhopFirst = true;
        break;
    case ContactRevealTarget::appleContacts:
        break;
    }
    const LifetimeToken::Watch alive = m_lifetime.watch();
    const std::shared_ptr<DesktopServices> desktop = m_desktop;
    if (cardhopFirst) {
        const QString cardhop =
            queryLocator(u"x-cardhop", u"show", {{QStringLiteral("id"), link->identifier}});
        QFuture<bool> opening = desktop->openUrl(cardhop);
        if (co_await opening)
            co_return RevealOutcome::shown;
    }
    QFuture<bool> opening =
        desktop->openUrl(QStringLiteral("addressbook://") + encodedPathComponent(link->identifier));
    if (co_await opening)
        co_return RevealOutcome::shown;
    if (!alive)
        co_return RevealOutcome::notShown;
    QCoro::Task<RevealOutcome> revealing = revealInContacts(link->identifier);
    const RevealOutcome outcome = co_await std::move(revealing);
    co_return outcome;
}

// Where no application takes the card's link, the store knows the application that keeps its cards
// (GNOME Contacts, else Evolution). It reads the card's name for that, so it is asked on the reads'
// thread; address books not read within the bound leave it only what the identifier says.
QCoro::Task<RevealOutcome> ContactService::revealInContacts(QString identifier)
{
    const LifetimeToken::Watch alive = m_lifetime.watch();
    QFuture<bool> revealing = m_reads.submit([store = m_store, identifier, readWait = m_readWait,
                                              bound = m_readBound] {
        const auto waitFor = [&store](std::chrono::milliseconds step) { return store->waitUntilRead(step); };
        if (!readWait.wait(waitFor, bound)) {
            // An application started as the program quits would come up for nobody.
            if (readWait.closed())
                return false;
            qCWarning(lcContacts) << "The address books were not read within" << bound.count() << "ms";
        }
        return store->revealCard(identifier);
    });
    const bool revealed = co_await revealing;
    if (revealed)
        co_return RevealOutcome::shown;
    if (!alive)
        co_return RevealOutcome::notShown;
    if (!m_desktop->applicationPath(contactsIdentifier)) {
        qCCritical(lcContacts) << "Unable to locate GNOME Contacts or Evolution";
        co_return RevealOutcome::noApplication;
    }
    // Contacts comes to the front without showing the card.
    co_return m_desktop->launchApplication(contactsIdentifier) ? RevealOutcome::shown
                                                               : RevealOutcome::notShown;
}

} // namespace morvane
