#include "QuickPanelTips.h"

#include "QuickPanelContext.h"
#include "QuickPanelSearch.h"
#include "QuickPanelState.h"
#include "services/QuickPanelTipStore.h"

#include <algorithm>

namespace morvane {

QuickPanelTips::QuickPanelTips(const QuickPanelState& state, const QuickPanelSearch& search,
                               const QuickPanelContext& context, QuickPanelTipStore& store, QObject* parent)
    : QObject(parent)
    , m_state(state)
    , m_search(search)
    , m_context(context)
    , m_store(store)
{
}

std::optional<QString> QuickPanelTips::currentTipID() const
{
    if (m_state.awaitingSoloCaptureDismiss())
        return QStringLiteral("capture.soloDismiss");
    if (!m_state.mode().is(QuickPanelMode::Kind::search))
        return std::nullopt;
    const QList<PanelResult>& results = m_state.results();
    const auto has = [&results](PanelResult::Kind kind) {
        return std::any_of(results.begin(), results.end(),
                           [kind](const PanelResult& row) { return row.kind() == kind; });
    };
    if (has(PanelResult::Kind::fileMatch))
        return QStringLiteral("fileMatch.prompt");
    const bool hasCapture = has(PanelResult::Kind::capture);
    if (!m_search.query().trimmed().isEmpty() && hasCapture && !has(PanelResult::Kind::link))
        return QStringLiteral("search.calendarCapture");
    const QList<CapturedContext>& contexts = m_context.contexts();
    if (!hasCapture || contexts.isEmpty())
        return std::nullopt;
    const QString token = QuickPanelTipStore::tipToken(contexts.first().sourceApp);
    if (contexts.size() >= 2)
        return QStringLiteral("capture.multiContext.") + token;
    return QStringLiteral("capture.newItem.") + token;
}

bool QuickPanelTips::showsTipBanner() const
{
    const std::optional<QString> tip = currentTipID();
    return tip && !m_state.message().isEmpty() && !m_store.isDismissed(*tip);
}

void QuickPanelTips::dismissCurrentTip()
{
    const std::optional<QString> tip = currentTipID();
    if (!tip || m_store.isDismissed(*tip))
        return;
    m_store.dismiss(*tip);
    emit tipsChanged();
}

} // namespace morvane
