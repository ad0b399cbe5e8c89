#include "GraphItemOpener.h"

#include "services/LinkOpener.h"

namespace morvane {

QCoro::Task<std::optional<FileIdentity>> GraphItemOpener::open(LinkItem item,
                                                               std::optional<FileIdentity> localResolution)
{
    return m_opener.open(std::move(item), std::move(localResolution));
}

} // namespace morvane
