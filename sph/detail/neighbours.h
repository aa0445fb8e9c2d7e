// The neighbour walk shared by the solvers: the nine cells around a
// particle's home cell, in a fixed order that fixes the order of the sums,
// and the chains within a cell. The pushes they find are in pushes.h.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>

#include "sph/detail/cell_list.h"
#include "sph/sph.h"

namespace sph_detail {

// Offsets (column, row) from the home cell; the home cell comes last.
inline constexpr int NEIGHBOUR_OFFSETS[9][2] = {{-1, -1}, {-1, +1}, {+1, -1}, {+1, +1}, {-1, 0},
                                                {+1, 0},  {0, -1},  {0, +1},  {0, 0}};

// A cell coordinate, kept within [-2, limit + 1] before the conversion so that
// far-away, infinite or NaN positions map to a cell outside the grid.
inline int ClampedCell(double v, std::int32_t limit) {
    if (!(v > -2.0)) return -2;
    if (v > static_cast<double>(limit) + 1.0) return limit + 1;
    return static_cast<int>(v);  // truncation toward zero
}

// Where a position lies on the grid, in cell widths, and its home cell. The
// home cell is found by truncation toward zero of the double-precision
// product, so a particle just left of 0 scans from column 0.
struct THomeCell {
    double U, V;
    int Column, Row;
};

inline THomeCell HomeCellOf(const TSPH& world, float x, float y) {
    const double u = static_cast<double>(x) * TSPH::INV_SMOOTHING_LENGTH;
    const double v = static_cast<double>(y) * TSPH::INV_SMOOTHING_LENGTH;
    return {u, v, ClampedCell(u, world.GridWidth), ClampedCell(v, world.GridHeight)};
}

// The cells of the nine around a home cell that lie inside the grid and
// come within √reachSq cell widths of the position: bit k for
// NEIGHBOUR_OFFSETS[k].
[[gnu::always_inline]] inline unsigned NearNeighbourCells(const TSPH& world, const THomeCell& home, double reachSq) {
    const auto [u, v, hc, hr] = home;
    // The squared gap, in cell widths, between the position and the columns
    // and rows on either side: a particle's cell is the floor of the same
    // product, so none of theirs lies nearer. A NaN gap counts as none, but
    // a NaN position has its home cell outside the grid, so no cell is near.
    auto squared = [](double d) { return d > 0 ? d * d : 0.0; };
    const double gapX[3] = {squared(u - hc), 0.0, squared(hc + 1 - u)};
    const double gapY[3] = {squared(v - hr), 0.0, squared(hr + 1 - v)};
    unsigned cells = 0;
    for (int k = 0; k < 9; ++k) {
        const int dc = NEIGHBOUR_OFFSETS[k][0];
        const int dr = NEIGHBOUR_OFFSETS[k][1];
        const int c = hc + dc;
        const int r = hr + dr;
        const bool inside = (c >= 0) & (c < world.GridWidth) & (r >= 0) & (r < world.GridHeight);
        const bool near = gapX[dc + 1] + gapY[dr + 1] <= reachSq;
        cells |= static_cast<unsigned>(inside & near) << k;
    }
    return cells;
}

// Where the nine cells around a home cell lie in the grid's numbering of
// cells (column by column): the steps from the home cell to each, in the
// order of NEIGHBOUR_OFFSETS. A walk of many particles makes them once.
struct TCellSteps {
    std::ptrdiff_t Height;
    std::array<std::ptrdiff_t, 9> Of;

