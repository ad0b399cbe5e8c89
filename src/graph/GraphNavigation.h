#pragma once

#include "GraphElements.h"

#include <QList>
#include <QObject>
#include <QUuid>

#include <optional>

namespace morvane {

class GraphContent;
class GraphLayoutDriver;
class GraphSelection;

// Where the user is in the graph: the node centred, and the walk along its relations from the
// keyboard. Left and Right preview the focus node's neighbours in turn, Up follows the previewed
// relation, Down goes back the way the user came. Only shown nodes and relation edges count.
class GraphNavigation : public QObject {
    Q_OBJECT
public:
    struct KeyboardRelationNavigation {
        QUuid focusNodeID;
        QList<QUuid> backStack;
        QList<QUuid> orderedNeighborIDs;
        int previewIndex = 0;
        bool operator==(const KeyboardRelationNavigation&) const = default;
    };

    // The content, the selection and the layout outlive the navigation.
    GraphNavigation(const GraphContent& content, GraphSelection& selection, GraphLayoutDriver& layout,
                    QObject* parent = nullptr);

    // Selects the node and marks it centred; animated, the layout glides it to the origin unless the
    // user has placed it by hand. The node need not be shown.
    void centerOnNode(const QUuid& id, bool animated);

    const std::optional<KeyboardRelationNavigation>& keyboardRelationNavigation() const
    {
        return m_navigation;
    }
    void endKeyboardNavigation();
    void previewNeighbor(bool backward);
    void followPreviewedRelation();
    void navigateBack();
    std::optional<QUuid> previewedNeighborID() const;
    // The relation from the keyboard's focus to the neighbour it previews.
    std::optional<GraphEdge> keyboardPreviewEdge() const;
    // The shown nodes related to the node, clockwise on screen from just left of straight down.
    QList<QUuid> orderedNeighborIDs(const QUuid& id) const;

signals:
    void keyboardRelationNavigationChanged();

private:
    // The focus, else the selected, the active or the first shown node.
    std::optional<QUuid> keyboardAnchorNodeID() const;
    // Starts navigation at the anchor: none when it has no neighbours.
    std::optional<KeyboardRelationNavigation> freshNavigation(const QUuid& anchor) const;
    // The stored navigation, else a fresh one at the anchor.
    std::optional<KeyboardRelationNavigation> currentNavigation() const;
    // Moves the focus to a shown node with neighbours, previewing the node it came from there.
    void moveFocus(const QUuid& from, const QUuid& to, QList<QUuid> backStack);
    void setNavigation(std::optional<KeyboardRelationNavigation> navigation);

    const GraphContent& m_content;
    GraphSelection& m_selection;
    GraphLayoutDriver& m_layout;
    std::optional<KeyboardRelationNavigation> m_navigation;
};

} // namespace morvane
