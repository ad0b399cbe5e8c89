#include "FileIdentity.h"

namespace morvane {

FileIdentity FileIdentity::merged(const FileIdentity& primary, const std::optional<FileIdentity>& second)
{
    if (!second)
        return primary;
    FileIdentity result = primary;
    if (!result.fileResourceIdentifier)
        result.fileResourceIdentifier = second->fileResourceIdentifier;
    if (!result.volumeIdentifier)
        result.volumeIdentifier = second->volumeIdentifier;
    if (!result.contentHash)
        result.contentHash = second->contentHash;
    if (!result.fileSize)
        result.fileSize = second->fileSize;
    return result;
}

} // namespace morvane
