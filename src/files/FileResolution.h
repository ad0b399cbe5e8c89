#pragma once

#include <QList>
#include <QString>

#include <optional>

namespace morvane {

// How sure reconciliation is about where a file link points now. Raw values are the case names.
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

QString rawValue(FileResolutionStatus status);
QString rawValue(FileResolutionEvidence evidence);
QString rawValue(FileResolutionCandidateSource source);

std::optional<FileResolutionStatus> fileResolutionStatusFromRawValue(const QString& raw);
std::optional<FileResolutionEvidence> fileResolutionEvidenceFromRawValue(const QString& raw);
std::optional<FileResolutionCandidateSource> fileResolutionCandidateSourceFromRawValue(const QString& raw);

// The short word the repair list shows for each kind of evidence ("last path", "hash", ...).
QString evidenceLabel(FileResolutionEvidence evidence);

} // namespace morvane
