#include "RelationService.h"

#include "LinkStore.h"

namespace morvane {

RelationService::RelationService(LinkStore& store)
    : m_store(store)
{
}

QFuture<QList<LinkItem>> RelationService::linkedItems(const QUuid& id)
{
    return m_store.run([id](SQLiteStore& sqlite) { return sqlite.relatedLinks(id); });
}

} // namespace morvane
