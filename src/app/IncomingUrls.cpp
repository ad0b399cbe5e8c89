#include "IncomingUrls.h"

#include "foundation/Logging.h"
#include "services/UrlSchemeRegistration.h"

#include <QPointer>

MORVANE_LOGGING_CATEGORY(lcIncoming, "App")

namespace morvane {

QStringList incomingItems(const QStringList& arguments)
{
    QStringList items;
    for (const QString& argument : arguments) {
        const bool command = argument == quickPanelCommand || argument == graphCommand ||
                             argument == preferencesCommand || argument == quitCommand;
        if (command || !morvaneUrls({argument}).isEmpty())
            items.append(argument);
    }
    return items;
}

void IncomingUrls::receive(const QStringList& urls)
{
    const QStringList kept = incomingItems(urls);
    if (kept.isEmpty())
        return;
    qCInfo(lcIncoming) << "Received" << kept.size() << "morvane URL(s) and window command(s)";
    if (!m_handler) {
        m_pending += kept;
        return;
    }
    handleInOrder(kept);
}

void IncomingUrls::attach(Handler handler)
{
    m_handler = std::move(handler);
    if (!m_pending.isEmpty())
        handleInOrder(std::exchange(m_pending, {}));
}

QCoro::Task<> IncomingUrls::handleInOrder(QStringList urls)
{
    const QPointer<IncomingUrls> self(this);
    for (const QString& url : urls) {
        if (!self)
            co_return;
        try {
            QCoro::Task<> handling = m_handler(url);
            co_await std::move(handling);
        } catch (...) {
            // The handler reports its own failures; one URL's trouble must not stop the next.
            qCWarning(lcIncoming) << "Handling a morvane URL failed";
        }
    }
}

} // namespace morvane
