#pragma once

#include "model/FileIdentity.h"

#include <QString>

#include <optional>

namespace morvane {

// Where a bookmark (or the fallback) points now. refreshedIdentity is present only when the bookmark
// was stale and its target could be identified: the caller stores it in place of the old one.
struct ResolvedFileIdentity {
    QString url; // file URL text
    std::optional<FileIdentity> refreshedIdentity;

    bool operator==(const ResolvedFileIdentity&) const = default;
};

} // namespace morvane
