// The library's own way from a world, a material or a body to its state,
// which a program that uses the library reads through getters alone.
#pragma once

#include "sph/fluid.h"
#include "sph/rigid.h"
#include "sph/solid.h"
#include "sph/sph.h"

namespace sph_detail {

struct TStateAccess {
    static TWorldState& Of(TSPH& world) { return world; }
    static const TWorldState& Of(const TSPH& world) { return world; }
    static TBodyState& Of(TRigid& body) { return body; }
    static const TBodyState& Of(const TRigid& body) { return body; }
    static TFluidState& Of(TFluid& fluid) { return fluid; }
    static const TFluidState& Of(const TFluid& fluid) { return fluid; }
    static TSolidState& Of(TSolid& solid) { return solid; }
    static const TSolidState& Of(const TSolid& solid) { return solid; }
};

inline TWorldState& StateOf(TSPH& world) { return TStateAccess::Of(world); }
inline const TWorldState& StateOf(const TSPH& world) { return TStateAccess::Of(world); }
inline TBodyState& StateOf(TRigid& body) { return TStateAccess::Of(body); }
inline const TBodyState& StateOf(const TRigid& body) { return TStateAccess::Of(body); }
inline TFluidState& StateOf(TFluid& fluid) { return TStateAccess::Of(fluid); }
inline const TFluidState& StateOf(const TFluid& fluid) { return TStateAccess::Of(fluid); }
inline TSolidState& StateOf(TSolid& solid) { return TStateAccess::Of(solid); }
inline const TSolidState& StateOf(const TSolid& solid) { return TStateAccess::Of(solid); }

}  // namespace sph_detail
