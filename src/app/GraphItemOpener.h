#pragma once

#include "graph/ItemOpener.h"

namespace morvane {

class LinkOpener;

// Serves the graph's openings with the application's link opener.
class GraphItemOpener final : public ItemOpener {
public:
    explicit GraphItemOpener(LinkOpener& opener)
        : m_opener(opener)
    {
    }

    QCoro::Task<std::optional<FileIdentity>> open(LinkItem item,
                                                  std::optional<FileIdentity> localResolution) override;

private:
    LinkOpener& m_opener;
};

} // namespace morvane
