#pragma once

#include "foundation/LocatorUrl.h"
#include "model/CapturedContext.h"
#include "model/FileIdentity.h"
#include "model/FileLocator.h"
#include "model/LinkItem.h"

#include <QList>
#include <QString>

#include <optional>
#include <variant>

namespace morvane {

class FileIdentityService;
class LibraryFileLookups;
class LibraryReads;
class LibraryWrites;
class LinkParser;

// Finds the saved link for what the user has in front of them. Files are followed through renames,
// moves and copies from other machines by the evidence the library keeps; some steps write better
// evidence back (never announced: the user changed nothing). Database errors are thrown.
//
// The library steps and the file steps (bookmarks, the fingerprint) are separate calls so that the
// store can run the file ones off its thread: lookInLibrary, then examineFiles, then settle.
// findLink runs all three in turn.
class LinkLookup {
public:
    // The file steps a lookup still has to take once the library found nothing. First the bookmarks
    // and the captured file's fingerprint; then, when links with that fingerprint and the file's name
    // exist, whether their own files are still here.
    struct FileSteps {
        CapturedContext context;
        FileLocator locator;
        QList<LinkItem> bookmarked; // file and folder links with a bookmark, in library order
        bool byFingerprint = false;
        std::optional<FileIdentity> refreshed; // once the fingerprint is known
        QList<LinkItem> sameContent;           // with it: the links to look for, in library order
    };
    // What the file steps found: the first link whose bookmark leads to the captured file, else the
    // captured identity with its size and fingerprint filled in (when the fingerprint step applies);
    // at the second step, the first link of the same content whose own file is not here.
    struct FileFindings {
        std::optional<LinkItem> bookmarkMatch;
        std::optional<FileIdentity> refreshed;
        std::optional<LinkItem> elsewhere;
    };
    using Step = std::variant<std::optional<LinkItem>, FileSteps>;

    // Each of its writes (file evidence, an unconfirmed resolution) is one statement: it needs no
    // transaction.
    LinkLookup(LibraryReads& reads, LibraryFileLookups& fileLookups, LibraryWrites& writes,
               const LinkParser& parser, const FileIdentityService& identity);

    std::optional<LinkItem> findLink(const CapturedContext& context);

    // The answer when the library alone gives it (found, or nothing left to try), else the file
    // steps still to take.
    Step lookInLibrary(const CapturedContext& context);
    // Reads the file system only.
    static FileFindings examineFiles(const FileSteps& steps, const FileIdentityService& identity);
    // Writes what the file steps found back into the library and gives the answer, or the file step
    // still to take.
    Step settle(const FileSteps& steps, const FileFindings& findings);

    // By the locator as captured, then by the parser's form of it, then (an Obsidian note) by any
    // stored locator that names the same note.
    std::optional<LinkItem> linkForLocator(const CapturedContext& context);
    // Lays the captured evidence over the stored one; writes only when path, url, identifiers or
    // bookmark change.
    LinkItem updateFileIdentity(const LinkItem& item, const FileIdentity& captured);

    // The file and folder links whose bookmarks may lead to the captured file, and the first among
    // them whose bookmark does.
    QList<LinkItem> bookmarkedLinks(const FileIdentity& captured);
    static std::optional<LinkItem> linkWhoseBookmarkLeadsTo(const QList<LinkItem>& links,
                                                            const FileIdentity& captured,
                                                            const FileIdentityService& identity);

    // Whether name is the link's file name (by its last known path, then its url) or its title.
    static bool nameMatches(const QString& name, const LinkItem& item);

private:
    // The captured locator read once for every step of a lookup: as captured, as a URL (when it is
    // one) and as the file steps want it.
    struct CapturedLocator {
        explicit CapturedLocator(const QString& captured);

        const QString& text;
        std::optional<LocatorUrl> url;
        FileLocator file;
    };

    Step lookInLibrary(const CapturedContext& context, const CapturedLocator& locator);
    std::optional<LinkItem> linkForLocator(const CapturedContext& context, const CapturedLocator& locator);
    std::optional<LinkItem> sameObsidianNote(const std::optional<LocatorUrl>& locator);
    // The links with the refreshed fingerprint whose name is the captured file's, when there are any.
    Step sameContentSteps(const FileSteps& steps, const FileIdentity& refreshed);
    // The link of the captured file's content and name, as this computer's copy of it.
    LinkItem copyOf(const LinkItem& found, const FileIdentity& refreshed, const FileIdentity& captured);

    LibraryReads& m_reads;
    LibraryFileLookups& m_fileLookups;
    LibraryWrites& m_writes;
    const LinkParser& m_parser;
    const FileIdentityService& m_identity;
};

} // namespace morvane
