#pragma once

#include "files/FileMatchCandidate.h"
#include "model/CapturedContext.h"
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

// When a selected file is not found as a saved link, lists the file links it may be (same content,
// same name and size, same name) for the user to confirm, records the confirmation as this
// machine's resolution, and explains in one line why nothing matched. A link whose own file is
// still on this computer is never offered: the selected file is then a copy, an item of its own.
//
// Each operation refreshes the selected file's size and fingerprint (FileIdentityService, which may
// hash it) before its database steps, and looks for the own files of the links it would offer after
// them; the store takes those file steps off its thread (examine) and passes what they found to the
// database half (settleCandidates, settleStatus, confirm).
class FileMatchFinder {
public:
    // A selected file on its way through the file steps: first its size and fingerprint are
    // refreshed, then the links it may be are looked for on disk.
    struct Selection {
        CapturedContext context;
        FileLocator locator;
        std::optional<FileIdentity> selected; // once refreshed
        QList<FileMatchCandidate> unchecked;  // then: the candidates whose own files are looked for
    };
    // What a file step found: the refreshed identity, or the candidates whose own files are not here.
    struct Findings {
        std::optional<FileIdentity> refreshed;
        QList<FileMatchCandidate> offered;
    };
    template <class Answer> using Step = std::variant<Answer, Selection>;

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

    // The file step of a selection. Reads the file system only.
    static Findings examine(const Selection& selection, const FileIdentityService& identity);
    // The candidates, strongest first, once the file steps have found them; else the next file step.
    Step<QList<FileMatchCandidate>> settleCandidates(const Selection& selection, const Findings& found);
    // The status text of a selection that has a file, once the file steps have found what it needs;
    // else the next file step.
    Step<std::optional<QString>> settleStatus(const Selection& selection, const Findings& found);
    // Records the candidate's file, with its refreshed identity, as this machine's copy of its link,
    // confirmed by the user.
    LinkItem confirm(const FileMatchCandidate& candidate, const FileIdentity& refreshed);

private:
    // The file links the selection with its refreshed identity may be, strongest first.
    QList<FileMatchCandidate> candidates(const CapturedContext& context, const FileIdentity& selected);
    // The file step that looks for the candidates' own files; nothing without candidates.
    std::optional<Selection> toLookFor(const Selection& selection, const FileIdentity& selected);
    QString noMatchStatus(const FileIdentity& selected);

    LibraryReads& m_reads;
    LibraryFileLookups& m_fileLookups;
    LibraryWrites& m_writes;
    const FileIdentityService& m_identity;
};

} // namespace morvane
