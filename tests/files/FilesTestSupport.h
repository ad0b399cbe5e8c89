#pragma once

#include "LogCapture.h"
#include "ScriptedHasher.h"
#include "TestFiles.h"

#include "files/FileHashCache.h"
#include "files/FileIdentityService.h"
#include "foundation/LocatorUrl.h"

#include <memory>

namespace morvane::test {

inline QString fileUrl(const QString& path)
{
    return LocatorUrl::fileUrlText(path);
}

inline FileLocator locatorOf(const QString& path)
{
    return FileLocator::read(fileUrl(path));
}

// The system's file layer with a scripted hasher and a cache of its own.
struct IdentityFixture {
    std::shared_ptr<ScriptedHasher> hasher = std::make_shared<ScriptedHasher>();
    std::shared_ptr<FileHashCache> cache = std::make_shared<FileHashCache>();
    std::shared_ptr<FileIdentityService> service = [this] {
        FileIdentityPlatform platform = FileIdentityPlatform::system();
        platform.hasher = hasher;
        return std::make_shared<FileIdentityService>(cache, platform);
    }();
};

} // namespace morvane::test
