#include "QuickPanelContext.h"

#include "capture/ActiveContextService.h"
#include "capture/FileManagerReader.h"
#include "foundation/Logging.h"
#include "platform/AccessibilityApi.h"

#include <QCoreApplication>
#include <QPointer>

#include <algorithm>
#include <utility>

MORVANE_LOGGING_CATEGORY(lcPanelContext, "QuickPanel")

namespace morvane {

QuickPanelContext::QuickPanelContext(ActiveContextService& service, std::shared_ptr<Clock> clock,
                                     QObject* parent)
    : QObject(parent)
    , m_service(service)
    , m_bound(clock->makeTimer([this] { endReading(m_readingNumber, true); }))
{
    // A status bar renamed twice at once (its text and its label) is told once.
    if (AccessibilitySession* accessibility = m_service.accessibility())
        connect(accessibility, &AccessibilitySession::statusMayHaveChanged, this,
                [this](const QString& name) {
                    if (!statusNamesSelectedItem(name) || std::exchange(m_changeTold, true))
                        return;
                    QMetaObject::invokeMethod(
                        this,
                        [this] {
                            m_changeTold = false;
                            emit shownMayHaveChanged();
                        },
                        Qt::QueuedConnection);
                });
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
    return recapture(m_service.refreshInBackground());
}

bool QuickPanelContext::recaptureAfterChange()
{
    return recapture(m_service.refreshForShowing());
}

bool QuickPanelContext::recapture(QFuture<void> refreshing)
{
    const bool changed = keep(m_service.captureContexts());
    return followReading(std::move(refreshing)) || changed;
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
    // A reading started later is the one followed: one started before may have been set aside
    // meanwhile (recaptureAfterChange), and its end would find nothing. The bound runs from the first.
    const quint64 reading = ++m_readingNumber;
    if (!wasReading) {
        m_reading = m_service.readApplicationName().value_or(QString());
        m_bound->start(readingBound, false);
    }
    qCDebug(lcPanelContext) << "Nothing captured yet: following panel reading" << reading;
    whenEnded(std::move(refreshing), reading);
    return !wasReading;
}

void QuickPanelContext::whenEnded(QFuture<void> refreshing, quint64 reading)
{
    // Continued on the main thread through the application object, which outlives the reading: this
    // one may be gone by then (Qt asserts on a context object destroyed before its continuation).
    const QPointer<QuickPanelContext> self(this);
    refreshing.then(QCoreApplication::instance(), [self, reading] {
        if (self)
            self->endReading(reading, false);
    });
}

void QuickPanelContext::endReading(quint64 reading, bool boundPassed)
{
    if (reading != m_readingNumber || !m_reading) {
        qCDebug(lcPanelContext) << "Panel reading" << reading << "ended, no longer followed";
        return;
    }
    CaptureResult captured = m_service.captureContexts();
    if (!boundPassed && captured.contexts.isEmpty() && !captured.message && m_service.wantsAnotherReading()) {
        QFuture<void> again = m_service.refreshInBackground();
        if (!again.isFinished()) {
            const quint64 next = ++m_readingNumber;
            qCDebug(lcPanelContext) << "Panel reading" << reading
                                    << "no longer stands for the window: following reading" << next;
            whenEnded(std::move(again), next);
            return;
        }
        captured = m_service.captureContexts();
    }
    m_bound->stop();
    m_reading.reset();
    keep(std::move(captured));
    qCDebug(lcPanelContext).noquote() << "Panel reading" << reading << "ended with" << m_contexts.size()
                                      << "items" << (m_message ? "and a message" : "");
    emit readingEnded();
}

} // namespace morvane
