#pragma once

#include "foundation/Error.h"
#include "model/ParsedLink.h"

#include <QString>

#include <optional>

namespace morvane {

class LocatorUrl;

// Why the parser refused a locator; the description is the message the user sees.
class LinkParserError : public Error {
public:
    enum class Kind { unsupportedScheme, emptyURL, overlongURL, malformedURL };

    static LinkParserError unsupportedScheme(std::optional<QString> scheme);
    static LinkParserError emptyURL();
    static LinkParserError overlongURL();
    static LinkParserError malformedURL();

    Kind kind() const { return m_kind; }
    const std::optional<QString>& scheme() const { return m_scheme; }
    bool operator==(const LinkParserError& other) const
    {
        return m_kind == other.m_kind && m_scheme == other.m_scheme;
    }

private:
    LinkParserError(Kind kind, std::optional<QString> scheme, QString message);
    Kind m_kind;
    std::optional<QString> m_scheme;
};

// Turns a title and a typed or captured locator into a link: normalised locator, type, source
// application and a title that is never blank. It reads the file system only to tell a folder.
class LinkParser {
public:
    explicit LinkParser(int maxURLLength = 4096)
        : m_maxURLLength(maxURLLength)
    {
    }

    // Throws LinkParserError.
    ParsedLink parse(const QString& title, const QString& locator) const;

    static QString fallbackTitle(const LocatorUrl& url, LinkType type);

    // Whether the locator's scheme is one the parser gives this type (files and folders share
    // "file"); used to check locators that arrive with their type already set, as in backups.
    static bool schemeBelongsToType(const QString& locator, LinkType type);

    int maxURLLength() const { return m_maxURLLength; }

private:
    int m_maxURLLength;
};

} // namespace morvane
