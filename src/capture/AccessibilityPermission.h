#pragma once

#include <memory>

namespace morvane {

class AccessibilityApi;
class AlertPresenter;
class DesktopServices;

// Asks the user, once per launch, to trust this application for reading other applications'
// windows, and opens the settings page where that is done.
class AccessibilityPermission {
public:
    AccessibilityPermission(std::shared_ptr<AccessibilityApi> accessibility,
                            std::shared_ptr<AlertPresenter> alerts, std::shared_ptr<DesktopServices> desktop);

    // Whether the alert was shown. Nothing is shown when the trust is granted, nor where this system
    // has no such trust to give: the alert would point at settings that do not exist here.
    bool promptIfNeeded();
    // The Accessibility page of the system settings: the newer address, else the older one.
    void openSystemSettings();

private:
    std::shared_ptr<AccessibilityApi> m_accessibility;
    std::shared_ptr<AlertPresenter> m_alerts;
    std::shared_ptr<DesktopServices> m_desktop;
};

} // namespace morvane
