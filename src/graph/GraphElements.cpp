#include "GraphElements.h"

namespace morvane {

NodeHealth healthForDegree(int degree)
{
    if (degree <= 0)
        return NodeHealth::orphan;
    return degree == 1 ? NodeHealth::weak : NodeHealth::connected;
}

QString rawValue(GraphScope scope)
{
    switch (scope) {
    case GraphScope::all:
        return QStringLiteral("all");
    case GraphScope::currentNeighborhood:
        return QStringLiteral("currentNeighborhood");
    case GraphScope::orphans:
        return QStringLiteral("orphans");
    case GraphScope::weakLinks:
        return QStringLiteral("weakLinks");
    case GraphScope::suggestions:
        return QStringLiteral("suggestions");
    }
    return {};
}

const QList<GraphScope>& allGraphScopes()
{
    static const QList<GraphScope> all{GraphScope::all, GraphScope::currentNeighborhood, GraphScope::orphans,
                                       GraphScope::weakLinks, GraphScope::suggestions};
    return all;
}

std::optional<GraphScope> graphScopeFromRawValue(const QString& raw)
{
    for (const GraphScope scope : allGraphScopes()) {
        if (rawValue(scope) == raw)
            return scope;
    }
    return std::nullopt;
}

} // namespace morvane
