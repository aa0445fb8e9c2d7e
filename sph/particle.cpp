#include "sph/particle.h"

#include "sph/fluid.h"
#include "sph/rigid.h"
#include "sph/solid.h"
#include "sph/sph.h"

std::int32_t NextID = 0;

namespace {

// Allocates in the world's arena, numbers the particle and places it.
TParticle* MakeParticle(TSPH* world, float x, float y) {
    TParticle* p = world->NewParticle();
    p->PositionX = x;
    p->PositionY = y;
    p->ScreenX = x * TSPH::INV_UNIT_SCALE * world->WorldScale;
    p->ScreenY = y * TSPH::INV_UNIT_SCALE * world->WorldScale;
    p->ID = NextID++;
    return p;
}

}  // namespace

TParticle* TParticle::CreateFluidParticle(float x, float y, TFluid* fluid) {
    TParticle* p = MakeParticle(fluid->Integrator, x, y);
    p->Fluid = fluid;
    p->OldX = x;
    p->OldY = y;
    p->Density = fluid->RestDensity;
    p->Mass = TSPH::PARTICLE_AREA * fluid->RestDensity;
    fluid->GetColor(p->ColorR, p->ColorG, p->ColorB);
    return p;
}

TParticle* TParticle::CreateSolidParticle(float x, float y, TSolid* solid) {
    TParticle* p = MakeParticle(solid->Integrator, x, y);
    p->Solid = solid;
    p->OldX = x;
    p->OldY = y;
    solid->GetColor(p->ColorR, p->ColorG, p->ColorB);
    return p;
}

TParticle* TParticle::CreateRigidParticle(float x, float y, float mass, TRigid* rigid) {
    TParticle* p = MakeParticle(rigid->Integrator, x, y);
    p->Rigid = rigid;
    p->Mass = mass;
    rigid->GetColor(p->ColorR, p->ColorG, p->ColorB);
    return p;
}

TParticle* TParticle::CreateBoundaryParticle(TSPH* world, float x, float y) {
    TParticle* p = MakeParticle(world, x, y);
    p->ColorR = 255;
    p->ColorG = 128;
    p->ColorB = 128;
    return p;
}
