#pragma once

#include "model/CapturedContext.h"
#include "model/FileIdentity.h"
#include "model/LinkItem.h"
#include "model/ParsedLink.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace morvane {

class FileIdentityService;
class LinkParser;
class SQLiteStore;

// Saves new links: the add form's typed link and a captured context. Each link is written with its
// tags as one change, so a failure leaves no half-saved link behind and a retry makes no duplicate.
// Creation and update dates come from the library's clock, like every other date it writes.
class LinkWriter {
public:
    LinkWriter(SQLiteStore& sqlite, const LinkParser& parser, const FileIdentityService& identity);

    // Throws LinkParserError before writing anything, StoreError when the write fails.
    LinkItem addLink(const QString& title, const QString& text, const QString& notes,
                     const QString& tagsText);
    LinkItem addCapturedContext(const CapturedContext& context, const QString& notes,
                                const QString& tagsText);

    // The pieces between commas, empty ones dropped; each stays as typed.
    static QStringList splitTags(const QString& tagsText);

private:
    LinkItem save(const ParsedLink& parsed, const QString& sourceApp, const QString& notes,
                  const QString& tagsText, const std::optional<FileIdentity>& identity);

    SQLiteStore& m_sqlite;
    const LinkParser& m_parser;
    const FileIdentityService& m_identity;
};

} // namespace morvane
