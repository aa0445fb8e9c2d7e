// The library's own way from a world, or a material's world, to its state.
#pragma once

#include "sph/sph.h"

namespace sph_detail {

struct TStateAccess {
    static TWorldState& Of(TSPH& world) { return world; }
    static const TWorldState& Of(const TSPH& world) { return world; }
};

inline TWorldState& StateOf(TSPH& world) { return TStateAccess::Of(world); }
inline const TWorldState& StateOf(const TSPH& world) { return TStateAccess::Of(world); }

}  // namespace sph_detail
