#include "ActiveContextService.h"

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

ActiveContextService::ActiveContextService(QList<std::shared_ptr<ActiveContextProvider>> providers)
    : m_providers(std::move(providers))
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
    return {};
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
