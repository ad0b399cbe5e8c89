#pragma once

#include <QObject>
#include <QUuid>

#include <optional>

namespace morvane {

// The nodes the graph marks: the one the user selected, the one of the item in front of them (the
// active node), the one last centred, and the source of link mode. An id need not name a shown
// node. Every setter announces its change, also when the value is unchanged.
class GraphSelection : public QObject {
    Q_OBJECT
public:
    explicit GraphSelection(QObject* parent = nullptr);

    std::optional<QUuid> selectedNodeID() const { return m_selectedNodeID; }
    std::optional<QUuid> activeNodeID() const { return m_activeNodeID; }
    std::optional<QUuid> centeredNodeID() const { return m_centeredNodeID; }
    std::optional<QUuid> linkingSourceNodeID() const { return m_linkingSourceNodeID; }

    void setSelectedNodeID(std::optional<QUuid> id);
    void setActiveNodeID(std::optional<QUuid> id);
    void setCenteredNodeID(std::optional<QUuid> id);
    void setLinkingSourceNodeID(std::optional<QUuid> id);

signals:
    void selectedNodeIDChanged();
    void activeNodeIDChanged();
    void centeredNodeIDChanged();
    void linkingSourceNodeIDChanged();

private:
    std::optional<QUuid> m_selectedNodeID;
    std::optional<QUuid> m_activeNodeID;
    std::optional<QUuid> m_centeredNodeID;
    std::optional<QUuid> m_linkingSourceNodeID;
};

} // namespace morvane
