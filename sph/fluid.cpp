// Liquids: the fluid material, its settings and its block builder. The
// fluid phases of the step are in fluid_phases.cpp.
#include "sph/fluid.h"

#include <cmath>
#include <memory>
#include <numbers>
#include <utility>

#include "sph/detail/lattice.h"
#include "sph/particle.h"
#include "sph/sph.h"

namespace {

constexpr double H = TSPH::SMOOTHING_LENGTH;
constexpr double H3 = H * H * H;
constexpr double H6 = H3 * H3;
constexpr double H9 = H6 * H3;

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
