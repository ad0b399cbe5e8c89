#include "LibraryOpening.h"

#include "files/FileHashCache.h"
#include "files/FileIdentityService.h"
#include "store/FileWorkPool.h"
#include "store/LinkStore.h"

namespace morvane {

LibraryOpening::LibraryOpening()
    : m_fileIdentity(std::make_shared<FileIdentityService>(std::make_shared<FileHashCache>()))
    , m_filePool(std::make_shared<FileWorkPool>())
    , m_store(std::make_unique<LinkStore>(LinkStore::libraryAt(), m_fileIdentity, SystemClock::shared(),
                                          m_filePool, LinkStore::Opening::inBackground))
{
}

LibraryOpening::~LibraryOpening() = default;

std::unique_ptr<LinkStore> LibraryOpening::take()
{
    return std::move(m_store);
}

} // namespace morvane
