#include "MorvaneURLHandler.h"

#include "LinkOpener.h"
#include "foundation/Error.h"
#include "foundation/Logging.h"
#include "foundation/Uuid.h"
#include "platform/AlertPresenter.h"
#include "store/ItemOpening.h"
#include "store/LinkStore.h"

#include <QCoro/QCoroFuture>
#include <QUrl>

MORVANE_LOGGING_CATEGORY(lcMorvaneURL, "MorvaneURL")

namespace morvane {

namespace {

constexpr qsizetype maximumIdLength = 64;

} // namespace

MorvaneURLHandler::MorvaneURLHandler(std::shared_ptr<AlertPresenter> alerts,
                                     std::function<void()> bringForward)
    : m_alerts(std::move(alerts))
    , m_bringForward(std::move(bringForward))
{
}

std::optional<QUuid> MorvaneURLHandler::parse(const QString& text)
{
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid())
        return std::nullopt;
    if (url.scheme().compare(u"morvane", Qt::CaseInsensitive) != 0)
        return std::nullopt;
    if (url.host().compare(u"open", Qt::CaseInsensitive) != 0)
        return std::nullopt;
    // hasQuery and hasFragment are true for a bare "?" or "#" as well.
    if (url.hasQuery() || url.hasFragment())
        return std::nullopt;
    QString id = url.path(QUrl::FullyDecoded);
    qsizetype start = 0;
    while (start < id.size() && id.at(start) == u'/')
        ++start;
    qsizetype end = id.size();
    while (end > start && id.at(end - 1) == u'/')
        --end;
    id = id.mid(start, end - start);
    if (id.isEmpty() || id.size() > maximumIdLength || id.contains(u'/'))
        return std::nullopt;
    return parseUuid(id);
}

QCoro::Task<> MorvaneURLHandler::handle(QString url, LinkStore& store, ItemOpening& opening)
{
    const std::optional<QUuid> parsed = parse(url);
    if (!parsed) {
        qCInfo(lcMorvaneURL).noquote() << "Rejected malformed morvane URL:" << privateValue(url);
        co_return;
    }
    const QUuid id = *parsed;
    bool inFront = false;
    try {
        const std::optional<LinkItem> item = co_await store.link(id);
        if (!item) {
            showNotFound(id);
            co_return;
        }
        m_bringForward();
        inFront = true;
        // The opener reports no failure of its own: what it cannot open it logs.
        QCoro::Task<> opened = opening.open(*item, ItemOpening::UnreadableEvidence::fail);
        co_await std::move(opened);
    } catch (...) {
        const QString description = describeError(std::current_exception());
        qCCritical(lcMorvaneURL).noquote() << "Failed to open morvane URL:" << description;
        // The alert goes above whatever window sent the link.
        if (!inFront)
            m_bringForward();
        showError(description);
    }
}

void MorvaneURLHandler::showNotFound(const QUuid& id)
{
    qCInfo(lcMorvaneURL).noquote() << "Link not found:" << uuidString(id);
    m_bringForward();
    m_alerts->present(
        Alert{Alert::Style::warning,
              QStringLiteral("Link not found"),
              QStringLiteral("Morvane has no saved item for %1. It may have been deleted on this computer "
                             "or not synced yet.")
                  .arg(uuidString(id)),
              {}});
}

void MorvaneURLHandler::showError(const QString& description)
{
    m_alerts->present(Alert{Alert::Style::warning, description, {}, {}});
}

} // namespace morvane
