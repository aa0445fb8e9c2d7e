// The fluid passes against the model summed plainly: every pair of the world
// in double precision, in no particular order. Two liquids of different
// cohesion and viscosity mix over walls and a solid block, with a particle
// outside the grid; every density rate and every force must agree to the
// rounding of a float sum (the worst is some 3e-5 of the value).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "sph/fluid.h"
#include "sph/solid.h"
#include "sph/sph.h"
#include "test_worlds.h"

namespace {

struct TReference {
    std::vector<double> DeltaDensity, Fx, Fy, Dvx, Dvy;
};

bool InGrid(const TSPH& w, const TParticle* p) {
    const double c = std::floor(static_cast<double>(p->PositionX) * TSPH::INV_SMOOTHING_LENGTH);
    const double r = std::floor(static_cast<double>(p->PositionY) * TSPH::INV_SMOOTHING_LENGTH);
    return c >= 0 && c < w.GetGridWidth() && r >= 0 && r < w.GetGridHeight();
}

// Whether a and b form a pair: within h as the float distance says, and the
// lower-numbered of the two in the grid (a particle outside it is found by
// no other).
bool Pair(const TSPH& w, const TParticle* a, const TParticle* b) {
    const float dx = a->PositionX - b->PositionX, dy = a->PositionY - b->PositionY, d2 = dx * dx + dy * dy;
    return d2 > 0 && d2 < TSPH::SMOOTHING_LENGTH_SQ && InGrid(w, a->ID < b->ID ? a : b);
}

// The density rates, from the records before the density pass.
std::vector<double> DensityRates(const TSPH& w) {
    std::vector<double> rates(static_cast<std::size_t>(w.GetFluidCount()), 0.0);
    const double hh = TSPH::SMOOTHING_LENGTH_SQ;
    const TSPH::ParticleView liquid = w.GetFluidParticles();
    for (std::size_t i = 0; i < liquid.size(); ++i)
        for (std::size_t j = 0; j < liquid.size(); ++j) {
            const TParticle *p = liquid[i], *q = liquid[j];
            if (i == j || !Pair(w, p, q)) continue;
            const double dx = p->PositionX - q->PositionX, dy = p->PositionY - q->PositionY, d2 = dx * dx + dy * dy;
            const double v = dx * (p->VelocityX - q->VelocityX) + dy * (p->VelocityY - q->VelocityY);
            rates[i] += (hh - d2) * (hh - d2) * v / std::sqrt(d2) * q->Mass;
        }
    return rates;
}

// The forces, from the records after the density pass: liquid pairs, walls,
// solid particles, the container's edges and gravity.
TReference Forces(const TSPH& w) {
    const auto n = static_cast<std::size_t>(w.GetFluidCount());
    // The push of walls and solids as the world's settings give it: the
    // strength is the one the world was made with.
    const float reach = w.GetRepulsiveDistance(), reachSq = reach * reach;
    const double strength = TWorldSettings().RepulsionStrength;
    TReference f{{}, std::vector<double>(n), std::vector<double>(n), std::vector<double>(n), std::vector<double>(n)};
    const double h = TSPH::SMOOTHING_LENGTH, hh = TSPH::SMOOTHING_LENGTH_SQ;
    auto repel = [&](const TParticle* p, const TParticle* o, double share, std::size_t i) {
        const double dx = p->PositionX - o->PositionX, dy = p->PositionY - o->PositionY, d2 = dx * dx + dy * dy;
        if (d2 <= 0 || d2 >= reachSq) return;
        const double u = reachSq / d2, t = share * strength * (u * u - u) / d2;
        f.Fx[i] += t * dx;
        f.Fy[i] += t * dy;
    };
    for (std::size_t i = 0; i < n; ++i) {
        const TParticle* p = w.GetFluidParticles()[i];
        for (std::size_t j = 0; j < n; ++j) {
            const TParticle* q = w.GetFluidParticles()[j];
            if (i == j || !Pair(w, p, q)) continue;
            const TParticle* lower = p->ID < q->ID ? p : q;
            const double dx = p->PositionX - q->PositionX, dy = p->PositionY - q->PositionY, d2 = dx * dx + dy * dy;
            const double r = std::sqrt(d2), kernel = TFluid::D_KERNEL_FACTOR * std::pow(hh - d2, 3);
            const double b = 2 / (static_cast<double>(p->Density) + q->Density);
            double term =
                static_cast<double>(p->Pressure) * p->InvDensitySq + static_cast<double>(q->Pressure) * q->InvDensitySq;
            const double vr = dx * (p->VelocityX - q->VelocityX) + dy * (p->VelocityY - q->VelocityY);
            if (vr < 0) {
                const double mu = h * vr / (d2 + 20.0);
                term += (-lower->Fluid->GetViscosityAlpha() * mu * (p->SoundSpeed + q->SoundSpeed) * 0.5 +
                         lower->Fluid->GetViscosityBeta() * mu * mu) *
                        b;
            }
            const double g = lower->Mass * TFluid::P_KERNEL_FACTOR * (h - r) * (h - r) / r;
            const double cohesion = p->Fluid == q->Fluid ? -p->Fluid->GetSurfaceTension() * kernel * q->Mass : 0.0;
            f.Fx[i] += cohesion * dx - dx * term * g;
            f.Fy[i] += cohesion * dy - dy * term * g;
            const double xsph = q->Mass * TFluid::XSPH_EPSILON * kernel * b;
            f.Dvx[i] += xsph * (q->VelocityX - p->VelocityX);
            f.Dvy[i] += xsph * (q->VelocityY - p->VelocityY);
        }
        for (const TParticle* wall : w.GetBoundaryParticles()) repel(p, wall, 1.0, i);
        for (const TParticle* solid : w.GetSolidParticles()) repel(p, solid, 0.5, i);
        const double edges[4] = {std::max(w.GetContainerWidth() - p->PositionX, 0.0f),
                                 std::max(w.GetContainerHeight() - p->PositionY, 0.0f), std::max(p->PositionX, 0.0f),
                                 std::max(p->PositionY, 0.0f)};
        double* const dv[4] = {&f.Dvx[i], &f.Dvy[i], &f.Dvx[i], &f.Dvy[i]};
        for (int e = 0; e < 4; ++e)
            if (edges[e] < reach) *dv[e] += (e < 2 ? -1 : 1) * (1 - std::sqrt(edges[e] / reach));
        f.Fx[i] += static_cast<double>(w.GetGravityX()) * p->Mass;
        f.Fy[i] += static_cast<double>(w.GetGravityY()) * p->Mass;
    }
    return f;
}

// Each value within `relative` of itself, or of a thousandth of the largest
// of its kind where it nearly cancels.
void ExpectNear(const std::vector<double>& expected, const TSPH& w, float TParticle::*field, const char* name,
                double relative) {
    double largest = 0;
    for (double v : expected) largest = std::max(largest, std::fabs(v));
    ASSERT_GT(largest, 0) << name;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const double scale = std::max(std::fabs(expected[i]), 1e-3 * largest);
        EXPECT_LE(std::fabs(w.GetFluidParticles()[i]->*field - expected[i]), relative * scale)
            << name << " of particle " << i;
    }
}

}  // namespace

