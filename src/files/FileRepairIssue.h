#pragma once

#include "files/FileResolutionCandidate.h"
#include "model/LinkItem.h"

#include <QUuid>

namespace morvane {

// A file link whose reconciliation did not come out clean, for the user to confirm a new place.
struct FileRepairIssue {
    LinkItem item;
    FileReconciliationResult result;

    QUuid id() const { return item.id; }
    bool operator==(const FileRepairIssue&) const = default;
};

} // namespace morvane
