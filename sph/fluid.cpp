// Liquids: the fluid material and the four fluid phases of the step
// (weakly compressible SPH with an evolved density).
#include "sph/fluid.h"

#include <cmath>
#include <numbers>

#include "sph/neighbours.h"
#include "sph/lattice.h"
#include "sph/sph.h"

namespace {

constexpr double H = TSPH::SMOOTHING_LENGTH;
constexpr double H3 = H * H * H;
constexpr double H6 = H3 * H3;
constexpr double H9 = H6 * H3;

constexpr float VISCOSITY_SOFTENING = 20.0f;  // added to d² in the viscosity
constexpr float RESET_DENSITY_FACTOR = 1.05f;
constexpr float SOLID_SHARE = 0.5f;  // each side's share of the fluid–solid push
constexpr float MAX_SPEED_SQ = 4.0f;

// The forces of a pair of fluid particles p and q (q numbered lower), at
// (dx, dy) = p − q, 0 < d2 < h²: cohesion, pressure, viscosity and XSPH.
// Both particles are updated.
void AddFluidPairForces(TParticle& p, TParticle& q, float dx, float dy, float d2) {
    const float r = std::sqrt(d2);
    const float e = TSPH::SMOOTHING_LENGTH - r;
    const float k = TSPH::SMOOTHING_LENGTH_SQ - d2;
    const float w = TFluid::D_KERNEL_FACTOR * (k * k * k);  // poly6 kernel value

    // Cohesion within one fluid; each side scaled by the other's mass.
    if (q.Fluid == p.Fluid) {
        const float s = -p.Fluid->SurfaceTension * w;
        p.ForceX += s * q.Mass * dx;
        p.ForceY += s * q.Mass * dy;
        q.ForceX -= s * p.Mass * dx;
        q.ForceY -= s * p.Mass * dy;
    }

    float term = p.Pressure * p.InvDensitySq + q.Pressure * q.InvDensitySq;
    const float invMeanDensity = 2.0f / (p.Density + q.Density);
    const float vr = dx * (p.VelocityX - q.VelocityX) + dy * (p.VelocityY - q.VelocityY);
    if (vr < 0) {
        // Artificial viscosity for approaching pairs, with the coefficients
        // of the fluid of the lower-numbered particle for both.
        const TFluid& fluid = *q.Fluid;
        const float mu = TSPH::SMOOTHING_LENGTH * vr / (d2 + VISCOSITY_SOFTENING);
        term += (-fluid.V_Alpha * mu * (p.SoundSpeed + q.SoundSpeed) * 0.5f + fluid.V_Beta * mu * mu) * invMeanDensity;
    }

    // One vector for both sides, carrying q's mass on both.
    const float g = q.Mass * TFluid::P_KERNEL_FACTOR * e * e / r;
    const float fx = dx * term * g;
    const float fy = dy * term * g;
    p.ForceX -= fx;
    p.ForceY -= fy;
    q.ForceX += fx;
    q.ForceY += fy;

    // XSPH: nudge each velocity towards its neighbour's.
    const float xsph = TFluid::XSPH_EPSILON * w * invMeanDensity;
    const float relX = q.VelocityX - p.VelocityX;
    const float relY = q.VelocityY - p.VelocityY;
    p.DeltaVelocityX += q.Mass * xsph * relX;
    p.DeltaVelocityY += q.Mass * xsph * relY;
    q.DeltaVelocityX -= p.Mass * xsph * relX;
    q.DeltaVelocityY -= p.Mass * xsph * relY;
}

}  // namespace

const float TFluid::D_KERNEL_FACTOR = static_cast<float>(315.0 / (64.0 * std::numbers::pi * H9));
const float TFluid::P_KERNEL_FACTOR = static_cast<float>(-45.0 / (std::numbers::pi * H6));
const float TFluid::D_KERNEL_FACTOR_GRADIENT = static_cast<float>(-945.0 / (32.0 * std::numbers::pi * H9));

TFluid* TFluid::Create(TSPH* world) {
    auto fluid = std::make_unique<TFluid>();
    TFluid* raw = fluid.get();
    world->Adopt(std::move(fluid));
    raw->SetIntegrator(world);
    return raw;
}

