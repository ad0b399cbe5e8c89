#include "LinkRelation.h"

#include "foundation/Uuid.h"

namespace morvane {

QString LinkRelation::recordName(const QUuid& a, const QUuid& b)
{
    QString first = uuidString(a);
    QString second = uuidString(b);
    if (second < first)
        std::swap(first, second);
    return first + u'_' + second;
}

} // namespace morvane