TEST(LiquidSums, MatchAPlainSumOverAllPairsInDoublePrecision) {
    auto world = test_worlds::SceneOneWorld();
    CreateBoundaryRect(world.get(), 0, 430, 800, 40);
    TSolid::Create(world.get()).get()->CreateRect(420, 380, 60, 40, 0, 0);
    TFluid* sticky = TFluid::Create(world.get()).get();
    sticky->SetSurfaceTension(2.0f);
    TFluid* thin = TFluid::Create(world.get()).get();
    thin->SetViscosity(1.0f, 3.0f);
    thin->SetRestDensity(0.2f);
    sticky->CreateRect(300, 300, 120, 110, 0, 0.3f);
    thin->CreateRect(350, 320, 160, 60, 0.2f, 0);
    // A few steps of the two blocks crossing make positions and velocities
    // uneven, so that every term has something to add.
    for (int i = 0; i < 8; ++i) world->Update();
    // Left of the container, outside the grid: it pairs with the particle
    // numbered below it, not with the one numbered above.
    test_worlds::AddFluidAt(*world, sticky, 0.5f, 20.0f);
    test_worlds::AddFluidAt(*world, thin, -1.0f, 20.0f);
    test_worlds::AddFluidAt(*world, thin, 0.8f, 21.0f);
    world->RedistributeGrid();
    world->Fluid_Reset();
    world->Solid_Reset();
    const std::vector<double> rates = DensityRates(*world);
    world->Fluid_UpdateDensity();
    ExpectNear(rates, *world, &TParticle::DeltaDensity, "density rate", 1e-4);
    const TReference forces = Forces(*world);
    world->Fluid_CalcForces();
    ExpectNear(forces.Fx, *world, &TParticle::ForceX, "force x", 1e-4);
    ExpectNear(forces.Fy, *world, &TParticle::ForceY, "force y", 1e-4);
    ExpectNear(forces.Dvx, *world, &TParticle::DeltaVelocityX, "Δv x", 1e-4);
    ExpectNear(forces.Dvy, *world, &TParticle::DeltaVelocityY, "Δv y", 1e-4);
}
