#include "AccessibilityPermission.h"

#include "platform/AccessibilityApi.h"
#include "platform/AlertPresenter.h"
#include "platform/DesktopServices.h"

namespace morvane {

AccessibilityPermission::AccessibilityPermission(std::shared_ptr<AccessibilityApi> accessibility,
                                                 std::shared_ptr<AlertPresenter> alerts,
                                                 std::shared_ptr<DesktopServices> desktop)
    : m_accessibility(std::move(accessibility))
    , m_alerts(std::move(alerts))
    , m_desktop(std::move(desktop))
{
}

bool AccessibilityPermission::promptIfNeeded()
{
    if (m_accessibility->trust() != AccessibilityTrust::notGranted)
        return false;
    const Alert alert{
        Alert::Style::informational,
        QStringLiteral("Accessibility access needed"),
        QStringLiteral(
            "Morvane uses Accessibility to read the active window when an app does not expose its "
            "selection through AppleScript. Turn on Accessibility for Morvane in System Settings > "
            "Privacy & Security > Accessibility, then try again."),
        {QStringLiteral("Open System Settings"), QStringLiteral("Not Now")},
    };
    if (m_alerts->present(alert) == 0) {
        m_accessibility->requestTrust();
        openSystemSettings();
    }
    return true;
}

void AccessibilityPermission::openSystemSettings()
{
    // Whether the older page opened is not known, and nothing more could be done if it did not.
    if (!m_desktop->openUrl(QStringLiteral(
            "x-apple.systempreferences:com.apple.settings.PrivacySecurity.extension?Privacy_Accessibility")))
        m_desktop->openUrl(
            QStringLiteral("x-apple.systempreferences:com.apple.preference.security?Privacy_Accessibility"));
}

} // namespace morvane
