#pragma once

#include <cstddef>
#include <vector>

namespace morvane {

class GraphWorkPool;

// The push every node gives every other, K / s along the line joining them (s the squared distance,
// floored), summed into each node's force. Positions and forces are held by node, in two arrays each.
struct RepulsionField {
    std::vector<double> x, y;   // positions
    std::vector<double> fx, fy; // forces, added to

    explicit RepulsionField(size_t n = 0)
        : x(n)
        , y(n)
        , fx(n, 0.0)
        , fy(n, 0.0)
    {
    }
    size_t size() const { return x.size(); }
};

// Every pair, exactly. Its cost grows with the square of the number of nodes. A large field is shared
// with the pool's threads when there is one.
void repelAllPairs(RepulsionField& field, double strength, GraphWorkPool* pool = nullptr);

// Nodes near each other one by one, far-away groups of nodes as one mass at their centre (a quadtree
// over the plane): a group is taken as one when its extent is less than `openingAngle` times its
// distance from the nodes it acts on. Its cost grows with n log n.
void repelByQuadtree(RepulsionField& field, double strength, double openingAngle,
                     GraphWorkPool* pool = nullptr);

} // namespace morvane
