#include "QuickPanelContext.h"

#include "capture/ActiveContextService.h"

#include <QCoreApplication>
#include <QPointer>

#include <algorithm>

namespace morvane {

QuickPanelContext::QuickPanelContext(ActiveContextService& service, std::shared_ptr<Clock> clock,
                                     QObject* parent)
    : QObject(parent)
    , m_service(service)
    , m_bound(clock->makeTimer([this] { endReading(m_readingNumber); }))
{
}

QuickPanelContext::~QuickPanelContext() = default;

QString QuickPanelContext::readingMessage(const QString& name)
{
    return QStringLiteral("Reading %1…").arg(name.isEmpty() ? QStringLiteral("the window in front") : name);
}

QString QuickPanelContext::nothingReadMessage(const QString& name)
{
    return QStringLiteral("Nothing could be read from %1. Type to search all links.")
        .arg(name.isEmpty() ? QStringLiteral("the window in front") : name);
}

void QuickPanelContext::capture()
{
    // Providers that read over a bus answer from their last reading, once it is known to show what
    // the window shows now (the user may have changed it since); this one's follows.
    const QFuture<void> refreshing = m_service.refreshForShowing();
    // Whatever the panel held from its last showing, over another window, is not kept.
    take(m_service.captureContexts());
    followReading(refreshing);
}

bool QuickPanelContext::recaptureIfChanged()
{
    const QFuture<void> refreshing = m_service.refreshInBackground();
    const bool changed = keep(m_service.captureContexts());
    return followReading(refreshing) || changed;
}

bool QuickPanelContext::keep(CaptureResult captured)
{
    // The same item shown by another application (a file in one file manager, then in another) is
    // another capture: saved, it names the application it came from.
    const bool sameContexts =
        std::equal(captured.contexts.begin(), captured.contexts.end(), m_contexts.begin(), m_contexts.end(),
                   [](const CapturedContext& a, const CapturedContext& b) {
                       return a.locator == b.locator && a.sourceApp == b.sourceApp;
                   });
    if (sameContexts && captured.message == m_message)
        return false;
    take(std::move(captured));
    return true;
}

void QuickPanelContext::take(CaptureResult captured)
{
    m_contexts = std::move(captured.contexts);
    m_message = std::move(captured.message);
}

bool QuickPanelContext::followReading(QFuture<void> refreshing)
{
    const bool wasReading = m_reading.has_value();
    if (!m_contexts.isEmpty() || m_message || refreshing.isFinished()) {
        // Something to show, or nothing on its way: what is in front is known.
        ++m_readingNumber;
        m_bound->stop();
        m_reading.reset();
        return wasReading;
    }
    if (wasReading)
        return false; // the reading already followed ends it, within its bound
    m_reading = m_service.readApplicationName().value_or(QString());
    const quint64 reading = ++m_readingNumber;
    m_bound->start(readingBound, false);
    // Continued on the main thread through the application object, which outlives the reading: this
    // one may be gone by then (Qt asserts on a context object destroyed before its continuation).
    const QPointer<QuickPanelContext> self(this);
    refreshing.then(QCoreApplication::instance(), [self, reading] {
        if (self)
            self->endReading(reading);
    });
    return true;
}

void QuickPanelContext::endReading(quint64 reading)
{
    if (reading != m_readingNumber || !m_reading)
        return;
    m_bound->stop();
    m_reading.reset();
    keep(m_service.captureContexts());
    emit readingEnded();
}

} // namespace morvane
