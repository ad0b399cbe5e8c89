#pragma once

#include "GraphMenu.h"

#include <QList>
#include <QUuid>

namespace morvane {

class GraphViewModel;

// The context menu of a node card, from the model's state when it opens: Open, Link from Here, the
// suggested partners, the relations to remove, then Delete Link. Every entry but Open first selects
// and centres the node (without gliding it), since the commands that follow act on the selection.
QList<GraphMenuEntry> graphNodeMenu(GraphViewModel& model, const QUuid& nodeID);

} // namespace morvane
