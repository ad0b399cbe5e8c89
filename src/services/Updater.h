#pragma once

#include <memory>

namespace morvane {

class AlertPresenter;

// The update check. Updates come from the system's package manager, so there is no updater here: it
// reports itself unavailable, and a check logs that and tells the user where updates come from.
class Updater {
public:
    explicit Updater(std::shared_ptr<AlertPresenter> alerts);

    bool isAvailable() const { return false; }
    void checkForUpdates() const;

private:
    std::shared_ptr<AlertPresenter> m_alerts;
};

} // namespace morvane
