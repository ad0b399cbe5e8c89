#pragma once

#include "files/FileMatchCandidate.h"
#include "model/CapturedContext.h"
#include "model/FileLocator.h"
#include "model/LinkItem.h"

#include <QList>
#include <QString>

#include <optional>

namespace morvane {

class FileIdentityService;
class LibraryFileLookups;
class LibraryReads;
class LibraryWrites;

// When a selected file is not found as a saved link, lists the file links it may be (same content,
// same name and size, same name) for the user to confirm, records the confirmation as this
// machine's resolution, and explains in one line why nothing matched.
//
// Each operation refreshes the selected file's size and fingerprint (FileIdentityService, which may
// hash it) before its database steps; the store does that refresh off its thread and passes the
// result to the database half: candidates, confirm, selectionStatus.
class FileMatchFinder {
public:
    // Its one write, a confirmed resolution, is one statement: it needs no transaction.
    FileMatchFinder(LibraryReads& reads, LibraryFileLookups& fileLookups, LibraryWrites& writes,
                    const FileIdentityService& identity);

    // Strongest first; empty for anything but a file (or a PDF page) with identity and a URL.
    QList<FileMatchCandidate> fileMatchCandidates(const CapturedContext& context);
    // The status text for a selected file; nothing for a context that is not a file.
    std::optional<QString> finderSelectionMatches(const CapturedContext& context);

    // Whether the selection can have candidates at all: a file (not a PDF page) with identity and URL.
    static bool offersCandidates(const CapturedContext& context, const FileLocator& locator);
    // Whether the status text needs the selected file: a file with identity and URL.
    static bool selectionHasFile(const CapturedContext& context, const FileLocator& locator);

    // The file links the selection with its refreshed identity may be, strongest first.
    QList<FileMatchCandidate> candidates(const CapturedContext& context, const FileIdentity& selected);
    // Records the candidate's file, with its refreshed identity, as this machine's copy of its link,
    // confirmed by the user.
    LinkItem confirm(const FileMatchCandidate& candidate, const FileIdentity& refreshed);
    // The status text of a selection that has a file, from its refreshed identity.
    QString selectionStatus(const CapturedContext& context, const FileLocator& locator,
                            const FileIdentity& selected);

private:
    LibraryReads& m_reads;
    LibraryFileLookups& m_fileLookups;
    LibraryWrites& m_writes;
    const FileIdentityService& m_identity;
};

} // namespace morvane
