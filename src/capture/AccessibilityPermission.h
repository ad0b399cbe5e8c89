#pragma once

namespace morvane {

class AccessibilitySession;
class AlertPresenter;

// Asks the user to turn on the desktop's accessibility bus, over which the other applications' windows
// are read, and turns it on when the user agrees. Asked once per launch while it is off, and from
// Preferences.
class AccessibilityPermission {
public:
    AccessibilityPermission(AccessibilitySession& accessibility, AlertPresenter& alerts);

    // Whether the alert was shown. Nothing is shown when the bus is on, nor on a desktop without
    // one: the alert would offer to turn on something that does not exist here.
    bool promptIfNeeded();

private:
    AccessibilitySession& m_accessibility;
    AlertPresenter& m_alerts;
};

} // namespace morvane
