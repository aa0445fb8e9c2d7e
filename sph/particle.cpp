#include "sph/particle.h"

#include <limits>
#include <string>

#include "sph/detail/checks.h"
#include "sph/detail/particle_factory.h"
#include "sph/detail/state_access.h"
#include "sph/fluid.h"
#include "sph/rigid.h"
#include "sph/solid.h"
#include "sph/sph.h"

std::int32_t TParticleNumbering::Take(std::int32_t count, const char* call) {
    constexpr std::int32_t END = std::numeric_limits<std::int32_t>::max();
    std::int32_t first = NextNumber.load(std::memory_order_relaxed);
    do {
        if (count < 0 || count > END - first)
            sph_detail::TCheck(call).Fail("the particle numbers are used up (" + std::to_string(first) + " made, " +
                                          std::to_string(count) + " more asked for)");
    } while (!NextNumber.compare_exchange_weak(first, first + count, std::memory_order_relaxed));
    return first;
}

namespace sph_detail {

namespace {

// Allocates in the world's arena, numbers the particle and places it.
TParticle* MakeParticle(TSPH* world, float x, float y, std::int32_t id) {
    TWorldState& state = StateOf(*world);
    TParticle* p = state.NewParticle();
    p->PositionX = x;
    p->PositionY = y;
    p->ScreenX = x * TSPH::INV_UNIT_SCALE * state.WorldScale;
    p->ScreenY = y * TSPH::INV_UNIT_SCALE * state.WorldScale;
    p->ID = id;
    return p;
}

}  // namespace

TParticle* MakeFluidParticle(float x, float y, TFluid* fluid, std::int32_t id) {
    TParticle* p = MakeParticle(fluid->GetWorld(), x, y, id);
    p->Fluid = fluid;
    p->OldX = x;
    p->OldY = y;
    p->Density = fluid->GetRestDensity();
    p->Mass = TSPH::PARTICLE_AREA * fluid->GetRestDensity();
    fluid->GetColor(p->ColorR, p->ColorG, p->ColorB);
    return p;
}

TParticle* MakeSolidParticle(float x, float y, TSolid* solid, std::int32_t id) {
    TParticle* p = MakeParticle(solid->GetWorld(), x, y, id);
    p->Solid = solid;
    p->OldX = x;
    p->OldY = y;
    solid->GetColor(p->ColorR, p->ColorG, p->ColorB);
    return p;
}

TParticle* MakeRigidParticle(float x, float y, float mass, TRigid* rigid, std::int32_t id) {
    TParticle* p = MakeParticle(rigid->GetWorld(), x, y, id);
    p->Rigid = rigid;
    p->Mass = mass;
    rigid->GetColor(p->ColorR, p->ColorG, p->ColorB);
    return p;
}

TParticle* MakeBoundaryParticle(TSPH* world, float x, float y, std::int32_t id) {
    TParticle* p = MakeParticle(world, x, y, id);
    p->ColorR = 255;
    p->ColorG = 128;
    p->ColorB = 128;
    return p;
}

}  // namespace sph_detail

namespace {

// A factory's material must be one that its Create made (so it names its world).
template <class Material>
TSPH* WorldOf(const sph_detail::TCheck& check, const Material* material) {
    check.NotNull("the material", material);
    return check.NotNull("the material's world", material->GetWorld());
}

// Everything is checked before the number is taken: after it, only the
// allocation can fail.
void CheckPlace(const sph_detail::TCheck& check, float x, float y) {
    check.Finite("x", x);
    check.Finite("y", y);
}

}  // namespace

const TParticle* TParticle::CreateFluidParticle(float x, float y, TFluid* fluid) {
    const sph_detail::TCheck check("TParticle::CreateFluidParticle");
    TSPH* world = WorldOf(check, fluid);
    CheckPlace(check, x, y);
    return sph_detail::MakeFluidParticle(x, y, fluid, world->Numbering().Take(1, "TParticle::CreateFluidParticle"));
}

const TParticle* TParticle::CreateSolidParticle(float x, float y, TSolid* solid) {
    const sph_detail::TCheck check("TParticle::CreateSolidParticle");
    TSPH* world = WorldOf(check, solid);
    CheckPlace(check, x, y);
    return sph_detail::MakeSolidParticle(x, y, solid, world->Numbering().Take(1, "TParticle::CreateSolidParticle"));
}

const TParticle* TParticle::CreateRigidParticle(float x, float y, float mass, TRigid* rigid) {
    const sph_detail::TCheck check("TParticle::CreateRigidParticle");
    TSPH* world = WorldOf(check, rigid);
    CheckPlace(check, x, y);
    if (mass != 0) check.Positive("the mass", mass);
    return sph_detail::MakeRigidParticle(x, y, mass, rigid,
                                         world->Numbering().Take(1, "TParticle::CreateRigidParticle"));
}

const TParticle* TParticle::CreateBoundaryParticle(TSPH* world, float x, float y) {
    const sph_detail::TCheck check("TParticle::CreateBoundaryParticle");
    check.NotNull("the world", world);
    CheckPlace(check, x, y);
    return sph_detail::MakeBoundaryParticle(world, x, y,
                                            world->Numbering().Take(1, "TParticle::CreateBoundaryParticle"));
}
