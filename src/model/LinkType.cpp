#include "LinkType.h"

#include "foundation/EnumNames.h"

namespace morvane {

namespace {

constexpr EnumName<LinkType> linkTypeNames[] = {
    {LinkType::file, "file"},         {LinkType::folder, "folder"},
    {LinkType::web, "web"},           {LinkType::mail, "mail"},
    {LinkType::obsidian, "obsidian"}, {LinkType::devonthink, "devonthink"},
    {LinkType::calendar, "calendar"}, {LinkType::fantastical, "fantastical"},
    {LinkType::contact, "contact"},
};

} // namespace

QString rawValue(LinkType type)
{
    return enumNameText(linkTypeNames, type);
}

const QList<LinkType>& allLinkTypes()
{
    static const QList<LinkType> all = enumValues(linkTypeNames);
    return all;
}

std::optional<LinkType> linkTypeFromRawValue(const QString& raw)
{
    return enumValue(linkTypeNames, raw);
}

bool isFileLike(LinkType type)
{
    return type == LinkType::file || type == LinkType::folder;
}

} // namespace morvane
