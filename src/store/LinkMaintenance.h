#pragma once

#include "files/FileRepairIssue.h"
#include "files/FileResolutionCandidate.h"
#include "model/LinkItem.h"

#include <QList>
#include <QStringList>

#include <memory>

namespace morvane {

class FileIdentityService;
class SQLiteStore;

// Whole-library upkeep of file links: the full read that fills missing fingerprints, the list of
// links whose files need the user's attention, and relinking one to the file the user chose.
class LinkMaintenance {
public:
    LinkMaintenance(SQLiteStore& sqlite, std::shared_ptr<const FileIdentityService> identity);

    // Every link by update time, then title; a file link without a fingerprint gets one when its
    // file can be read (written back unannounced, and only when it adds something).
    QList<LinkItem> allLinks();
    QList<FileRepairIssue> fileRepairIssues(const QStringList& knownRoots);
    // Points the link at the chosen file and records it as this machine's confirmed copy, as one
    // change. Throws FileRepairError when the file cannot be identified (nothing is written).
    LinkItem repairFileLink(const LinkItem& item, const FileResolutionCandidate& candidate);

private:
    LinkItem refreshedFileIdentity(const LinkItem& link);

    SQLiteStore& m_sqlite;
    std::shared_ptr<const FileIdentityService> m_identity;
};

} // namespace morvane
