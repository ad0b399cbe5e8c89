#include "Repulsion.h"

#include "ParallelParts.h"
#include "VectorUnits.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

namespace morvane {

namespace {

// Closer than this (squared) two nodes push as if they were this far apart, and the direction shrinks
// with them, so two nodes at one place push each other not at all.
constexpr double smallestSquaredDistance = 100;

// The push of strength 1 across (dx, dy) is (dx, dy) times this: (dx, dy) / √s × 1 / s.
inline double pushPerUnit(double dx, double dy)
{
    const double s = std::max(dx * dx + dy * dy, smallestSquaredDistance);
    return 1 / (s * std::sqrt(s));
}

// The cost of the exact pass is this loop over every pair; wider vector units run more pairs at once
// where the processor has them (the paths below). Rows [first, last) are paired with every later node;
// their forces are added to fx and fy.
[[gnu::always_inline]] inline void repelRowsWith(const double* __restrict x, const double* __restrict y,
                                                 size_t n, size_t first, size_t last, double strength,
                                                 double* __restrict fx, double* __restrict fy)
{
    for (size_t i = first; i < last; ++i) {
        const double xi = x[i];
        const double yi = y[i];
        double sumX = 0;
        double sumY = 0;
        // The sums may be split across vector lanes: this only regroups additions.
#pragma omp simd reduction(+ : sumX, sumY)
        for (size_t j = i + 1; j < n; ++j) {
            const double dx = xi - x[j];
            const double dy = yi - y[j];
            const double k = strength * pushPerUnit(dx, dy);
            sumX += dx * k;
            sumY += dy * k;
            fx[j] -= dx * k;
            fy[j] -= dy * k;
        }
        fx[i] += sumX;
        fy[i] += sumY;
    }
}

void repelRowsPortable(const double* x, const double* y, size_t n, size_t first, size_t last, double strength,
                       double* fx, double* fy)
{
    repelRowsWith(x, y, n, first, last, strength, fx, fy);
}

#if defined(__x86_64__)
__attribute__((target("avx2"))) void repelRowsAvx2(const double* x, const double* y, size_t n, size_t first,
                                                   size_t last, double strength, double* fx, double* fy)
{
    repelRowsWith(x, y, n, first, last, strength, fx, fy);
}
#endif

void repelRows(const double* x, const double* y, size_t n, size_t first, size_t last, double strength,
               double* fx, double* fy)
{
#if defined(__x86_64__)
    if (vectorUnits() >= VectorUnits::avx2)
        return repelRowsAvx2(x, y, n, first, last, strength, fx, fy);
#endif
    repelRowsPortable(x, y, n, first, last, strength, fx, fy);
}

// Below this many nodes one thread does the pairs sooner than several can be started.
constexpr size_t sharedRepulsionNodes = 2500;

// --- The quadtree ---------------------------------------------------------------------------------

// Nodes are sorted along a Z-shaped curve through a 2^16 × 2^16 grid over their bounding box, so
// that every square of the tree holds one run of the sorted nodes.
constexpr int treeLevels = 16;
// A square with at most this many nodes is not divided: its nodes act one by one.
constexpr int leafNodes = 40;

struct Cell {
    double massX = 0, massY = 0; // centre of its nodes
    double mass = 0;             // how many nodes
    double squaredSize = 0;      // of the larger side of its box
    double minX = 0, minY = 0, maxX = 0, maxY = 0;
    int first = 0, last = 0; // its run of the sorted nodes
    std::array<int, 4> children{-1, -1, -1, -1};
    bool leaf = true;
};

uint32_t spreadBits(uint32_t v)
{
    v &= 0xffff;
    v = (v | (v << 8)) & 0x00ff00ff;
    v = (v | (v << 4)) & 0x0f0f0f0f;
    v = (v | (v << 2)) & 0x33333333;
    v = (v | (v << 1)) & 0x55555555;
    return v;
}

class Quadtree {
public:
    Quadtree(const RepulsionField& field)
    {
        const size_t n = field.size();
        double minX = field.x[0], maxX = minX, minY = field.y[0], maxY = minY;
        for (size_t i = 1; i < n; ++i) {
            minX = std::min(minX, field.x[i]);
            maxX = std::max(maxX, field.x[i]);
            minY = std::min(minY, field.y[i]);
            maxY = std::max(maxY, field.y[i]);
        }
        const double extent = std::max({maxX - minX, maxY - minY, 1e-9});
        const double cells = double((1 << treeLevels) - 1);
        std::vector<uint32_t> keys(n);
        for (size_t i = 0; i < n; ++i) {
            const auto qx = uint32_t((field.x[i] - minX) / extent * cells);
            const auto qy = uint32_t((field.y[i] - minY) / extent * cells);
            keys[i] = spreadBits(qx) | (spreadBits(qy) << 1);
        }
        sortByKey(keys);
        x.resize(n);
        y.resize(n);
        for (size_t i = 0; i < n; ++i) {
            x[i] = field.x[size_t(order[i])];
            y[i] = field.y[size_t(order[i])];
        }
        cells_.reserve(n / 4 + 16);
        build(0, int(n), 0);
    }

