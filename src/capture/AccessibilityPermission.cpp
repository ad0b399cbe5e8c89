#include "AccessibilityPermission.h"

#include "platform/AccessibilityApi.h"
#include "platform/AlertPresenter.h"

namespace morvane {

AccessibilityPermission::AccessibilityPermission(AccessibilitySession& accessibility, AlertPresenter& alerts)
    : m_accessibility(accessibility)
    , m_alerts(alerts)
{
}

bool AccessibilityPermission::promptIfNeeded()
{
    if (m_accessibility.trust() != AccessibilityTrust::notGranted)
        return false;
    const Alert alert{
        Alert::Style::informational,
        QStringLiteral("Accessibility access needed"),
        QStringLiteral(
            "Morvane reads the page, message or file in the window in front through the desktop's "
            "accessibility bus, which is turned off. Turning it on lets every application publish its "
            "windows there, as screen readers need. Chromium, Google Chrome, Brave, Microsoft Edge and "
            "Vivaldi windows opened before must be restarted to appear."),
        {QStringLiteral("Turn On"), QStringLiteral("Not Now")},
    };
    if (m_alerts.present(alert) == 0)
        m_accessibility.requestTrust();
    return true;
}

} // namespace morvane
