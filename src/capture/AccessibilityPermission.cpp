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
            "Morvane reads the active window through the desktop's accessibility support, which is "
            "off. Turn it on? Web browsers of the Chromium family that are already open must be "
            "restarted before Morvane can read them."),
        {QStringLiteral("Turn On"), QStringLiteral("Not Now")},
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
