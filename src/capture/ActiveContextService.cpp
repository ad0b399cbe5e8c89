#include "ActiveContextService.h"

#include "capture/CaptureReason.h"
#include "platform/AccessibilityApi.h"
#include "platform/ApplicationNames.h"
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
                                           std::shared_ptr<AccessibilitySession> accessibility)
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
    // Switched off, the bus is not read, whatever its readers kept from before it was: over an
    // application read there, the reason is all there is to say.
    const FrontReading front = frontReading();
    if (front.reading == ApplicationReading::accessibilityBus && busSwitchedOff())
        return {{}, captureReason::accessibilityBusOff()};
    for (const std::shared_ptr<ActiveContextProvider>& provider : m_providers) {
        CaptureResult result = provider->captureContexts();
        if (!result.contexts.isEmpty() || result.message)
            return result;
    }
    return {{}, whyNothingWasCaptured(front)};
}

ActiveContextService::FrontReading ActiveContextService::frontReading() const
{
    if (!m_workspace)
        return {};
    // Nothing at all in front (the desktop, or a window this display cannot see) has no reason to give.
    std::optional<DesktopWindow> window = m_workspace->captureWindow();
    if (!window || window->application.identifier == m_workspace->ownApplicationIdentifier())
        return {};
    ApplicationReading reading = ApplicationReading::none;
    for (const std::shared_ptr<ActiveContextProvider>& provider : m_providers)
        reading = std::max(reading, provider->readingOf(window->application.identifier));
    return {std::move(window), reading};
}

bool ActiveContextService::busSwitchedOff() const
{
    if (!m_accessibility || m_accessibility->trust() != AccessibilityTrust::notGranted)
        return false;
    // Where the switch cannot be watched, the next capture knows whether it was turned on meanwhile.
    m_accessibility->refreshTrust();
    return true;
}

std::optional<QString> ActiveContextService::whyNothingWasCaptured(const FrontReading& front) const
{
    if (!front.window || front.reading != ApplicationReading::none)
        return std::nullopt;
    // Named as the panel names an application it is reading: its own name where it has an entry.
    QString name = applicationDisplayName(front.window->application.desktopId, front.window->windowClass);
    if (name.isEmpty())
        name = front.window->application.identifier;
    return name.isEmpty() ? std::nullopt : std::optional(captureReason::applicationNotRead(name));
}

std::optional<QString> ActiveContextService::readApplicationName() const
{
    const FrontReading front = frontReading();
    if (!front.window || front.reading == ApplicationReading::none)
        return std::nullopt;
    const QString name =
        applicationDisplayName(front.window->application.desktopId, front.window->windowClass);
    return name.isEmpty() ? std::nullopt : std::optional(name);
}

QFuture<void> ActiveContextService::refreshInBackground()
{
    QList<QFuture<void>> refreshes;
    for (const std::shared_ptr<ActiveContextProvider>& provider : m_providers)
        refreshes.append(provider->refresh());
    return QtFuture::whenAll(refreshes.begin(), refreshes.end())
        .then(QtFuture::Launch::Sync, [](const auto&) {});
}

QFuture<void> ActiveContextService::refreshForShowing()
{
    ++m_showings;
    for (const std::shared_ptr<ActiveContextProvider>& provider : m_providers)
        provider->distrustKeptReadings();
    return refreshInBackground();
}

bool ActiveContextService::wantsAnotherReading() const
{
    return std::any_of(m_providers.cbegin(), m_providers.cend(),
                       [](const std::shared_ptr<ActiveContextProvider>& provider) {
                           return provider->wantsAnotherReading();
                       });
}

QCoro::Task<CaptureResult> ActiveContextService::captureFreshContexts()
{
    // A reading started before the panel came up is not taken for what the window shows: without a
    // second round, the tray's indicator would go off until the next poll.
    for (int round = 0; round < 2; ++round) {
        const quint64 showings = m_showings;
        QList<QFuture<void>> refreshes;
        for (const std::shared_ptr<ActiveContextProvider>& provider : m_providers)
            refreshes.append(provider->refresh());
        for (QFuture<void>& refresh : refreshes)
            co_await refresh;
        if (showings == m_showings)
            break;
    }
    co_return captureContexts();
}

} // namespace morvane
