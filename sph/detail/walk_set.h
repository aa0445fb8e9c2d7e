// The four walks of one instruction set, as the fluid passes take them.
// Part of the walks: internal to each file that compiles them (walker.h).
#pragma once

#include "sph/detail/density_walk.h"
#include "sph/detail/fluid_walks.h"
#include "sph/detail/force_walk.h"

namespace sph_detail {
namespace {

template <class W>
constexpr TWalks WalksOf() {
    return {{DensityWalk<W, false>, DensityWalk<W, true>}, {ForceWalk<W, false>, ForceWalk<W, true>}};
}

}  // namespace
}  // namespace sph_detail
