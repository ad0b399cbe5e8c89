#include "RelationService.h"

#include "LinkStoreDetail.h"

namespace morvane {

RelationService::RelationService(LinkStore& store)
    : m_store(store)
{
}

QFuture<QList<LinkItem>> RelationService::linkedItems(const QUuid& id)
{
    return LinkStoreDatabase(m_store).run(
        [id](SQLiteStore& sqlite) { return sqlite.reads().relatedLinks(id); });
}

} // namespace morvane
