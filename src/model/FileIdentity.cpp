#include "FileIdentity.h"

namespace morvane {

namespace {
template <class T>
std::optional<T> firstPresent(const std::optional<T>& preferred, const std::optional<T>& other)
{
    return preferred.has_value() ? preferred : other;
}
} // namespace

FileIdentity FileIdentity::merged(const FileIdentity& primary, const std::optional<FileIdentity>& second)
{
    if (!second)
        return primary;
    return FileIdentity{
        primary.bookmarkData,
        firstPresent(primary.fileResourceIdentifier, second->fileResourceIdentifier),
        firstPresent(primary.volumeIdentifier, second->volumeIdentifier),
        primary.lastKnownPath,
        firstPresent(primary.contentHash, second->contentHash),
        firstPresent(primary.fileSize, second->fileSize),
    };
}

} // namespace morvane
