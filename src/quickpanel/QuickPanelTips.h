#pragma once

#include <QObject>
#include <QString>

#include <optional>

namespace morvane {

class QuickPanelContext;
class QuickPanelSearch;
class QuickPanelState;
class QuickPanelTipStore;

// The instruction banners: which tip the panel's message belongs to, whether it shows as a banner,
// and dismissing it for good. Main thread only.
class QuickPanelTips : public QObject {
    Q_OBJECT
public:
    // Everything given outlives this.
    QuickPanelTips(const QuickPanelState& state, const QuickPanelSearch& search,
                   const QuickPanelContext& context, QuickPanelTipStore& store, QObject* parent = nullptr);

    // The instruction banner the message belongs to, if any.
    std::optional<QString> currentTipID() const;
    bool showsTipBanner() const;
    // Dismisses the current tip for good; the message stays, the banner goes (tipsChanged()).
    void dismissCurrentTip();

signals:
    // A tip was dismissed: the banner may go although no field changed.
    void tipsChanged();

private:
    const QuickPanelState& m_state;
    const QuickPanelSearch& m_search;
    const QuickPanelContext& m_context;
    QuickPanelTipStore& m_store;
};

} // namespace morvane
