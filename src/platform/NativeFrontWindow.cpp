#include "NativeFrontWindow.h"

#include "AccessibilityApi.h"

namespace morvane {

namespace {

// GNOME Shell is on the bus as an application of its own, whose stage is active while the Shell holds
// the keyboard (its overview, its top bar's menus): the desktop, not a window the user works in.
bool isDesktopShell(const AccessibilityApplication& application)
{
    return application.name.compare(QLatin1String("gnome-shell"), Qt::CaseInsensitive) == 0;
}

} // namespace

NativeFrontWindow::NativeFrontWindow(std::shared_ptr<AccessibilityApi> accessibility)
    : m_accessibility(std::move(accessibility))
{
}

AccessibilitySession* NativeFrontWindow::accessibility() const
{
    return m_accessibility.get();
}

bool NativeFrontWindow::isReadable() const
{
    return m_accessibility->trust() == AccessibilityTrust::granted;
}

QFuture<std::optional<NativeWindow>> NativeFrontWindow::lookUp() const
{
    return m_accessibility->run([](AccessibilityElements& accessibility) { return find(accessibility); });
}

std::optional<NativeWindow> NativeFrontWindow::find(const AccessibilityElements& accessibility)
{
    for (const AccessibilityApplication& application : accessibility.applications()) {
        if (isDesktopShell(application))
            continue;
        const std::optional<AccessibilityElement> frame = accessibility.activeFrame(application.element);
        if (!frame)
            continue;
        return NativeWindow{application.processId, application.name,
                            accessibility.name(*frame).value_or(QString())};
    }
    return std::nullopt;
}

} // namespace morvane
