#include "LinkType.h"

namespace morvane {

QString rawValue(LinkType type)
{
    switch (type) {
    case LinkType::file:
        return QStringLiteral("file");
    case LinkType::folder:
        return QStringLiteral("folder");
    case LinkType::web:
        return QStringLiteral("web");
    case LinkType::mail:
        return QStringLiteral("mail");
    case LinkType::obsidian:
        return QStringLiteral("obsidian");
    case LinkType::devonthink:
        return QStringLiteral("devonthink");
    case LinkType::calendar:
        return QStringLiteral("calendar");
    case LinkType::fantastical:
        return QStringLiteral("fantastical");
    case LinkType::contact:
        return QStringLiteral("contact");
    }
    return {};
}

const QList<LinkType>& allLinkTypes()
{
    static const QList<LinkType> all{LinkType::file,     LinkType::folder,      LinkType::web,
                                     LinkType::mail,     LinkType::obsidian,    LinkType::devonthink,
                                     LinkType::calendar, LinkType::fantastical, LinkType::contact};
    return all;
}

std::optional<LinkType> linkTypeFromRawValue(const QString& raw)
{
    for (const LinkType type : allLinkTypes()) {
        if (rawValue(type) == raw)
            return type;
    }
    return std::nullopt;
}

bool isFileLike(LinkType type)
{
    return type == LinkType::file || type == LinkType::folder;
}

} // namespace morvane
