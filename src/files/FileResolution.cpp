#include "FileResolution.h"

#include <array>
#include <utility>

namespace morvane {

namespace {

template <class Enum, size_t N>
QString nameOf(const std::array<std::pair<Enum, const char*>, N>& table, Enum value)
{
    for (const auto& [candidate, name] : table)
        if (candidate == value)
            return QString::fromLatin1(name);
    return {};
}

template <class Enum, size_t N>
std::optional<Enum> valueOf(const std::array<std::pair<Enum, const char*>, N>& table, const QString& raw)
{
    for (const auto& [candidate, name] : table)
        if (raw == QLatin1String(name))
            return candidate;
    return std::nullopt;
}

constexpr std::array<std::pair<FileResolutionStatus, const char*>, 5> statusNames{{
    {FileResolutionStatus::resolved, "resolved"},
    {FileResolutionStatus::staleBookmark, "staleBookmark"},
    {FileResolutionStatus::needsRelocation, "needsRelocation"},
    {FileResolutionStatus::multipleCandidates, "multipleCandidates"},
    {FileResolutionStatus::missing, "missing"},
}};

constexpr std::array<std::pair<FileResolutionEvidence, const char*>, 7> evidenceNames{{
    {FileResolutionEvidence::bookmarkResolved, "bookmarkResolved"},
    {FileResolutionEvidence::lastKnownPathExists, "lastKnownPathExists"},
    {FileResolutionEvidence::filenameMatch, "filenameMatch"},
    {FileResolutionEvidence::fileSizeMatch, "fileSizeMatch"},
    {FileResolutionEvidence::contentHashMatch, "contentHashMatch"},
    {FileResolutionEvidence::modificationDateClose, "modificationDateClose"},
    {FileResolutionEvidence::fileIdentityMatch, "fileIdentityMatch"},
}};

constexpr std::array<std::pair<FileResolutionEvidence, const char*>, 7> evidenceLabels{{
    {FileResolutionEvidence::bookmarkResolved, "bookmark"},
    {FileResolutionEvidence::lastKnownPathExists, "last path"},
    {FileResolutionEvidence::filenameMatch, "name"},
    {FileResolutionEvidence::fileSizeMatch, "size"},
    {FileResolutionEvidence::contentHashMatch, "hash"},
    {FileResolutionEvidence::modificationDateClose, "modified"},
    {FileResolutionEvidence::fileIdentityMatch, "file identity"},
}};

constexpr std::array<std::pair<FileResolutionCandidateSource, const char*>, 5> sourceNames{{
    {FileResolutionCandidateSource::bookmark, "bookmark"},
    {FileResolutionCandidateSource::lastKnownPath, "lastKnownPath"},
    {FileResolutionCandidateSource::knownRootScan, "knownRootScan"},
    {FileResolutionCandidateSource::activeContext, "activeContext"},
    {FileResolutionCandidateSource::manualSelection, "manualSelection"},
}};

} // namespace

QString rawValue(FileResolutionStatus status)
{
    return nameOf(statusNames, status);
}

QString rawValue(FileResolutionEvidence evidence)
{
    return nameOf(evidenceNames, evidence);
}

QString rawValue(FileResolutionCandidateSource source)
{
    return nameOf(sourceNames, source);
}

std::optional<FileResolutionStatus> fileResolutionStatusFromRawValue(const QString& raw)
{
    return valueOf(statusNames, raw);
}

std::optional<FileResolutionEvidence> fileResolutionEvidenceFromRawValue(const QString& raw)
{
    return valueOf(evidenceNames, raw);
}

std::optional<FileResolutionCandidateSource> fileResolutionCandidateSourceFromRawValue(const QString& raw)
{
    return valueOf(sourceNames, raw);
}

QString evidenceLabel(FileResolutionEvidence evidence)
{
    return nameOf(evidenceLabels, evidence);
}

} // namespace morvane
