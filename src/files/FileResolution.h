#pragma once

#include <QString>

namespace morvane {

// How sure reconciliation is about where a file link points now.
enum class FileResolutionStatus { resolved, staleBookmark, needsRelocation, multipleCandidates, missing };

// Why a candidate was found. modificationDateClose is part of the vocabulary; no scan step yields it.
enum class FileResolutionEvidence {
    bookmarkResolved,
    lastKnownPathExists,
    filenameMatch,
    fileSizeMatch,
    contentHashMatch,
    modificationDateClose,
    fileIdentityMatch
};

// Which step found a candidate. activeContext and manualSelection come from callers, not the scan.
enum class FileResolutionCandidateSource {
    bookmark,
    lastKnownPath,
    knownRootScan,
    activeContext,
    manualSelection
};

// The short word the repair list shows for each kind of evidence ("last path", "hash", ...).
QString evidenceLabel(FileResolutionEvidence evidence);

} // namespace morvane
