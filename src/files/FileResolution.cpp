#include "FileResolution.h"

#include "foundation/EnumNames.h"

namespace morvane {

namespace {

constexpr EnumName<FileResolutionStatus> statusNames[] = {
    {FileResolutionStatus::resolved, "resolved"},
    {FileResolutionStatus::staleBookmark, "staleBookmark"},
    {FileResolutionStatus::needsRelocation, "needsRelocation"},
    {FileResolutionStatus::multipleCandidates, "multipleCandidates"},
    {FileResolutionStatus::missing, "missing"},
};

constexpr EnumName<FileResolutionEvidence> evidenceNames[] = {
    {FileResolutionEvidence::bookmarkResolved, "bookmarkResolved"},
    {FileResolutionEvidence::lastKnownPathExists, "lastKnownPathExists"},
    {FileResolutionEvidence::filenameMatch, "filenameMatch"},
    {FileResolutionEvidence::fileSizeMatch, "fileSizeMatch"},
    {FileResolutionEvidence::contentHashMatch, "contentHashMatch"},
    {FileResolutionEvidence::modificationDateClose, "modificationDateClose"},
    {FileResolutionEvidence::fileIdentityMatch, "fileIdentityMatch"},
};

constexpr EnumName<FileResolutionEvidence> evidenceLabels[] = {
    {FileResolutionEvidence::bookmarkResolved, "bookmark"},
    {FileResolutionEvidence::lastKnownPathExists, "last path"},
    {FileResolutionEvidence::filenameMatch, "name"},
    {FileResolutionEvidence::fileSizeMatch, "size"},
    {FileResolutionEvidence::contentHashMatch, "hash"},
    {FileResolutionEvidence::modificationDateClose, "modified"},
    {FileResolutionEvidence::fileIdentityMatch, "file identity"},
};

constexpr EnumName<FileResolutionCandidateSource> sourceNames[] = {
    {FileResolutionCandidateSource::bookmark, "bookmark"},
    {FileResolutionCandidateSource::lastKnownPath, "lastKnownPath"},
    {FileResolutionCandidateSource::knownRootScan, "knownRootScan"},
    {FileResolutionCandidateSource::activeContext, "activeContext"},
    {FileResolutionCandidateSource::manualSelection, "manualSelection"},
};

} // namespace

QString rawValue(FileResolutionStatus status)
{
    return enumNameText(statusNames, status);
}

QString rawValue(FileResolutionEvidence evidence)
{
    return enumNameText(evidenceNames, evidence);
}

QString rawValue(FileResolutionCandidateSource source)
{
    return enumNameText(sourceNames, source);
}

std::optional<FileResolutionStatus> fileResolutionStatusFromRawValue(const QString& raw)
{
    return enumValue(statusNames, raw);
}

std::optional<FileResolutionEvidence> fileResolutionEvidenceFromRawValue(const QString& raw)
{
    return enumValue(evidenceNames, raw);
}

std::optional<FileResolutionCandidateSource> fileResolutionCandidateSourceFromRawValue(const QString& raw)
{
    return enumValue(sourceNames, raw);
}

QString evidenceLabel(FileResolutionEvidence evidence)
{
    return enumNameText(evidenceLabels, evidence);
}

} // namespace morvane
