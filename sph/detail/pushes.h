// The pushes particles and edges exert: the repulsion between particles, the
// walls' and the solids' share of it on the liquid, and the container edges'.
// Every solver takes them from here, so that a push is written once.
#pragma once

#include <cmath>

#include "sph/sph.h"

namespace sph_detail {

// The repulsion of exponents 4 and 2 between particles at squared distance
// d2 < rangeSq: the push is the returned factor times (dx, dy). It is 0 at
// the range and grows as the distance shrinks, up to MAX_PUSH either way: for
// pairs all but on top of each other it would pass the largest float, and
// infinity times an offset of 0 is not a number. Far below the bound for any
// pair a step brings so close in practice.
inline constexpr float MAX_PUSH = 1e26f;

inline float Repulsion(float rangeSq, float strength, float d2) {
    const float u = rangeSq / d2;
    const float t = strength * (u * u - u) / d2;
    if (std::fabs(t) <= MAX_PUSH) [[likely]]
        return t;
    return strength > 0 ? MAX_PUSH : strength < 0 ? -MAX_PUSH : 0.0f;
}

inline constexpr float SOLID_SHARE = 0.5f;  // each side's share of the fluid–solid push

// The push factor of a wall particle at squared distance d2 within the
// world's repulsion distance: the wall feels nothing back.
inline float WallPush(const TWorldState& world, float d2) {
    return Repulsion(world.RepulsiveDistSq, world.RepulsiveD, d2);
}

// The push factor between a liquid and a solid particle at squared distance
// d2 within the repulsion distance: each takes its share, in opposite ways.
inline float SolidPush(const TWorldState& world, float d2) {
    return SOLID_SHARE * Repulsion(world.RepulsiveDistSq, world.RepulsiveD, d2);
}

// The distance from a position to the container's four edges, each at least 0.
struct EdgeDistances {
    float Right, Bottom, Left, Top;
};

inline EdgeDistances DistancesToEdges(const TWorldState& world, float x, float y) {
    auto nonNegative = [](float v) { return v > 0 ? v : 0.0f; };
    return {nonNegative(world.ContainerWidth - x), nonNegative(world.ContainerHeight - y), nonNegative(x),
            nonNegative(y)};
}

// The push of a container edge at distance d (taken as at least 0): full
// strength 1 on the edge, falling to 0 at the repulsion distance.
inline float EdgePush(const TWorldState& world, float d) { return 1.0f - std::sqrt(d * world.InvRepulsiveDistance); }

// Adds to (ax, ay) the pushes of the container edges nearer to (x, y) than
// the repulsion distance (or at it too, with atRangeToo), each times
// `strength`: right, bottom, left, top, in that order, which fixes the
// order of the sums. A strength of 1 leaves each push as EdgePush gives it.
inline void PushOffEdges(const TWorldState& world, float x, float y, float strength, bool atRangeToo, float& ax,
                         float& ay) {
    const float range = world.RepulsiveDistance;
    auto near = [&](float d) { return atRangeToo ? d <= range : d < range; };
    const EdgeDistances edges = DistancesToEdges(world, x, y);
    if (near(edges.Right)) ax -= strength * EdgePush(world, edges.Right);
    if (near(edges.Bottom)) ay -= strength * EdgePush(world, edges.Bottom);
    if (near(edges.Left)) ax += strength * EdgePush(world, edges.Left);
    if (near(edges.Top)) ay += strength * EdgePush(world, edges.Top);
}

}  // namespace sph_detail