    // The nodes in curve order, their places in the field, and the squares.
    std::vector<int> order;
    std::vector<uint32_t> sortedKeys;
    std::vector<double> x, y;
    const std::vector<Cell>& cells() const { return cells_; }

private:
    // Least significant digit first, a byte at a time.
    void sortByKey(const std::vector<uint32_t>& keys)
    {
        const size_t n = keys.size();
        order.resize(n);
        for (size_t i = 0; i < n; ++i)
            order[i] = int(i);
        sortedKeys = keys;
        std::vector<int> otherOrder(n);
        std::vector<uint32_t> otherKeys(n);
        for (int shift = 0; shift < 32; shift += 8) {
            std::array<size_t, 257> start{};
            for (const uint32_t key : sortedKeys)
                ++start[((key >> shift) & 0xff) + 1];
            for (size_t b = 1; b < start.size(); ++b)
                start[b] += start[b - 1];
            for (size_t i = 0; i < n; ++i) {
                const size_t to = start[(sortedKeys[i] >> shift) & 0xff]++;
                otherKeys[to] = sortedKeys[i];
                otherOrder[to] = order[i];
            }
            sortedKeys.swap(otherKeys);
            order.swap(otherOrder);
        }
    }

    int build(int first, int last, int level)
    {
        const int index = int(cells_.size());
        cells_.emplace_back();
        Cell cell;
        cell.first = first;
        cell.last = last;
        if (last - first <= leafNodes || level == treeLevels) {
            cell.minX = cell.maxX = x[size_t(first)];
            cell.minY = cell.maxY = y[size_t(first)];
            for (int i = first; i < last; ++i) {
                cell.massX += x[size_t(i)];
                cell.massY += y[size_t(i)];
                cell.minX = std::min(cell.minX, x[size_t(i)]);
                cell.maxX = std::max(cell.maxX, x[size_t(i)]);
                cell.minY = std::min(cell.minY, y[size_t(i)]);
                cell.maxY = std::max(cell.maxY, y[size_t(i)]);
            }
            cell.mass = last - first;
            cell.massX /= cell.mass;
            cell.massY /= cell.mass;
            cell.squaredSize = std::pow(std::max(cell.maxX - cell.minX, cell.maxY - cell.minY), 2);
            cells_[size_t(index)] = cell;
            return index;
        }
        // The two bits of this level pick the quarter; the run splits where they change.
        const int shift = 2 * (treeLevels - 1 - level);
        const auto begin = sortedKeys.begin();
        int from = first;
        bool any = false;
        for (uint32_t quarter = 0; quarter < 4; ++quarter) {
            const int to = (quarter == 3)
                               ? last
                               : int(std::partition_point(
                                         begin + from, begin + last,
                                         [&](uint32_t key) { return ((key >> shift) & 3) <= quarter; }) -
                                     begin);
            if (to > from) {
                const int child = build(from, to, level + 1);
                const Cell& c = cells_[size_t(child)];
                cell.children[quarter] = child;
                cell.massX += c.massX * c.mass;
                cell.massY += c.massY * c.mass;
                cell.mass += c.mass;
                cell.minX = any ? std::min(cell.minX, c.minX) : c.minX;
                cell.maxX = any ? std::max(cell.maxX, c.maxX) : c.maxX;
                cell.minY = any ? std::min(cell.minY, c.minY) : c.minY;
                cell.maxY = any ? std::max(cell.maxY, c.maxY) : c.maxY;
                any = true;
            }
            from = to;
        }
        cell.massX /= cell.mass;
        cell.massY /= cell.mass;
        cell.squaredSize = std::pow(std::max(cell.maxX - cell.minX, cell.maxY - cell.minY), 2);
        cell.leaf = false;
        cells_[size_t(index)] = cell;
        return index;
    }

