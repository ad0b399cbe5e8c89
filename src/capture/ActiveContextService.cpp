#include "ActiveContextService.h"

#include "capture/CaptureReason.h"
#include "platform/AccessibilityApi.h"
#include "platform/Workspace.h"

#include <qcoro/qcorofuture.h>

#include <algorithm>

namespace morvane {

const QStringList& ActiveContextService::askingOrder()
{
    static const QStringList order{
        QStringLiteral("Preview PDF"),  QStringLiteral("PDF Viewer"),  QStringLiteral("Finder"),
        QStringLiteral("File Manager"), QStringLiteral("Mail"),        QStringLiteral("Thunderbird"),
        QStringLiteral("Contacts"),     QStringLiteral("Fantastical"), QStringLiteral("Calendar"),
        QStringLiteral("CodeRunner"),   QStringLiteral("DEVONthink"),  QStringLiteral("Obsidian"),
        QStringLiteral("Browser"),
    };
    return order;
}

ActiveContextService::ActiveContextService(QList<std::shared_ptr<ActiveContextProvider>> providers,
                                           std::shared_ptr<Workspace> workspace,
                                           std::shared_ptr<AccessibilityApi> accessibility)
    : m_providers(std::move(providers))
    , m_workspace(std::move(workspace))
    , m_accessibility(std::move(accessibility))
{
    const auto rank = [](const std::shared_ptr<ActiveContextProvider>& provider) {
        const qsizetype index = askingOrder().indexOf(provider->providerName());
        return index < 0 ? askingOrder().size() : index;
    };
    std::stable_sort(m_providers.begin(), m_providers.end(),
                     [&](const auto& a, const auto& b) { return rank(a) < rank(b); });
}

CaptureResult ActiveContextService::captureContexts()
{
    for (const std::shared_ptr<ActiveContextProvider>& provider : m_providers) {
        CaptureResult result = provider->captureContexts();
        if (!result.contexts.isEmpty() || result.message)
            return result;
    }
    return {{}, whyNothingWasCaptured()};
}

std::optional<QString> ActiveContextService::whyNothingWasCaptured() const
{
    if (!m_workspace)
        return std::nullopt;
    // Nothing at all in front (the desktop, or a window this display cannot see) has no reason to give.
    const std::optional<DesktopWindow> window = m_workspace->captureWindow();
    if (!window || window->application.identifier == m_workspace->ownApplicationIdentifier())
        return std::nullopt;
    const QString& identifier = window->application.identifier;
    ApplicationReading reading = ApplicationReading::none;
    for (const std::shared_ptr<ActiveContextProvider>& provider : m_providers)
        reading = std::max(reading, provider->readingOf(identifier));
    switch (reading) {
    case ApplicationReading::none: {
        const QString name = window->windowClass.isEmpty() ? identifier : window->windowClass;
        return name.isEmpty() ? std::nullopt : std::optional(captureReason::applicationNotRead(name));
    }
    case ApplicationReading::accessibilityBus:
        if (m_accessibility && m_accessibility->trust() == AccessibilityTrust::notGranted) {
            // The bus may have been turned on elsewhere since it was last asked: the next capture knows.
            m_accessibility->refreshTrust();
            return captureReason::accessibilityBusOff();
        }
        return std::nullopt;
    case ApplicationReading::direct:
        break;
    }
    return std::nullopt;
}

void ActiveContextService::refreshInBackground()
{
    for (const std::shared_ptr<ActiveContextProvider>& provider : m_providers)
        provider->refresh();
}

QCoro::Task<CaptureResult> ActiveContextService::captureFreshContexts()
{
    QList<QFuture<void>> refreshes;
    for (const std::shared_ptr<ActiveContextProvider>& provider : m_providers)
        refreshes.append(provider->refresh());
    for (QFuture<void>& refresh : refreshes)
        co_await refresh;
    co_return captureContexts();
}

} // namespace morvane
