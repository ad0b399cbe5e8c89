#pragma once

#include "foundation/UserDefaults.h"
#include "model/LibraryReset.h"

#include <QCoroTask>

#include <memory>
#include <optional>

namespace morvane {

class LinkStore;
class RemoteRecords;

// The reset marker a remote erase leaves in the record store, applied to this library once: the
// library is erased when it took part in sync before the erase, and kept when it joins sync after it.
// The markers applied, and whether a pass completed here, are kept in the defaults.
class LibraryResetApplier {
public:
    LibraryResetApplier(RemoteRecords& remote, std::shared_ptr<UserDefaults> defaults);

    // Whether the marker is one still to be applied here.
    bool isDue(const std::optional<LibraryReset>& reset) const;
    // Applies the marker when it is due.
    QCoro::Task<void> apply(LinkStore& store, const std::optional<LibraryReset>& reset);

private:
    // Whether this library took part in sync before, as far as evidence shows.
    QCoro::Task<bool> syncedBefore(LinkStore& store);

    RemoteRecords& m_remote;
    std::shared_ptr<UserDefaults> m_defaults;
};

} // namespace morvane
