#pragma once

#include "files/FileRepairIssue.h"
#include "files/FileResolutionCandidate.h"
#include "model/FileIdentity.h"
#include "model/LinkItem.h"

#include <QList>
#include <QStringList>

#include <memory>
#include <optional>

namespace morvane {

class FileIdentityService;
class LibraryReads;
class LibraryTransactions;
class LibraryWrites;

// Whole-library upkeep of file links: the full read that fills missing fingerprints, the list of
// links whose files need the user's attention, and relinking one to the file the user chose.
//
// The file work of each (hashing, bookmark resolution, the reconciliation scan) is a static call
// of its own that reads the file system only, so the store can run it off its thread between the
// database steps; the three operations themselves run everything in turn.
class LinkMaintenance {
public:
    // New evidence for the link at index of a full read.
    struct FingerprintFill {
        qsizetype index = 0;
        FileIdentity identity;
    };

    LinkMaintenance(LibraryReads& reads, LibraryWrites& writes, LibraryTransactions& transactions,
                    std::shared_ptr<const FileIdentityService> identity);

    // Every link by update time, then title; a file link without a fingerprint gets one when its
    // file can be read (written back unannounced, and only when it adds something).
    QList<LinkItem> allLinks();
    QList<FileRepairIssue> fileRepairIssues(const QStringList& knownRoots);
    // Points the link at the chosen file and records it as this machine's confirmed copy, as one
    // change. Throws FileRepairError when the file cannot be identified (nothing is written).
    LinkItem repairFileLink(const LinkItem& item, const FileResolutionCandidate& candidate);

    // Whether a full read has a file link whose fingerprint may be filled.
    static bool anyWantsFingerprint(const QList<LinkItem>& links);
    static QList<FingerprintFill> fingerprintFills(const QList<LinkItem>& links,
                                                   const FileIdentityService& identity);
    // Writes the fills and gives the links with their rows read again.
    QList<LinkItem> applyFills(QList<LinkItem> links, const QList<FingerprintFill>& fills);

    static QList<FileRepairIssue> repairIssues(const QList<LinkItem>& links, const QStringList& knownRoots,
                                               const std::shared_ptr<const FileIdentityService>& identity);

    // The chosen file's identity (asked twice before giving up).
    static std::optional<FileIdentity> candidateIdentity(const FileResolutionCandidate& candidate,
                                                         const FileIdentityService& identity);
    // Throws FileRepairError without an identity.
    LinkItem relink(const LinkItem& item, const FileResolutionCandidate& candidate,
                    const std::optional<FileIdentity>& identity);

private:
    LibraryReads& m_reads;
    LibraryWrites& m_writes;
    LibraryTransactions& m_transactions; // a relink's evidence and resolution are one change
    std::shared_ptr<const FileIdentityService> m_identity;
};

} // namespace morvane
