// The lattice walk of the rectangle builders (walls, liquid blocks, solid
// blocks, rigid boxes), and the checks each makes before it lays anything.
#pragma once

#include <cstdint>

#include "sph/detail/checks.h"

class TSPH;

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

// A builder's rectangle, given in screen pixels, in scene pixels.
struct TSceneRect {
    float X, Y, Width, Height;
};

// The rectangle in scene pixels, refused unless its numbers and its corners
// in simulation units are finite and within MAX_MAGNITUDE; the world must
// not be null.
TSceneRect SceneRect(const TCheck& check, const TSPH* world, float x, float y, float width, float height);

// How many particles a lattice of `spacing` (scene pixels) lays over the
// rectangle, walked as ForEachLatticeCoordinate walks it; refused past
// TSPH::MAX_BLOCK_PARTICLES, counted without allocating.
std::int32_t LatticeCount(const TCheck& check, const TSceneRect& rect, float spacing);

}  // namespace sph_detail
