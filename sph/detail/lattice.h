// The lattice walk of the rectangle builders (walls, liquid blocks, rigid boxes).
#pragma once

namespace sph_detail {

// Calls step(v) for v = start, start + spacing, … while v ≤ end. The counter is
// a single-precision float advanced by single-precision additions and compared
// with the double-precision end, so a far edge is included only when the
// rounded sums reach it. A counter too large to advance stops the walk.
template <class Step>
inline void ForEachLatticeCoordinate(float start, double end, float spacing, Step&& step) {
    for (float v = start; v <= end;) {
        step(v);
        const float next = v + spacing;
        if (next == v) break;
        v = next;
    }
}

}  // namespace sph_detail
