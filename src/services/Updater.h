#pragma once

namespace morvane {

// The update check. Updates come from the system's package manager, so there is no updater here:
// it reports itself unavailable and a check only logs that.
class Updater {
public:
    bool isAvailable() const { return false; }
    void checkForUpdates() const;
};

} // namespace morvane
