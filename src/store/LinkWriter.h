#pragma once

#include "model/CapturedContext.h"
#include "model/FileIdentity.h"
#include "model/LinkItem.h"
#include "model/ParsedLink.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace morvane {

class Clock;
class FileIdentityService;
class LibraryReads;
class LibraryTransactions;
class LibraryWrites;
class LinkParser;

// A link parsed and about to be saved; its file evidence, when it takes any, is made apart from
// the database work (the store makes it on its file pool).
struct NewLink {
    ParsedLink parsed;
    QString sourceApp;
    QString notes;
    QString tagsText;
    bool takesFileEvidence = false;       // a file or folder whose locator is a URL
    std::optional<FileIdentity> captured; // evidence the capture brought: refreshed, not remade

    // Throws LinkParserError.
    static NewLink typed(const LinkParser& parser, const QString& title, const QString& text,
                         const QString& notes, const QString& tagsText);
    static NewLink fromContext(const LinkParser& parser, const CapturedContext& context, const QString& notes,
                               const QString& tagsText);

    // Reads the file (hashing it): the captured evidence with size and fingerprint filled in, else
    // a new identity; nothing for a link that takes no file evidence.
    std::optional<FileIdentity> fileEvidence(const FileIdentityService& identity) const;
};

// Saves new links: the add form's typed link and a captured context. Each link is written with its
// tags as one change, so a failure leaves no half-saved link behind and a retry makes no duplicate.
// Creation and update dates come from the library's clock, like every other date it writes.
class LinkWriter {
public:
    LinkWriter(LibraryReads& reads, LibraryWrites& writes, LibraryTransactions& transactions,
               const Clock& clock, const LinkParser& parser, const FileIdentityService& identity);

    // Throws LinkParserError before writing anything, StoreError when the write fails.
    LinkItem addLink(const QString& title, const QString& text, const QString& notes,
                     const QString& tagsText);
    LinkItem addCapturedContext(const CapturedContext& context, const QString& notes,
                                const QString& tagsText);

    // Writes the link with the file evidence made for it. Throws StoreError.
    LinkItem save(const NewLink& link, const std::optional<FileIdentity>& identity);

    // The pieces between commas, empty ones dropped; each stays as typed.
    static QStringList splitTags(const QString& tagsText);

private:
    LibraryReads& m_reads;
    LibraryWrites& m_writes;
    LibraryTransactions& m_transactions;
    const Clock& m_clock;
    const LinkParser& m_parser;
    const FileIdentityService& m_identity;
};

} // namespace morvane
