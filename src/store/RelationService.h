#pragma once

#include "model/LinkItem.h"

#include <QFuture>
#include <QList>
#include <QUuid>

namespace morvane {

class LinkStore;

// The items related to one item, read on the store thread like every library call.
class RelationService {
public:
    explicit RelationService(LinkStore& store);

    // Ordered by title without regard to case; each carries its own linked-item count.
    QFuture<QList<LinkItem>> linkedItems(const QUuid& id);

private:
    LinkStore& m_store;
};

} // namespace morvane
