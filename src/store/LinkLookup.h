#pragma once

#include "model/CapturedContext.h"
#include "model/FileIdentity.h"
#include "model/LinkItem.h"

#include <QString>

#include <optional>

namespace morvane {

class FileIdentityService;
class LinkParser;
class SQLiteStore;

// Finds the saved link for what the user has in front of them. Files are followed through renames,
// moves and copies from other machines by the evidence the library keeps; some steps write better
// evidence back (never announced: the user changed nothing). Database errors are thrown.
class LinkLookup {
public:
    LinkLookup(SQLiteStore& sqlite, const LinkParser& parser, const FileIdentityService& identity);

    std::optional<LinkItem> findLink(const CapturedContext& context);
    // By the locator as captured, then by the parser's form of it.
    std::optional<LinkItem> linkForLocator(const CapturedContext& context);
    // Lays the captured evidence over the stored one; writes only when path, url, identifiers or
    // bookmark change.
    LinkItem updateFileIdentity(const LinkItem& item, const FileIdentity& captured);
    // The first file or folder link whose bookmark leads to the captured file.
    std::optional<LinkItem> linkResolvingBookmark(const FileIdentity& captured);

    // Whether name is the link's file name (by its last known path, then its url) or its title.
    static bool nameMatches(const QString& name, const LinkItem& item);

private:
    // The link with the refreshed fingerprint whose name is the captured file's.
    std::optional<LinkItem> linkByFingerprint(const QString& name, const FileIdentity& refreshed,
                                              const FileIdentity& captured);

    SQLiteStore& m_sqlite;
    const LinkParser& m_parser;
    const FileIdentityService& m_identity;
};

} // namespace morvane
