#pragma once

#include "model/FileIdentity.h"
#include "model/LinkItem.h"

#include <QCoroTask>

#include <optional>

namespace morvane {

// Opens a saved item in the application it belongs to. ItemOpening hands in this machine's stored
// evidence of the item's file (none when there is none) and records what comes back; the opener
// itself never touches the library. Finding a file may take a while (hashing, searching known
// folders), so opening completes later on the main thread.
class ItemOpener {
public:
    virtual ~ItemOpener() = default;

    // The evidence to record for the item on this machine when opening found its file, else none.
    // Reports no failure: a link that cannot be opened is logged by the opener.
    virtual QCoro::Task<std::optional<FileIdentity>> open(LinkItem item,
                                                          std::optional<FileIdentity> localResolution) = 0;
};

} // namespace morvane