    std::vector<Cell> cells_;
};

// What acts on the nodes of one leaf: nodes near it one by one (each a mass of 1), and far squares as
// one mass each at their centre. Held in single precision, as offsets from the leaf's centre: twice as
// many fit in a vector register, and the offsets of near nodes, which decide the force, keep their
// precision however far the leaf is from the origin.
struct Sources {
    std::vector<float> x, y, mass;
    double centreX = 0, centreY = 0;

    void resize(size_t count, double atX, double atY)
    {
        x.resize(count);
        y.resize(count);
        mass.resize(count);
        centreX = atX;
        centreY = atY;
    }
};

// A node's own place is among the near sources: it pushes itself not at all, as (dx, dy) is zero.
[[gnu::always_inline]] inline void pushFromSourcesWith(double xi, double yi, const Sources& sources,
                                                       double strength, double& outX, double& outY)
{
    float sumX = 0;
    float sumY = 0;
    const auto x = float(xi - sources.centreX);
    const auto y = float(yi - sources.centreY);
    const size_t count = sources.x.size();
    const float* __restrict sx = sources.x.data();
    const float* __restrict sy = sources.y.data();
    const float* __restrict m = sources.mass.data();
#pragma omp simd reduction(+ : sumX, sumY)
    for (size_t j = 0; j < count; ++j) {
        const float dx = x - sx[j];
        const float dy = y - sy[j];
        const float s = std::max(dx * dx + dy * dy, float(smallestSquaredDistance));
        const float k = m[j] / (s * std::sqrt(s));
        sumX += dx * k;
        sumY += dy * k;
    }
    outX = strength * double(sumX);
    outY = strength * double(sumY);
}

void pushFromSourcesPortable(double xi, double yi, const Sources& sources, double strength, double& outX,
                             double& outY)
{
    pushFromSourcesWith(xi, yi, sources, strength, outX, outY);
}

#if defined(__x86_64__)
__attribute__((target("avx2"))) void pushFromSourcesAvx2(double xi, double yi, const Sources& sources,
                                                         double strength, double& outX, double& outY)
{
    pushFromSourcesWith(xi, yi, sources, strength, outX, outY);
}

__attribute__((target("avx512f"))) void pushFromSourcesAvx512(double xi, double yi, const Sources& sources,
                                                              double strength, double& outX, double& outY)
{
    pushFromSourcesWith(xi, yi, sources, strength, outX, outY);
}
#endif

// The path is chosen once per walk, not once per node.
using PushFromSources = void (*)(double, double, const Sources&, double, double&, double&);

PushFromSources pushFromSourcesPath()
{
#if defined(__x86_64__)
    switch (vectorUnits()) {
    case VectorUnits::avx512:
        return pushFromSourcesAvx512;
    case VectorUnits::avx2:
        return pushFromSourcesAvx2;
    case VectorUnits::portable:
        break;
    }
#endif
    return pushFromSourcesPortable;
}

// Walks the tree down from the root, carrying what acts on the nodes below the square it stands on:
// a square far enough from the whole square walked acts on all its nodes as one mass and is not looked
// at again further down; one still too near is carried down (or opened, when it is not the smaller of
// the two), until, at a leaf, the nearest act node by node. So the squares near the top are weighed
// once for many leaves instead of once for each. Each of `parts` walkers takes its share of the
// subtrees `splitDepth` levels down and adds the pushes on their nodes to the field's forces.
class TreeWalk {
public:
    TreeWalk(const Quadtree& tree, double openingAngle, double strength, RepulsionField& field)
        : m_tree(tree)
        , m_cells(tree.cells())
        , m_opening(openingAngle * openingAngle)
        , m_strength(strength)
        , m_field(field)
    {
    }

