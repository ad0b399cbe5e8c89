#include "ContactLink.h"

#include "capture/LocatorQuery.h"
#include "foundation/Text.h"

namespace morvane {

std::optional<QString> contactLocator(const QString& identifier, const QString& name,
                                      const std::optional<QString>& organization)
{
    if (identifier.isEmpty())
        return std::nullopt;
    QList<std::pair<QString, QString>> items{{QStringLiteral("id"), identifier}};
    if (!name.isEmpty())
        items.append({QStringLiteral("name"), name});
    if (organization && !organization->isEmpty())
        items.append({QStringLiteral("organization"), *organization});
    return queryLocator(ContactLink::scheme, ContactLink::host, items);
}

std::optional<ContactLink> parseContactLocator(const QString& text)
{
    const std::optional<QHash<QString, QString>> query =
        queryOfLocator(text, ContactLink::scheme, ContactLink::host);
    if (!query)
        return std::nullopt;
    const QString identifier = query->value(QStringLiteral("id"));
    if (identifier.isEmpty())
        return std::nullopt;
    const QString name = trimmedText(query->value(QStringLiteral("name")));
    const QString organization = trimmedText(query->value(QStringLiteral("organization")));
    return ContactLink{identifier, name.isEmpty() ? QStringLiteral("Contact") : name,
                       organization.isEmpty() ? std::nullopt : std::optional(organization)};
}

} // namespace morvane
