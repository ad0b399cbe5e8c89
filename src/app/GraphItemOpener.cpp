#include "GraphItemOpener.h"

#include "services/LinkOpener.h"

namespace morvane {

QCoro::Task<std::optional<FileIdentity>> GraphItemOpener::open(LinkItem item,
                                                               std::optional<FileIdentity> localResolution)
{
    QCoro::Task<std::optional<FileIdentity>> opening =
        m_opener.open(std::move(item), std::move(localResolution));
    co_return co_await opening;
}

} // namespace morvane
