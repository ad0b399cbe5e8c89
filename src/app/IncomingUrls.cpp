#include "IncomingUrls.h"

#include "foundation/Logging.h"
#include "services/UrlSchemeRegistration.h"

#include <QPointer>

#include <algorithm>

MORVANE_LOGGING_CATEGORY(lcIncoming, "App")

namespace morvane {

namespace {

// A token is the desktop's own word: printable ASCII (startup ids and activation tokens are); anything
// else did not come from it and is not passed on to the window system.
QString validToken(const QString& token)
{
    const bool printable =
        std::all_of(token.begin(), token.end(), [](QChar c) { return c > u' ' && c < u'\x7f'; });
    return printable ? token : QString();
}

} // namespace

QString activationTokenItem()
{
    QString token = qEnvironmentVariable("DESKTOP_STARTUP_ID");
    if (token.isEmpty())
        token = qEnvironmentVariable("XDG_ACTIVATION_TOKEN");
    token = validToken(token);
    return token.isEmpty() ? QString() : activationTokenPrefix + token;
}

QStringList incomingItems(const QStringList& arguments)
{
    QStringList items;
    for (const QString& argument : arguments) {
        const bool command = argument == quickPanelCommand || argument == graphCommand ||
                             argument == preferencesCommand || argument == quitCommand ||
                             argument == activateCommand;
        if (command || !morvaneUrls({argument}).isEmpty())
            items.append(argument);
    }
    return items;
}

void IncomingUrls::receive(const QStringList& urls)
{
    Delivery delivery{incomingItems(urls), {}};
    if (delivery.items.isEmpty())
        return;
    for (const QString& item : urls) {
        if (item.startsWith(activationTokenPrefix))
            delivery.activationToken = validToken(item.mid(activationTokenPrefix.size()));
    }
    qCInfo(lcIncoming) << "Received" << delivery.items.size() << "morvane URL(s) and window command(s)";
    if (!m_handler) {
        m_pending.append(std::move(delivery));
        return;
    }
    handleInOrder({std::move(delivery)});
}

void IncomingUrls::attach(Handler handler)
{
    m_handler = std::move(handler);
    if (!m_pending.isEmpty())
        handleInOrder(std::exchange(m_pending, {}));
}

QCoro::Task<> IncomingUrls::handleInOrder(QList<Delivery> deliveries)
{
    const QPointer<IncomingUrls> self(this);
    for (const Delivery& delivery : std::as_const(deliveries)) {
        for (const QString& url : delivery.items) {
            if (!self)
                co_return;
            try {
                QCoro::Task<> handling = m_handler(url, delivery.activationToken);
                co_await std::move(handling);
            } catch (...) {
                // The handler reports its own failures; one URL's trouble must not stop the next.
                qCWarning(lcIncoming) << "Handling a morvane URL failed";
            }
        }
    }
}

} // namespace morvane