TFluid::TFluid() {
    SetDamping(0.0015f);
    SetViscosity(5.0f, 10.0f);
    SetRestDensity(0.35f);
    SetPressureFactor(5.0f);
}

void TFluid::SetIntegrator(TSPH* world) {
    Integrator = world;
    world->AddFluid(this);
}

void TFluid::SetDamping(float d) { Damping = d; }
void TFluid::SetSurfaceTension(float s) { SurfaceTension = s; }

void TFluid::SetViscosity(float alpha, float beta) {
    V_Alpha = alpha;
    V_Beta = beta;
}

void TFluid::SetRestDensity(float rho) {
    RestDensity = rho;
    InvRestDensity = 1.0f / rho;
    MinDensity = rho * 0.85f;
    MaxDensity = rho * 1.15f;
}

void TFluid::SetPressureFactor(float b) { P_B = b; }

void TFluid::SetColor(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    ColorR = r;
    ColorG = g;
    ColorB = b;
}

void TFluid::GetColor(std::uint8_t& r, std::uint8_t& g, std::uint8_t& b) const {
    r = ColorR;
    g = ColorG;
    b = ColorB;
}

void TFluid::CreateRect(float x, float y, float width, float height, float vx, float vy) {
    TSPH* world = Integrator;
    const float x0 = x * world->InvWorldScale;
    const float y0 = y * world->InvWorldScale;
    const float w = width * world->InvWorldScale;
    const float h = height * world->InvWorldScale;
    using sph_detail::ForEachLatticeCoordinate;
    ForEachLatticeCoordinate(x0, static_cast<double>(x0) + w, LATTICE_SPACING, [&](float px) {
        ForEachLatticeCoordinate(y0, static_cast<double>(y0) + h, LATTICE_SPACING, [&](float py) {
            TParticle* p = TParticle::CreateFluidParticle(px * TSPH::UNIT_SCALE, py * TSPH::UNIT_SCALE, this);
            // Setting the old position behind gives the first step its motion.
            p->OldX -= vx;
            p->OldY -= vy;
            world->AddFluidParticle(p);
        });
    });
}

void TSPH::Fluid_Reset() {
    for (std::int32_t i = 0; i < FluidCount; ++i) {
        TParticle* p = FluidParticles[static_cast<std::size_t>(i)];
        p->ForceX = p->ForceY = 0;
        p->DeltaVelocityX = p->DeltaVelocityY = 0;
        p->DeltaDensity = 0;
    }
}

// The density is evolved, not summed: each pair adds the rate of change from
// its relative motion, and each particle then advances its own density and
// derives its mass, pressure and sound speed from it.
void TSPH::Fluid_UpdateDensity() {
    for (std::int32_t i = 0; i < FluidCount; ++i) {
        TParticle* p = FluidParticles[static_cast<std::size_t>(i)];
        const float px = p->PositionX, py = p->PositionY;
        const float pvx = p->VelocityX, pvy = p->VelocityY;
        const std::int32_t pid = p->ID;
        float rate = 0;
        sph_detail::ForEachNeighbourCell(*this, px, py, [&](std::size_t cell) {
            sph_detail::ForEachLowerNumberedWithin(
                FluidCells, cell, pid, px, py, SMOOTHING_LENGTH_SQ, [&](TParticle* q, float dx, float dy, float d2) {
                    const float r = std::sqrt(d2);
                    const float k = SMOOTHING_LENGTH_SQ - d2;
                    const float v = (dx * (pvx - q->VelocityX) + dy * (pvy - q->VelocityY)) / r;
                    const float rq = k * k * v;
                    rate += rq * q->Mass;
                    q->DeltaDensity += rq * p->Mass;
                });
        });
        p->DeltaDensity += rate;
    }

    for (std::int32_t i = 0; i < FluidCount; ++i) {
        TParticle* p = FluidParticles[static_cast<std::size_t>(i)];
        const TFluid* fluid = p->Fluid;
        float density = p->Density + p->DeltaDensity * TFluid::D_KERNEL_FACTOR_GRADIENT;
        // Outside the admissible band (or NaN) the density restarts just above rest.
        if (!(density >= fluid->MinDensity && density <= fluid->MaxDensity))
            density = fluid->RestDensity * RESET_DENSITY_FACTOR;
        p->Density = density;
        p->InvDensity = 1.0f / density;
        p->InvDensitySq = p->InvDensity * p->InvDensity;
        p->Mass = density * PARTICLE_AREA;
        p->InvMass = 1.0f / p->Mass;
        const double ratio = density * fluid->InvRestDensity;
        p->Pressure = static_cast<float>((fluid->P_B * density) * (std::pow(ratio, 7.0) - 1.0));
        p->SoundSpeed = std::sqrt(std::fabs(TFluid::HEAT_RATIO * p->Pressure * p->InvDensity));
    }
}

