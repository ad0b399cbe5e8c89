#include "NativeFrontWindow.h"

#include "AccessibilityApi.h"

namespace morvane {

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
        const std::optional<AccessibilityElement> frame = accessibility.activeFrame(application.element);
        if (!frame)
            continue;
        return NativeWindow{application.processId, application.name,
                            accessibility.name(*frame).value_or(QString())};
    }
    return std::nullopt;
}

} // namespace morvane
