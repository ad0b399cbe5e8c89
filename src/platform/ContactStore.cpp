#include "ContactStore.h"

namespace morvane {

ContactAuthorizationStatus UnavailableContactStore::authorizationStatus() const
{
    return ContactAuthorizationStatus::restricted;
}

std::optional<QString> UnavailableContactStore::unavailableReason() const
{
    return std::nullopt;
}

void UnavailableContactStore::requestAccess(AccessRequestCompletion completion)
{
    completion(false, std::nullopt);
}

std::optional<QString> UnavailableContactStore::enumerateCards(ContactSortOrder, const CardVisitor&) const
{
    return std::nullopt;
}

std::optional<QString> UnavailableContactStore::fullName(const ContactCard&) const
{
    return std::nullopt;
}

bool UnavailableContactStore::waitUntilRead(std::chrono::milliseconds) const
{
    return true;
}

bool UnavailableContactStore::revealCard(const QString&)
{
    return false;
}

} // namespace morvane
