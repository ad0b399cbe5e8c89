#include "ItemOpening.h"

#include "foundation/Error.h"
#include "foundation/Logging.h"
#include "store/ItemOpener.h"
#include "store/LinkStore.h"

#include <QCoro/QCoroFuture>

MORVANE_LOGGING_CATEGORY(lcItemOpening, "ItemOpening")

namespace morvane {

ItemOpening::ItemOpening(LinkStore& store, std::shared_ptr<ItemOpener> opener)
    : m_store(store)
    , m_opener(std::move(opener))
{
}

QCoro::Task<> ItemOpening::open(LinkItem item, UnreadableEvidence unreadable)
{
    const QUuid id = item.id;
    std::optional<FileIdentity> stored;
    try {
        stored = co_await m_store.localResolution(id);
    } catch (...) {
        if (unreadable == UnreadableEvidence::fail)
            throw;
        qCWarning(lcItemOpening).noquote()
            << "Opening without this machine's evidence:" << describeError(std::current_exception());
    }
    QCoro::Task<std::optional<FileIdentity>> opening = m_opener->open(std::move(item), stored);
    const std::optional<FileIdentity> refreshed = co_await std::move(opening);
    QFuture<void> recorded = m_store.recordOpened(id, refreshed, stored.has_value());
    try {
        co_await recorded;
    } catch (...) {
        qCWarning(lcItemOpening).noquote()
            << "The open was not recorded:" << describeError(std::current_exception());
    }
}

} // namespace morvane
