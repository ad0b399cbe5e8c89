#pragma once

#include "model/CapturedContext.h"

#include <QList>
#include <QString>

#include <optional>

namespace morvane {

class ActiveContextService;

// What is in front of the user, as the last capture found it: the items, or the reason there are
// none. The empty query's list is built from it.
class QuickPanelContext {
public:
    // The service outlives this.
    explicit QuickPanelContext(ActiveContextService& service);

    const QList<CapturedContext>& contexts() const { return m_contexts; }
    const std::optional<QString>& message() const { return m_message; }

    // Asks the application in front now.
    void capture();
    // Asks again and keeps the answer when it differs: true when the items' locators or the message
    // changed. A title that changes under the same item is no new item.
    bool recaptureIfChanged();

private:
    ActiveContextService& m_service;
    QList<CapturedContext> m_contexts;
    std::optional<QString> m_message;
};

} // namespace morvane
