#include "LinkTypePresentation.h"

namespace morvane {

LinkTypePresentation presentation(LinkType type)
{
    switch (type) {
    case LinkType::file:
        return {Glyph::document, SystemColor::blue, QStringLiteral("File")};
    case LinkType::folder:
        return {Glyph::folder, SystemColor::teal, QStringLiteral("Folder")};
    case LinkType::web:
        return {Glyph::globe, SystemColor::indigo, QStringLiteral("Web URL")};
    case LinkType::mail:
        return {Glyph::envelope, SystemColor::orange, QStringLiteral("Mail Message")};
    case LinkType::obsidian:
        return {Glyph::note, SystemColor::purple, QStringLiteral("Obsidian")};
    case LinkType::devonthink:
        return {Glyph::archiveBox, SystemColor::green, QStringLiteral("DEVONthink")};
    case LinkType::calendar:
        return {Glyph::calendar, SystemColor::pink, QStringLiteral("Calendar Event")};
    case LinkType::fantastical:
        return {Glyph::calendarClock, SystemColor::pink, QStringLiteral("Fantastical Event")};
    case LinkType::contact:
        return {Glyph::person, SystemColor::mint, QStringLiteral("Contact")};
    }
    return {Glyph::document, SystemColor::blue, QString()};
}

QString sourceAppDisplayName(const QString& storedName)
{
    if (storedName == QLatin1String("Finder"))
        return QStringLiteral("File Manager");
    return storedName;
}

} // namespace morvane
