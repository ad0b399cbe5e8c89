#include "EdsContactStore.h"

#include "platform/DesktopServices.h"
#include "platform/EdsItemKey.h"
#include "platform/EvolutionDataServer.h"
#include "platform/ProcessLauncher.h"

#include <QUrl>

#include <algorithm>

namespace morvane {

EdsContactStore::EdsContactStore(std::shared_ptr<EvolutionDataServer> service,
                                 std::shared_ptr<DesktopServices> desktop,
                                 std::shared_ptr<ProcessLauncher> launcher)
    : m_service(std::move(service))
    , m_desktop(std::move(desktop))
    , m_launcher(std::move(launcher))
{
}

ContactAuthorizationStatus EdsContactStore::authorizationStatus() const
{
    switch (m_service->contactPresence()) {
    case EvolutionDataServer::Presence::present:
        // A service whose calls all fail is as good as none; one store that fails hides none of the
        // others.
        return m_service->contactFailure() ? ContactAuthorizationStatus::restricted
                                           : ContactAuthorizationStatus::authorized;
    case EvolutionDataServer::Presence::absent:
        return ContactAuthorizationStatus::restricted;
    case EvolutionDataServer::Presence::unknown:
        break;
    }
    return ContactAuthorizationStatus::notDetermined;
}

std::optional<QString> EdsContactStore::unavailableReason() const
{
    return m_service->contactProblem();
}

void EdsContactStore::requestAccess(AccessRequestCompletion completion)
{
    // Held weakly: the answer waits inside the service until the bus has said.
    m_service->whenPresenceKnown(
        [completion = std::move(completion), weak = std::weak_ptr(m_service)](auto, auto contacts) {
            const std::shared_ptr<EvolutionDataServer> service = weak.lock();
            completion(contacts == EvolutionDataServer::Presence::present && service &&
                           !service->contactFailure(),
                       std::nullopt);
        });
}

std::optional<QString> EdsContactStore::enumerateCards(ContactSortOrder order, const CardVisitor& visit) const
{
    const std::shared_ptr<const EvolutionDataServer::Snapshot> snapshot = m_service->snapshot();
    const auto visitAll = [&](const QList<ContactCard>& cards) {
        for (const ContactCard& card : cards) {
            if (!visit(card))
                break;
        }
    };
    if (order != ContactSortOrder::givenName && order != ContactSortOrder::familyName) {
        visitAll(order == ContactSortOrder::userDefault ? snapshot->cardsByFileAs : snapshot->cards);
        return std::nullopt;
    }
    const auto key = [givenFirst = order == ContactSortOrder::givenName](const ContactCard& card) {
        return givenFirst ? card.givenName + u' ' + card.familyName : card.familyName + u' ' + card.givenName;
    };
    QList<ContactCard> sorted = snapshot->cards;
    std::stable_sort(sorted.begin(), sorted.end(), [&](const ContactCard& a, const ContactCard& b) {
        return QString::localeAwareCompare(key(a), key(b)) < 0;
    });
    visitAll(sorted);
    return std::nullopt;
}

std::optional<QString> EdsContactStore::fullName(const ContactCard& card) const
{
    return card.fullName.isEmpty() ? std::nullopt : std::optional(card.fullName);
}

bool EdsContactStore::waitUntilRead(std::chrono::milliseconds bound) const
{
    return m_service->waitUntilLoaded(EvolutionDataServer::Load::everything, bound);
}

bool EdsContactStore::revealCard(const QString& identifier)
{
    const std::optional<EdsItemKey> key = parseEdsItemIdentifier(identifier);
    if (!key || key->recurrenceId)
        return false;
    // GNOME Contacts cannot be started at a card of the address book (its own ids are of the people
    // it links from all sources); it can be started searching for the card's name.
    const std::shared_ptr<const EvolutionDataServer::Snapshot> snapshot = m_service->snapshot();
    const auto found = snapshot->cardIndex.constFind(identifier);
    if (found != snapshot->cardIndex.cend() &&
        m_desktop->applicationPath(QStringLiteral("org.gnome.Contacts"))) {
        const ContactCard& card = snapshot->cards[*found];
        const QString name = card.fullName.isEmpty() ? card.organizationName : card.fullName;
        if (m_launcher->startDetached(QStringLiteral("gnome-contacts"), {QStringLiteral("--search"), name}))
            return true;
    }
    if (m_desktop->applicationPath(QStringLiteral("org.gnome.Evolution"))) {
        return m_launcher->startDetached(
            QStringLiteral("evolution"),
            {QStringLiteral("contacts:///?source-uid=") + QUrl::toPercentEncoding(key->sourceUid) +
             QStringLiteral("&contact-uid=") + QUrl::toPercentEncoding(key->uid)});
    }
    return false;
}

} // namespace morvane
