// The particle factories without their checks, for the builders, which check
// a whole block and take its numbers before they make the first particle.
#pragma once

#include <cstdint>

class TSPH;
class TFluid;
class TSolid;
class TRigid;
struct TParticle;

namespace sph_detail {

TParticle* MakeFluidParticle(float x, float y, TFluid* fluid, std::int32_t id);
TParticle* MakeSolidParticle(float x, float y, TSolid* solid, std::int32_t id);
TParticle* MakeRigidParticle(float x, float y, float mass, TRigid* rigid, std::int32_t id);
TParticle* MakeBoundaryParticle(TSPH* world, float x, float y, std::int32_t id);

}  // namespace sph_detail
