// The neighbour walk shared by the solvers: the nine cells around a
// particle's home cell, in a fixed order that fixes the order of the sums,
// and the chains within a cell. The pushes they find are in pushes.h.
#pragma once

#include <cstddef>
#include <cstdint>

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

inline THomeCell HomeCellOf(const TWorldState& world, float x, float y) {
    const double u = static_cast<double>(x) * TSPH::INV_SMOOTHING_LENGTH;
    const double v = static_cast<double>(y) * TSPH::INV_SMOOTHING_LENGTH;
    return {u, v, ClampedCell(u, world.GridWidth), ClampedCell(v, world.GridHeight)};
}

// Calls visit(cell index) for each of the nine cells around (x, y) inside
// the grid, in the order of NEIGHBOUR_OFFSETS. Always inlined, so that
// `visit` is inlined too.
template <class Visit>
[[gnu::always_inline]] inline void ForEachNeighbourCell(const TWorldState& world, float x, float y, Visit&& visit) {
    const THomeCell home = HomeCellOf(world, x, y);
    for (const auto& [dc, dr] : NEIGHBOUR_OFFSETS) {
        const int c = home.Column + dc, r = home.Row + dr;
        if (c >= 0 && c < world.GridWidth && r >= 0 && r < world.GridHeight)
            visit(static_cast<std::size_t>(c) * static_cast<std::size_t>(world.GridHeight) +
                  static_cast<std::size_t>(r));
    }
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

// Whether the box round a cell's particles comes within √rangeSq of (x, y).
// The distance to the box, taken with the same float operations as
// OffsetFrom, is at most the distance to any of them (each operation rounds
// monotonically), so a box out of reach holds no particle within it.
inline bool BoxWithin(const TCellList& cells, std::size_t cell, float x, float y, float rangeSq) {
    const TCellBox& box = cells.Boxes[cell];
    const float dx = x < box.MinX ? box.MinX - x : (x > box.MaxX ? x - box.MaxX : 0.0f);
    const float dy = y < box.MinY ? box.MinY - y : (y > box.MaxY ? y - box.MaxY : 0.0f);
    return dx * dx + dy * dy < rangeSq;
}

// Calls visit(q, dx, dy, d2) for each particle q of a cell, in chain order,
// that lies within √rangeSq of (x, y), as OffsetFrom tells. Always inlined,
// as ForEachOfCells.
template <class Visit>
[[gnu::always_inline]] inline void ForEachWithin(const TCellList& cells, std::size_t cell, float x, float y,
                                                 float rangeSq, Visit&& visit) {
    if (!BoxWithin(cells, cell, x, y, rangeSq)) return;
    const TCellEntry* end = cells.Entries.data() + cells.First[cell + 1];
    for (const TCellEntry* q = cells.Entries.data() + cells.First[cell]; q != end; ++q) {
        const TOffsetFrom o = OffsetFrom(*q, x, y, rangeSq);
        if (o.Within) visit(q->Particle, o.Dx, o.Dy, o.D2);
    }
}

// The same for pairs of one kind: only partners numbered below `id`, so that
// each pair is met once, from its higher-numbered particle.
template <class Visit>
inline void ForEachLowerNumberedWithin(const TCellList& cells, std::size_t cell, std::int32_t id, float x, float y,
                                       float rangeSq, Visit&& visit) {
    if (!BoxWithin(cells, cell, x, y, rangeSq)) return;
    const TCellEntry* end = cells.Entries.data() + cells.First[cell + 1];
    for (const TCellEntry* q = cells.Entries.data() + cells.First[cell]; q != end; ++q) {
        if (q->ID >= id) continue;
        const TOffsetFrom o = OffsetFrom(*q, x, y, rangeSq);
        if (o.Within) visit(q->Particle, o.Dx, o.Dy, o.D2);
    }
}

}  // namespace sph_detail