    explicit TCellSteps(const TSPH& world) : Height(world.GridHeight) {
        for (std::size_t k = 0; k < Of.size(); ++k) Of[k] = NEIGHBOUR_OFFSETS[k][0] * Height + NEIGHBOUR_OFFSETS[k][1];
    }
};

// Calls visit(cell index, column) for each cell of `cells` (bits as
// NearNeighbourCells gives them), in the fixed order. Always inlined, so
// that code compiled for other instructions than this header's (the walks
// for AVX2) inlines `visit` too.
template <class Visit>
[[gnu::always_inline]] inline void ForEachOfCells(const TCellSteps& steps, const THomeCell& home, unsigned cells,
                                                  Visit&& visit) {
    const std::ptrdiff_t homeCell = home.Column * steps.Height + home.Row;
    for (; cells != 0; cells &= cells - 1) {
        const int k = __builtin_ctz(cells);
        visit(static_cast<std::size_t>(homeCell + steps.Of[static_cast<std::size_t>(k)]),
              home.Column + NEIGHBOUR_OFFSETS[k][0]);
    }
}

// What the fluid walks pass as reachSq: the cells that may hold a partner
// within h, or a wall or solid particle within the repulsion distance; a
// thousandth more, far above the rounding of the float distances.
inline double FluidWalkReachSq(const TSPH& world) {
    const double repulsion = static_cast<double>(world.RepulsiveDistance) * TSPH::INV_SMOOTHING_LENGTH;
    return 1.001 * std::max(1.0, repulsion * repulsion);
}

// Calls visit(cell index) for each of the nine cells around (x, y) inside the grid.
template <class Visit>
inline void ForEachNeighbourCell(const TSPH& world, float x, float y, Visit&& visit) {
    const THomeCell home = HomeCellOf(world, x, y);
    ForEachOfCells(TCellSteps(world), home, NearNeighbourCells(world, home, std::numeric_limits<double>::infinity()),
                   [&](std::size_t cell, int) { visit(cell); });
}

// Where a cell's particle q lies from (x, y): (dx, dy) points from q to
// (x, y), d2 is its squared length, and `Within` says whether q lies within
// √rangeSq, not at the very same place (which gives no direction).
struct TOffsetFrom {
    float Dx, Dy, D2;
    bool Within;
};

inline TOffsetFrom OffsetFrom(const TCellEntry& q, float x, float y, float rangeSq) {
    const float dx = x - q.X;
    const float dy = y - q.Y;
    const float d2 = dx * dx + dy * dy;
    return {dx, dy, d2, d2 > 0 && d2 < rangeSq};
}

// Calls visit(q, dx, dy, d2) for each particle q of a cell, in chain order,
// that lies within √rangeSq of (x, y), as OffsetFrom tells. Always inlined,
// as ForEachOfCells.
template <class Visit>
[[gnu::always_inline]] inline void ForEachWithin(const TCellList& cells, std::size_t cell, float x, float y,
                                                 float rangeSq, Visit&& visit) {
    const TCellEntry* end = cells.Entries.data() + cells.First[cell + 1];
    for (const TCellEntry* q = cells.Entries.data() + cells.First[cell]; q != end; ++q) {
        const TOffsetFrom o = OffsetFrom(*q, x, y, rangeSq);
        if (o.Within) visit(q->Particle, o.Dx, o.Dy, o.D2);
    }
}

// Whether ForEachWithin would visit any particle of the cell. Most cells
// asked lie beyond reach as a whole: the distance to the box round their
// particles, taken with the same float operations, is at most the distance
// to any of them (each operation rounds monotonically), so a box out of
// reach holds no particle within it.
inline bool AnyWithin(const TCellList& cells, std::size_t cell, float x, float y, float rangeSq) {
    const TCellBox& box = cells.Boxes[cell];
    const float dx = x < box.MinX ? box.MinX - x : (x > box.MaxX ? x - box.MaxX : 0.0f);
    const float dy = y < box.MinY ? box.MinY - y : (y > box.MaxY ? y - box.MaxY : 0.0f);
    if (!(dx * dx + dy * dy < rangeSq)) return false;
    const TCellEntry* begin = cells.Entries.data() + cells.First[cell];
    const TCellEntry* end = cells.Entries.data() + cells.First[cell + 1];
    return std::any_of(begin, end, [&](const TCellEntry& q) { return OffsetFrom(q, x, y, rangeSq).Within; });
}

// The same for pairs of one kind: only partners numbered below `id`, so that
// each pair is met once, from its higher-numbered particle.
template <class Visit>
inline void ForEachLowerNumberedWithin(const TCellList& cells, std::size_t cell, std::int32_t id, float x, float y,
                                       float rangeSq, Visit&& visit) {
    const TCellEntry* end = cells.Entries.data() + cells.First[cell + 1];
    for (const TCellEntry* q = cells.Entries.data() + cells.First[cell]; q != end; ++q) {
        if (q->ID >= id) continue;
        const TOffsetFrom o = OffsetFrom(*q, x, y, rangeSq);
        if (o.Within) visit(q->Particle, o.Dx, o.Dy, o.D2);
    }
}

}  // namespace sph_detail
