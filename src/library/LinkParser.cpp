#include "LinkParser.h"

#include "foundation/LocatorUrl.h"
#include "foundation/Text.h"
#include "model/PDFDeepLink.h"

#include <QFileInfo>

namespace morvane {

LinkParserError::LinkParserError(Kind kind, std::optional<QString> scheme, QString message)
    : Error(std::move(message))
    , m_kind(kind)
    , m_scheme(std::move(scheme))
{
}

LinkParserError LinkParserError::unsupportedScheme(std::optional<QString> scheme)
{
    const QString shown = scheme.value_or(QStringLiteral("none"));
    return {Kind::unsupportedScheme, std::move(scheme),
            QStringLiteral("Unsupported link scheme: ") + shown + u'.'};
}

LinkParserError LinkParserError::emptyURL()
{
    return {Kind::emptyURL, std::nullopt, QStringLiteral("Enter a URL or file path.")};
}

LinkParserError LinkParserError::overlongURL()
{
    return {Kind::overlongURL, std::nullopt, QStringLiteral("Links are limited to 4096 characters.")};
}

LinkParserError LinkParserError::malformedURL()
{
    return {Kind::malformedURL, std::nullopt, QStringLiteral("The link is malformed.")};
}

namespace {

struct Classification {
    LinkType type;
    QString sourceApp;
};

Classification classify(const LocatorUrl& url)
{
    const QString scheme = url.scheme().toLower();
    if (scheme == u"http" || scheme == u"https")
        return {LinkType::web, QStringLiteral("Browser")};
    if (scheme == u"message")
        return {LinkType::mail, QStringLiteral("Mail")};
    if (scheme == u"file") {
        if (const auto path = url.localFilePath(); path && QFileInfo(*path).isDir())
            return {LinkType::folder, QStringLiteral("Finder")};
        if (PDFDeepLink::fromUrl(url))
            return {LinkType::file, QStringLiteral("PDF")};
        return {LinkType::file, QStringLiteral("File")};
    }
    if (scheme == u"obsidian")
        return {LinkType::obsidian, QStringLiteral("Obsidian")};
    if (scheme == u"x-devonthink-item")
        return {LinkType::devonthink, QStringLiteral("DEVONthink")};
    if (scheme == u"morvane-calendar") {
        if (url.host() != QStringLiteral("event"))
            throw LinkParserError::malformedURL();
        return {LinkType::calendar, QStringLiteral("Calendar")};
    }
    if (scheme == u"morvane-contact") {
        if (url.host() != QStringLiteral("contact"))
            throw LinkParserError::malformedURL();
        return {LinkType::contact, QStringLiteral("Contacts")};
    }
    if (scheme == u"x-fantastical" || scheme == u"x-fantastical3")
        return {LinkType::fantastical, QStringLiteral("Fantastical")};
    throw LinkParserError::unsupportedScheme(scheme);
}

} // namespace

ParsedLink LinkParser::parse(const QString& title, const QString& locatorText) const
{
    const QString trimmed = trimmedText(locatorText);
    if (trimmed.isEmpty())
        throw LinkParserError::emptyURL();
    if (graphemeCount(trimmed) > m_maxURLLength)
        throw LinkParserError::overlongURL();

    const QString locator = trimmed.startsWith(u'/') ? LocatorUrl::fileUrlText(trimmed) : trimmed;
    const auto url = LocatorUrl::parse(locator);
    if (!url)
        throw LinkParserError::malformedURL();

    const Classification classification = classify(*url);
    QString finalTitle = trimmedText(title);
    if (finalTitle.isEmpty())
        finalTitle = fallbackTitle(*url, classification.type);
    return ParsedLink{finalTitle, locator, classification.type, classification.sourceApp};
}

bool LinkParser::schemeBelongsToType(const QString& locator, LinkType type)
{
    const auto url = LocatorUrl::parse(locator);
    if (!url)
        return false;
    const QString scheme = url->scheme().toLower();
    switch (type) {
    case LinkType::file:
    case LinkType::folder:
        return scheme == u"file";
    case LinkType::web:
        return scheme == u"http" || scheme == u"https";
    case LinkType::mail:
        return scheme == u"message";
    case LinkType::obsidian:
        return scheme == u"obsidian";
    case LinkType::devonthink:
        return scheme == u"x-devonthink-item";
    case LinkType::calendar:
        return scheme == u"morvane-calendar";
    case LinkType::contact:
        return scheme == u"morvane-contact";
    case LinkType::fantastical:
        return scheme == u"x-fantastical" || scheme == u"x-fantastical3";
    }
    return false;
}

QString LinkParser::fallbackTitle(const LocatorUrl& url, LinkType type)
{
    switch (type) {
    case LinkType::file:
    case LinkType::folder: {
        const QString last = url.lastPathComponent();
        return last.isEmpty() ? url.path() : last;
    }
    case LinkType::web: {
        const auto host = url.host();
        return host && !host->isEmpty() ? *host : url.text();
    }
    case LinkType::mail:
        return QStringLiteral("Mail message");
    case LinkType::obsidian:
        for (const QueryItem& item : url.queryItems()) {
            if (item.name != u"file" && item.name != u"path")
                continue;
            if (!item.value || item.value->isEmpty())
                break;
            return lastPathComponentOfPath(deletingPathExtension(*item.value));
        }
        return QStringLiteral("Obsidian note");
    case LinkType::devonthink:
        return QStringLiteral("DEVONthink item");
    case LinkType::calendar:
        return QStringLiteral("Calendar event");
    case LinkType::fantastical:
        return QStringLiteral("Fantastical event");
    case LinkType::contact:
        return QStringLiteral("Contact");
    }
    return url.text();
}

} // namespace morvane
