#include "GraphSelection.h"

namespace morvane {

GraphSelection::GraphSelection(QObject* parent)
    : QObject(parent)
{
}

void GraphSelection::setSelectedNodeID(std::optional<QUuid> id)
{
    m_selectedNodeID = id;
    emit selectedNodeIDChanged();
}

void GraphSelection::setActiveNodeID(std::optional<QUuid> id)
{
    m_activeNodeID = id;
    emit activeNodeIDChanged();
}

void GraphSelection::setCenteredNodeID(std::optional<QUuid> id)
{
    m_centeredNodeID = id;
    emit centeredNodeIDChanged();
}

void GraphSelection::setLinkingSourceNodeID(std::optional<QUuid> id)
{
    m_linkingSourceNodeID = id;
    emit linkingSourceNodeIDChanged();
}

} // namespace morvane