    void run(int part, int parts, int splitDepth)
    {
        m_part = part;
        m_parts = parts;
        m_splitDepth = splitDepth;
        m_unit = 0;
        m_candidates.assign(1, 0);
        visit(0, 0, 0, 1);
    }

private:
    // From the square's centre of mass to the nearest point of the box, against its size.
    bool farEnough(const Cell& square, const Cell& box) const
    {
        const double dx = std::max({box.minX - square.massX, 0.0, square.massX - box.maxX});
        const double dy = std::max({box.minY - square.massY, 0.0, square.massY - box.maxY});
        return square.squaredSize < m_opening * (dx * dx + dy * dy);
    }

    void visit(int index, int depth, size_t begin, size_t end)
    {
        const Cell& square = m_cells[size_t(index)];
        if (depth <= m_splitDepth && (depth == m_splitDepth || square.leaf) && m_unit++ % m_parts != m_part)
            return;
        const size_t farMark = m_farX.size();
        const size_t kept = m_candidates.size();
        m_pending.assign(m_candidates.begin() + std::ptrdiff_t(begin),
                         m_candidates.begin() + std::ptrdiff_t(end));
        while (!m_pending.empty()) {
            const int other = m_pending.back();
            m_pending.pop_back();
            const Cell& cell = m_cells[size_t(other)];
            if (farEnough(cell, square)) {
                m_farX.push_back(cell.massX);
                m_farY.push_back(cell.massY);
                m_farMass.push_back(cell.mass);
            } else if (!cell.leaf && (square.leaf || cell.squaredSize >= square.squaredSize)) {
                for (const int child : cell.children)
                    if (child >= 0)
                        m_pending.push_back(child);
            } else {
                m_candidates.push_back(other);
            }
        }
        const size_t keptEnd = m_candidates.size();
        if (square.leaf) {
            pushOn(square, kept, keptEnd);
        } else {
            for (const int child : square.children) {
                if (child >= 0) {
                    visit(child, depth + 1, kept, keptEnd);
                    m_candidates.resize(keptEnd);
                }
            }
        }
        m_candidates.resize(kept);
        m_farX.resize(farMark);
        m_farY.resize(farMark);
        m_farMass.resize(farMark);
    }

    // The leaf's nodes feel the far squares carried down and, one by one, the nodes of the leaves
    // still near (their own among them).
    void pushOn(const Cell& leaf, size_t begin, size_t end)
    {
        const double centreX = (leaf.minX + leaf.maxX) / 2;
        const double centreY = (leaf.minY + leaf.maxY) / 2;
        size_t count = m_farX.size();
        for (size_t c = begin; c < end; ++c) {
            const Cell& near = m_cells[size_t(m_candidates[c])];
            count += size_t(near.last - near.first);
        }
        m_sources.resize(count, centreX, centreY);
        float* x = m_sources.x.data();
        float* y = m_sources.y.data();
        float* mass = m_sources.mass.data();
        for (size_t i = 0; i < m_farX.size(); ++i) {
            x[i] = float(m_farX[i] - centreX);
            y[i] = float(m_farY[i] - centreY);
            mass[i] = float(m_farMass[i]);
        }
        size_t at = m_farX.size();
        for (size_t c = begin; c < end; ++c) {
            const Cell& near = m_cells[size_t(m_candidates[c])];
            for (auto i = size_t(near.first); i < size_t(near.last); ++i, ++at) {
                x[at] = float(m_tree.x[i] - centreX);
                y[at] = float(m_tree.y[i] - centreY);
                mass[at] = 1;
            }
        }
        for (int i = leaf.first; i < leaf.last; ++i) {
            double px = 0;
            double py = 0;
            m_push(m_tree.x[size_t(i)], m_tree.y[size_t(i)], m_sources, m_strength, px, py);
            const auto node = size_t(m_tree.order[size_t(i)]);
            m_field.fx[node] += px;
            m_field.fy[node] += py;
        }
    }

