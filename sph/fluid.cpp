// Liquids: the fluid material, its settings and its block builder. The
// fluid phases of the step are in fluid_phases.cpp.
#include "sph/fluid.h"

#include <cmath>
#include <memory>
#include <numbers>
#include <utility>

#include "sph/detail/checks.h"
#include "sph/detail/lattice.h"
#include "sph/detail/particle_factory.h"
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

std::shared_ptr<TFluid> TFluid::Create(TSPH* world) {
    sph_detail::TCheck("TFluid::Create").NotNull("the world", world);
    return sph_detail::JoinWorld(world, std::shared_ptr<TFluid>(new TFluid()), world->OwnedFluids, world->Fluids);
}

TFluid::TFluid() {
    SetDamping(0.0015f);
    SetViscosity(5.0f, 10.0f);
    SetRestDensity(0.35f);
    SetPressureFactor(5.0f);
}

void TFluid::SetDamping(float d) {
    sph_detail::TCheck("TFluid::SetDamping").Finite("the damping", d);
    Damping = d;
}

void TFluid::SetSurfaceTension(float s) {
    sph_detail::TCheck("TFluid::SetSurfaceTension").Finite("the surface tension", s);
    SurfaceTension = s;
}

void TFluid::SetViscosity(float alpha, float beta) {
    const sph_detail::TCheck check("TFluid::SetViscosity");
    check.Finite("alpha", alpha);
    check.Finite("beta", beta);
    V_Alpha = alpha;
    V_Beta = beta;
}

void TFluid::SetRestDensity(float rho) {
    sph_detail::TCheck("TFluid::SetRestDensity").Positive("the rest density", rho);
    RestDensity = rho;
    InvRestDensity = 1.0f / rho;
    MinDensity = rho * 0.85f;
    MaxDensity = rho * 1.15f;
}

void TFluid::SetPressureFactor(float b) {
    sph_detail::TCheck("TFluid::SetPressureFactor").Finite("the pressure factor", b);
    P_B = b;
}

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
    const sph_detail::TCheck check("TFluid::CreateRect");
    if (!Integrator) check.Fail("the fluid's world is gone");
    TSPH* world = Integrator;
    const sph_detail::TSceneRect r = sph_detail::SceneRect(check, world, x, y, width, height);
    check.Finite("vx", vx);
    check.Finite("vy", vy);
    const std::int32_t count = sph_detail::LatticeCount(check, r, LATTICE_SPACING);
    world->Reserve(count, 0, 0, 0, 0);
    std::int32_t id = world->Numbering().Take(count, "TFluid::CreateRect");
    using sph_detail::ForEachLatticeCoordinate;
    ForEachLatticeCoordinate(r.X, static_cast<double>(r.X) + r.Width, LATTICE_SPACING, [&](float px) {
        ForEachLatticeCoordinate(r.Y, static_cast<double>(r.Y) + r.Height, LATTICE_SPACING, [&](float py) {
            TParticle* p = sph_detail::MakeFluidParticle(px * TSPH::UNIT_SCALE, py * TSPH::UNIT_SCALE, this, id++);
            // Setting the old position behind gives the first step its motion.
            p->OldX -= vx;
            p->OldY -= vy;
            world->AddFluidParticle(p);
        });
    });
}
