#pragma once

#include "files/FileResolution.h"

#include <QList>
#include <QString>
#include <QUuid>

namespace morvane {

// A place where a file link's file may be now, with how sure the step that found it is.
struct FileResolutionCandidate {
    QUuid id;         // fresh for every candidate made
    QUuid resourceID; // the link the candidate is for
    QString url;      // file URL text
    FileResolutionCandidateSource source = FileResolutionCandidateSource::knownRootScan;
    double confidence = 0.0;
    QList<FileResolutionEvidence> evidence;

    bool operator==(const FileResolutionCandidate&) const = default;

    // The evidence labels in stored order, joined with ", " ("last path, name").
    QString evidenceSummary() const;
};

// What reconciliation concluded for one link; candidates are most confident first.
struct FileReconciliationResult {
    FileResolutionStatus status = FileResolutionStatus::missing;
    std::optional<FileResolutionCandidate> acceptedCandidate;
    QList<FileResolutionCandidate> candidates;

    bool operator==(const FileReconciliationResult&) const = default;
};

} // namespace morvane