    const Quadtree& m_tree;
    const std::vector<Cell>& m_cells;
    double m_opening;
    double m_strength;
    RepulsionField& m_field;
    int m_part = 0, m_parts = 1, m_splitDepth = 0, m_unit = 0;
    std::vector<int> m_candidates, m_pending;
    std::vector<double> m_farX, m_farY, m_farMass;
    Sources m_sources;
    PushFromSources m_push = pushFromSourcesPath();
};

// The least depth at which the tree offers at least `units` subtrees (leaves above it count as one each).
int depthWithSubtrees(const std::vector<Cell>& cells, size_t units)
{
    std::vector<int> level{0};
    size_t leavesAbove = 0;
    int depth = 0;
    while (level.size() + leavesAbove < units && depth < treeLevels) {
        std::vector<int> next;
        for (const int index : level) {
            const Cell& cell = cells[size_t(index)];
            if (cell.leaf) {
                ++leavesAbove;
                continue;
            }
            for (const int child : cell.children)
                if (child >= 0)
                    next.push_back(child);
        }
        if (next.empty())
            break;
        level = std::move(next);
        ++depth;
    }
    return depth;
}

} // namespace

// A large graph's pairs are shared out in bands of rows holding about as many pairs each; every band
// sums into forces of its own, added up at the end, so only the grouping of additions changes.
void repelAllPairs(RepulsionField& field, double strength, GraphWorkPool* pool)
{
    const size_t n = field.size();
    const size_t bands = n < sharedRepulsionNodes ? 1 : size_t(parallelParts(pool));
    const double* x = field.x.data();
    const double* y = field.y.data();
    if (bands == 1)
        return repelRows(x, y, n, 0, n, strength, field.fx.data(), field.fy.data());
    // Row i holds n - 1 - i pairs: the band edges split the triangle into equal areas.
    std::vector<size_t> edges(bands + 1, n);
    for (size_t b = 0; b < bands; ++b)
        edges[b] = size_t(double(n) * (1 - std::sqrt(1 - double(b) / double(bands))));
    std::vector<std::vector<double>> forces(bands - 1, std::vector<double>(2 * n, 0.0));
    inParallel(pool, int(bands), [&](int band) {
        const auto b = size_t(band);
        if (b == 0)
            return repelRows(x, y, n, edges[0], edges[1], strength, field.fx.data(), field.fy.data());
        auto& own = forces[b - 1];
        repelRows(x, y, n, edges[b], edges[b + 1], strength, own.data(), own.data() + n);
    });
    for (const auto& own : forces) {
        for (size_t i = 0; i < n; ++i) {
            field.fx[i] += own[i];
            field.fy[i] += own[n + i];
        }
    }
}

void repelByQuadtree(RepulsionField& field, double strength, double openingAngle, GraphWorkPool* pool)
{
    if (field.size() < 2)
        return;
    const Quadtree tree(field);
    const int parts = field.size() < sharedRepulsionNodes ? 1 : parallelParts(pool);
    // Several subtrees for each part: they differ in cost.
    const int splitDepth = parts == 1 ? 0 : depthWithSubtrees(tree.cells(), size_t(8 * parts));
    inParallel(pool, parts,
               [&](int part) { TreeWalk(tree, openingAngle, strength, field).run(part, parts, splitDepth); });
}

} // namespace morvane