void TSPH::Fluid_CalcForces() {
    for (std::int32_t i = 0; i < FluidCount; ++i) {
        TParticle* p = FluidParticles[static_cast<std::size_t>(i)];
        const float px = p->PositionX, py = p->PositionY;
        const std::int32_t pid = p->ID;

        sph_detail::ForEachNeighbourCell(*this, px, py, [&](std::size_t cell) {
            sph_detail::ForEachLowerNumberedWithin(
                FluidCells, cell, pid, px, py, SMOOTHING_LENGTH_SQ,
                [&](TParticle* q, float dx, float dy, float d2) { AddFluidPairForces(*p, *q, dx, dy, d2); });

            PushOffWalls(*p, cell);

            // Liquid and elastic solids share the same push, half to each side.
            sph_detail::ForEachWithin(
                SolidCells, cell, px, py, RepulsiveDistSq, [&](TParticle* s, float dx, float dy, float d2) {
                    const float t = SOLID_SHARE * sph_detail::Repulsion(RepulsiveDistSq, RepulsiveD, d2);
                    p->ForceX += t * dx;
                    p->ForceY += t * dy;
                    s->ForceX -= t * dx;
                    s->ForceY -= t * dy;
                });
        });

        // Container edges: a velocity correction towards the inside, full
        // strength on the edge, none at the repulsion distance.
        const auto edges = sph_detail::DistancesToEdges(*this, px, py);
        if (edges.Right < RepulsiveDistance) p->DeltaVelocityX -= sph_detail::EdgePush(*this, edges.Right);
        if (edges.Bottom < RepulsiveDistance) p->DeltaVelocityY -= sph_detail::EdgePush(*this, edges.Bottom);
        if (edges.Left < RepulsiveDistance) p->DeltaVelocityX += sph_detail::EdgePush(*this, edges.Left);
        if (edges.Top < RepulsiveDistance) p->DeltaVelocityY += sph_detail::EdgePush(*this, edges.Top);

        p->ForceX += GravityX * p->Mass;
        p->ForceY += GravityY * p->Mass;
    }
}

// Damped position Verlet, clamped into the container, with a speed limit.
void TSPH::Fluid_Integrate() {
    for (std::int32_t i = 0; i < FluidCount; ++i) {
        TParticle* p = FluidParticles[static_cast<std::size_t>(i)];
        const float keep = 1.0f - p->Fluid->Damping;
        const float x0 = p->PositionX;
        const float y0 = p->PositionY;
        float x = x0 + (keep * (x0 - p->OldX) + p->DeltaVelocityX * Timestep + TimestepSq * p->ForceX * p->InvMass);
        float y = y0 + (keep * (y0 - p->OldY) + p->DeltaVelocityY * Timestep + TimestepSq * p->ForceY * p->InvMass);
        x = std::max(std::min(x, ContainerWidth), 0.0f);
        y = std::max(std::min(y, ContainerHeight), 0.0f);
        p->OldX = x0;
        p->OldY = y0;
        float vx = (x - x0) * InvTimestep;
        float vy = (y - y0) * InvTimestep;
        const float speedSq = vx * vx + vy * vy;
        if (speedSq > MAX_SPEED_SQ) {
            const float k = std::sqrt(MAX_SPEED_SQ / speedSq);
            vx *= k;
            vy *= k;
            x = x0 + vx * Timestep;
            y = y0 + vy * Timestep;
        }
        p->VelocityX = vx;
        p->VelocityY = vy;
        p->PositionX = x;
        p->PositionY = y;
        p->ScreenX = x * INV_UNIT_SCALE * WorldScale;
        p->ScreenY = y * INV_UNIT_SCALE * WorldScale;
    }
}
