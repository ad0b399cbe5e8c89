#include "FileResolution.h"

#include "foundation/EnumNames.h"

namespace morvane {

namespace {

constexpr EnumName<FileResolutionEvidence> evidenceLabels[] = {
    {FileResolutionEvidence::bookmarkResolved, "bookmark"},
    {FileResolutionEvidence::lastKnownPathExists, "last path"},
    {FileResolutionEvidence::filenameMatch, "name"},
    {FileResolutionEvidence::fileSizeMatch, "size"},
    {FileResolutionEvidence::contentHashMatch, "hash"},
    {FileResolutionEvidence::modificationDateClose, "modified"},
    {FileResolutionEvidence::fileIdentityMatch, "file identity"},
};

} // namespace

QString evidenceLabel(FileResolutionEvidence evidence)
{
    return enumNameText(evidenceLabels, evidence);
}

} // namespace morvane
