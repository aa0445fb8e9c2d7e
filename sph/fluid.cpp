// Liquids: the fluid material and the four fluid phases of the step
// (weakly compressible SPH with an evolved density).
#include "sph/fluid.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <numbers>
#include <utility>

#include "sph/neighbours.h"
#include "sph/lanes.h"
#include "sph/lattice.h"
#include "sph/sph.h"
#include "sph/workers.h"

namespace {

constexpr double H = TSPH::SMOOTHING_LENGTH;
constexpr double H3 = H * H * H;
constexpr double H6 = H3 * H3;
constexpr double H9 = H6 * H3;

constexpr float VISCOSITY_SOFTENING = 20.0f;  // added to d² in the viscosity
constexpr float RESET_DENSITY_FACTOR = 1.05f;
constexpr float SOLID_SHARE = 0.5f;  // each side's share of the fluid–solid push
constexpr float MAX_SPEED_SQ = 4.0f;

using sph_detail::TFluidPack;

// The rate of change of density of a pair p, q (q numbered lower) at
// (dx, dy) = p − q, 0 < d2 < h², from their relative motion; each side adds
// it times the other's mass.
inline float DensityRate(const TFluidPack& P, std::int32_t p, std::int32_t q, float dx, float dy, float d2) {
    const auto i = static_cast<std::size_t>(p), j = static_cast<std::size_t>(q);
    const float r = std::sqrt(d2);
    const float k = TSPH::SMOOTHING_LENGTH_SQ - d2;
    const float v = (dx * (P.VX[i] - P.VX[j]) + dy * (P.VY[i] - P.VY[j])) / r;
    return k * k * v;
}

// The forces of a pair of fluid particles p and q (q numbered lower), at
// (dx, dy) = p − q, 0 < d2 < h²: cohesion, pressure, viscosity and XSPH.
// ApplyToQ adds them to q; the force walk adds them to p, four at a time.
struct TPairForces {
    bool SameFluid;
    float S;       // cohesion, times the other's mass and (dx, dy)
    float Fx, Fy;  // pressure and viscosity: −(Fx, Fy) on p, +(Fx, Fy) on q
    float Xsph;    // XSPH, times the other's mass and the relative velocity
    float RelX, RelY;
};

inline TPairForces FluidPairForces(const TFluidPack& P, std::int32_t p, std::int32_t q, float dx, float dy, float d2) {
    const auto i = static_cast<std::size_t>(p), j = static_cast<std::size_t>(q);
    TPairForces f;
    const float r = std::sqrt(d2);
    const float e = TSPH::SMOOTHING_LENGTH - r;
    const float k = TSPH::SMOOTHING_LENGTH_SQ - d2;
    const float w = TFluid::D_KERNEL_FACTOR * (k * k * k);  // poly6 kernel value

    // Cohesion within one fluid; each side scaled by the other's mass.
    f.SameFluid = P.Fluid[j] == P.Fluid[i];
    f.S = f.SameFluid ? -P.Fluid[i]->SurfaceTension * w : 0.0f;

    float term = P.Pressure[i] * P.InvDensitySq[i] + P.Pressure[j] * P.InvDensitySq[j];
    const float invMeanDensity = 2.0f / (P.Density[i] + P.Density[j]);
    const float vr = dx * (P.VX[i] - P.VX[j]) + dy * (P.VY[i] - P.VY[j]);
    if (vr < 0) {
        // Artificial viscosity for approaching pairs, with the coefficients
        // of the fluid of the lower-numbered particle for both.
        const TFluid& fluid = *P.Fluid[j];
        const float mu = TSPH::SMOOTHING_LENGTH * vr / (d2 + VISCOSITY_SOFTENING);
        term += (-fluid.V_Alpha * mu * (P.SoundSpeed[i] + P.SoundSpeed[j]) * 0.5f + fluid.V_Beta * mu * mu) *
                invMeanDensity;
    }

    // One vector for both sides, carrying q's mass on both.
    const float g = P.Mass[j] * TFluid::P_KERNEL_FACTOR * e * e / r;
    f.Fx = dx * term * g;
    f.Fy = dy * term * g;

    // XSPH: nudge each velocity towards its neighbour's.
    f.Xsph = TFluid::XSPH_EPSILON * w * invMeanDensity;
    f.RelX = P.VX[j] - P.VX[i];
    f.RelY = P.VY[j] - P.VY[i];
    return f;
}

// A particle's four force accumulators while it is being summed.
struct TForceSums {
    float Fx, Fy, DVx, DVy;
};

inline void ApplyToQ(TForceSums& a, const TPairForces& f, float massP, float dx, float dy) {
    if (f.SameFluid) {
        a.Fx -= f.S * massP * dx;
        a.Fy -= f.S * massP * dy;
    }
    a.Fx += f.Fx;
    a.Fy += f.Fy;
    a.DVx -= massP * f.Xsph * f.RelX;
    a.DVy -= massP * f.Xsph * f.RelY;
}

inline TForceSums LoadSums(const TFluidPack& P, std::size_t s) {
    return {P.ForceX[s], P.ForceY[s], P.DeltaVX[s], P.DeltaVY[s]};
}

inline void StoreSums(TFluidPack& P, std::size_t s, const TForceSums& a) {
    P.ForceX[s] = a.Fx;
    P.ForceY[s] = a.Fy;
    P.DeltaVX[s] = a.DVx;
    P.DeltaVY[s] = a.DVy;
}

// Calls visit(i) for every particle i numbered above the particle in slot j
// and within h of it, in increasing order of number: the order in which the
// serial sweep reaches them, and so the order in which j hears from them.
// A merge of the (reversed) runs of the nine cells around j.
template <class Visit>
void ForEachHigherNeighbourInOrder(const TSPH& world, const TFluidPack& P, std::int32_t j, Visit&& visit) {
    const auto sj = static_cast<std::size_t>(j);
    const float x = P.X[sj], y = P.Y[sj];
    const std::int32_t id = P.ID[sj];
    std::int32_t next[9], low[9];  // each run from next down to low, numbers increasing
    int runs = 0;
    sph_detail::ForEachNeighbourCell(world, x, y, [&](std::size_t cell) {
        const std::int32_t a = P.First[cell];
        std::int32_t b = a;
        const std::int32_t end = P.First[cell + 1];
        while (b < end && P.ID[static_cast<std::size_t>(b)] > id) ++b;
        if (b > a) {
            next[runs] = b - 1;
            low[runs] = a;
            ++runs;
        }
    });
    while (runs > 0) {
        int best = 0;
        for (int k = 1; k < runs; ++k)
            if (P.ID[static_cast<std::size_t>(next[k])] < P.ID[static_cast<std::size_t>(next[best])]) best = k;
        const std::int32_t i = next[best];
        const auto si = static_cast<std::size_t>(i);
        const float dx = P.X[si] - x;
        const float dy = P.Y[si] - y;
        const float d2 = dx * dx + dy * dy;
        if (d2 > 0 && d2 < TSPH::SMOOTHING_LENGTH_SQ) visit(i, dx, dy, d2);
        if (--next[best] < low[best]) {
            --runs;
            next[best] = next[runs];
            low[best] = low[runs];
        }
    }
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

namespace {

using Clock = std::chrono::steady_clock;

// Indices [begin, end) of the k-th of `parts` nearly equal pieces of n.
inline std::pair<std::int32_t, std::int32_t> Piece(std::int32_t n, std::int32_t parts, std::int32_t k) {
    const auto begin = static_cast<std::int32_t>(static_cast<std::int64_t>(n) * k / parts);
    const auto end = static_cast<std::int32_t>(static_cast<std::int64_t>(n) * (k + 1) / parts);
    return {begin, end};
}

// What a thread's part of a sweep needs besides the pack.
struct TSweep {
    const TSPH& World;
    TFluidPack& P;
    const sph_detail::TCellList& Walls;
    const sph_detail::TCellList& Solids;
};

// The partners of one particle's walk waiting to be summed: found four
// candidates at a time, their terms computed four at a time, and summed one
// by one in the order the walk met them.
struct TPartners {
    static constexpr int CAPACITY = 64;
    std::int32_t N = 0;
    alignas(16) std::int32_t Slot[CAPACITY + 4];

    bool Full() const { return N > CAPACITY - 4; }
    // Lanes past N, summed by no one, point at the particle itself.
    void PadWith(std::int32_t slot) {
        for (int l = 0; l < 4; ++l) Slot[N + l] = slot;
    }
};

// The slots [a, b) of a cell that hold particles numbered below pid: the
// chain lists a cell's particles from the highest number down.
inline void LowerNumbered(const TFluidPack& P, std::int32_t self, std::int32_t pid, std::int32_t& a, std::int32_t b) {
    if (a >= b) return;
    if (self >= a && self < b) {
        a = self + 1;  // the particle's own cell
    } else if (P.ID[static_cast<std::size_t>(b) - 1] >= pid) {
        a = b;  // all numbered above
    } else {
        while (P.ID[static_cast<std::size_t>(a)] >= pid) ++a;
    }
}

// Adds to `partners` the particles of slots [a, b) numbered below pid and
// within h of (px, py), in slot order; flush() empties it when it fills.
template <class Flush>
inline void CollectPartners(const TFluidPack& P, std::int32_t a, std::int32_t b, float px, float py, std::int32_t pid,
                            TPartners& partners, Flush&& flush) {
    using namespace sph_detail;
    const float* x = P.X.data();
    const float* y = P.Y.data();
    const std::int32_t* id = P.ID.data();
    const F4 x0 = Splat(px), y0 = Splat(py), zero = Splat(0.0f), h2 = Splat(TSPH::SMOOTHING_LENGTH_SQ);
    const I4 lane = {0, 1, 2, 3};
    for (std::int32_t q = a; q < b; q += 4) {
        if (partners.Full()) flush();
        const F4 dx = x0 - Load4(x + q);
        const F4 dy = y0 - Load4(y + q);
        const F4 d2 = dx * dx + dy * dy;
        const I4 take = (d2 > zero) & (d2 < h2) & (Load4(id + q) < Splat(pid)) & (lane < Splat(b - q));
        std::int32_t n = partners.N;
        for (int l = 0; l < 4; ++l) {
            partners.Slot[n] = q + l;
            n -= take[l];  // a taken lane is all ones, −1
        }
        partners.N = n;
    }
}

// The four partners' offsets from (px, py), as the walk computed them.
struct TOffsets {
    sph_detail::F4 Dx, Dy, D2;
};

inline TOffsets OffsetsOf(const TFluidPack& P, const std::int32_t* q, float px, float py) {
    using namespace sph_detail;
    const float* x = P.X.data();
    const float* y = P.Y.data();
    const F4 dx = Splat(px) - F4{x[q[0]], x[q[1]], x[q[2]], x[q[3]]};
    const F4 dy = Splat(py) - F4{y[q[0]], y[q[1]], y[q[2]], y[q[3]]};
    return {dx, dy, dx * dx + dy * dy};
}

// Particle i's own walk of the density pass: pairs with the lower-numbered
// particles within h, in the walk's order. Its own sum is added to its
// accumulator after the walk; each partner's share is added to the partner's
// at once, except for a partner on a seam, which gathers it later.
template <bool SortedCells>
void DensityWalk(const TSweep& w, std::int32_t i) {
    using namespace sph_detail;
    TFluidPack& P = w.P;
    const std::int32_t s = P.SlotOf[static_cast<std::size_t>(i)];
    const auto ss = static_cast<std::size_t>(s);
    const float px = P.X[ss], py = P.Y[ss];
    const float pvx = P.VX[ss], pvy = P.VY[ss];
    const float pm = P.MassBefore[ss];
    const std::int32_t pid = P.ID[ss];
    const float* vx = P.VX.data();
    const float* vy = P.VY.data();
    const float* mass = P.MassBefore.data();
    float* deltaDensity = P.DeltaDensity.data();
    float rate = 0;
    TPartners partners;
    bool onSeam = false;  // the partners waiting are on a seam
    auto flush = [&] {
        partners.PadWith(s);
        for (std::int32_t e = 0; e < partners.N; e += 4) {
            const std::int32_t* q = partners.Slot + e;
            const auto [dx, dy, d2] = OffsetsOf(P, q, px, py);
            const F4 qvx = {vx[q[0]], vx[q[1]], vx[q[2]], vx[q[3]]};
            const F4 qvy = {vy[q[0]], vy[q[1]], vy[q[2]], vy[q[3]]};
            const F4 qm = {mass[q[0]], mass[q[1]], mass[q[2]], mass[q[3]]};
            const F4 r = Sqrt(d2);
            const F4 k = Splat(TSPH::SMOOTHING_LENGTH_SQ) - d2;
            const F4 v = (dx * (Splat(pvx) - qvx) + dy * (Splat(pvy) - qvy)) / r;
            const F4 rq = k * k * v;
            const F4 toP = rq * qm;
            const F4 toQ = rq * Splat(pm);
            const std::int32_t lanes = std::min(4, partners.N - e);
            for (int l = 0; l < lanes; ++l) {
                rate += toP[l];
                if (!onSeam) deltaDensity[q[l]] += toQ[l];
            }
        }
        partners.N = 0;
    };
    ForEachNeighbourCellAndColumn(w.World, px, py, [&](std::size_t cell, int column) {
        std::int32_t a = P.First[cell];
        const std::int32_t b = P.First[cell + 1];
        if (SortedCells) LowerNumbered(P, s, pid, a, b);
        if (a >= b) return;
        // Partners on a seam are summed apart from the others.
        const bool seam = P.SeamColumn[static_cast<std::size_t>(column)] != 0;
        if (seam != onSeam) {
            flush();
            onSeam = seam;
        }
        CollectPartners(P, a, b, px, py, pid, partners, flush);
    });
    flush();
    P.DeltaDensity[ss] += rate;
}

// What a particle on a seam hears in the density pass from the particles
// numbered above it, in the order the serial sweep would deliver it.
void DensityFromHigher(const TSweep& w, std::int32_t j) {
    TFluidPack& P = w.P;
    const auto sj = static_cast<std::size_t>(j);
    float sum = P.DeltaDensity[sj];
    ForEachHigherNeighbourInOrder(w.World, P, j, [&](std::int32_t i, float dx, float dy, float d2) {
        sum += DensityRate(P, i, j, dx, dy, d2) * P.MassBefore[static_cast<std::size_t>(i)];
    });
    P.DeltaDensity[sj] = sum;
}

// Particle i's own walk of the force pass, cell by cell: its fluid partners
// numbered lower, then the walls, then the solid particles of the cell; then
// the container edges and gravity.
template <bool SortedCells>
void ForceWalk(const TSweep& w, std::int32_t i, bool pushSolidsNow) {
    using namespace sph_detail;
    TFluidPack& P = w.P;
    const TSPH& world = w.World;
    const std::int32_t s = P.SlotOf[static_cast<std::size_t>(i)];
    const auto ss = static_cast<std::size_t>(s);
    const float px = P.X[ss], py = P.Y[ss];
    const float pvx = P.VX[ss], pvy = P.VY[ss];
    const float pm = P.Mass[ss];
    const float pDensity = P.Density[ss];
    const float pTerm = P.Pressure[ss] * P.InvDensitySq[ss];
    const float pSound = P.SoundSpeed[ss];
    const TFluid* pFluid = P.Fluid[ss];
    const float pCohesion = -pFluid->SurfaceTension;
    const std::int32_t pid = P.ID[ss];
    const float* vx = P.VX.data();
    const float* vy = P.VY.data();
    const float* mass = P.Mass.data();
    const float* density = P.Density.data();
    const float* invDensitySq = P.InvDensitySq.data();
    const float* pressure = P.Pressure.data();
    const float* sound = P.SoundSpeed.data();
    const TFluid* const* fluid = P.Fluid.data();
    float* forceX = P.ForceX.data();
    float* forceY = P.ForceY.data();
    float* deltaVX = P.DeltaVX.data();
    float* deltaVY = P.DeltaVY.data();
    TForceSums sums = LoadSums(P, ss);
    bool touchesSolid = false;
    TPartners partners;
    bool onSeam = false;  // the partners waiting are on a seam

    auto flush = [&] {
        partners.PadWith(s);
        for (std::int32_t e = 0; e < partners.N; e += 4) {
            const std::int32_t* q = partners.Slot + e;
            const TFluid* qFluid[4] = {fluid[q[0]], fluid[q[1]], fluid[q[2]], fluid[q[3]]};
            const auto [dx, dy, d2] = OffsetsOf(P, q, px, py);
            const F4 qvx = {vx[q[0]], vx[q[1]], vx[q[2]], vx[q[3]]};
            const F4 qvy = {vy[q[0]], vy[q[1]], vy[q[2]], vy[q[3]]};
            const F4 qm = {mass[q[0]], mass[q[1]], mass[q[2]], mass[q[3]]};
            const F4 qDensity = {density[q[0]], density[q[1]], density[q[2]], density[q[3]]};
            const F4 qInvDensitySq = {invDensitySq[q[0]], invDensitySq[q[1]], invDensitySq[q[2]], invDensitySq[q[3]]};
            const F4 qPressure = {pressure[q[0]], pressure[q[1]], pressure[q[2]], pressure[q[3]]};
            const F4 qSound = {sound[q[0]], sound[q[1]], sound[q[2]], sound[q[3]]};
            const F4 alpha = {-qFluid[0]->V_Alpha, -qFluid[1]->V_Alpha, -qFluid[2]->V_Alpha, -qFluid[3]->V_Alpha};
            const F4 beta = {qFluid[0]->V_Beta, qFluid[1]->V_Beta, qFluid[2]->V_Beta, qFluid[3]->V_Beta};

            // FluidPairForces, four pairs at a time.
            const F4 r = Sqrt(d2);
            const F4 edge = Splat(TSPH::SMOOTHING_LENGTH) - r;
            const F4 k = Splat(TSPH::SMOOTHING_LENGTH_SQ) - d2;
            const F4 kernel = Splat(TFluid::D_KERNEL_FACTOR) * (k * k * k);
            const F4 cohesion = Splat(pCohesion) * kernel;
            F4 term = Splat(pTerm) + qPressure * qInvDensitySq;
            const F4 invMeanDensity = Splat(2.0f) / (Splat(pDensity) + qDensity);
            const F4 vr = dx * (Splat(pvx) - qvx) + dy * (Splat(pvy) - qvy);
            const F4 mu = Splat(TSPH::SMOOTHING_LENGTH) * vr / (d2 + Splat(VISCOSITY_SOFTENING));
            const F4 viscosity =
                (alpha * mu * (Splat(pSound) + qSound) * Splat(0.5f) + beta * mu * mu) * invMeanDensity;
            term = Select(vr < Splat(0.0f), term + viscosity, term);
            const F4 g = qm * Splat(TFluid::P_KERNEL_FACTOR) * edge * edge / r;
            const F4 fx = dx * term * g;
            const F4 fy = dy * term * g;
            const F4 xsph = Splat(TFluid::XSPH_EPSILON) * kernel * invMeanDensity;
            const F4 relX = qvx - Splat(pvx);
            const F4 relY = qvy - Splat(pvy);
            // The products each side adds, four at a time (ApplyToQ for q).
            const F4 cohesionPX = cohesion * qm * dx, cohesionPY = cohesion * qm * dy;
            const F4 xsphPX = qm * xsph * relX, xsphPY = qm * xsph * relY;
            const F4 cohesionQX = cohesion * Splat(pm) * dx, cohesionQY = cohesion * Splat(pm) * dy;
            const F4 xsphQX = Splat(pm) * xsph * relX, xsphQY = Splat(pm) * xsph * relY;

            const std::int32_t lanes = std::min(4, partners.N - e);
            for (int l = 0; l < lanes; ++l) {
                const bool sameFluid = qFluid[l] == pFluid;
                if (sameFluid) {
                    sums.Fx += cohesionPX[l];
                    sums.Fy += cohesionPY[l];
                }
                sums.Fx -= fx[l];
                sums.Fy -= fy[l];
                sums.DVx += xsphPX[l];
                sums.DVy += xsphPY[l];
                if (onSeam) continue;
                const std::int32_t o = q[l];
                if (sameFluid) {
                    forceX[o] -= cohesionQX[l];
                    forceY[o] -= cohesionQY[l];
                }
                forceX[o] += fx[l];
                forceY[o] += fy[l];
                deltaVX[o] -= xsphQX[l];
                deltaVY[o] -= xsphQY[l];
            }
        }
        partners.N = 0;
    };

    const float wallRangeSq = world.RepulsiveDistSq;
    ForEachNeighbourCellAndColumn(world, px, py, [&](std::size_t cell, int column) {
        std::int32_t a = P.First[cell];
        const std::int32_t b = P.First[cell + 1];
        if (SortedCells) LowerNumbered(P, s, pid, a, b);
        if (a < b) {
            // Partners on a seam are summed apart from the others.
            const bool seam = P.SeamColumn[static_cast<std::size_t>(column)] != 0;
            if (seam != onSeam) {
                flush();
                onSeam = seam;
            }
            CollectPartners(P, a, b, px, py, pid, partners, flush);
        }
        const bool walls = w.Walls.First[cell + 1] > w.Walls.First[cell];
        const bool solids = w.Solids.First[cell + 1] > w.Solids.First[cell];
        if (!walls && !solids) return;
        flush();  // the cell's fluid partners come before its walls and solids

        ForEachWithin(w.Walls, cell, px, py, wallRangeSq, [&](TParticle*, float dx, float dy, float d2) {
            const float t = Repulsion(wallRangeSq, world.RepulsiveD, d2);
            sums.Fx += t * dx;
            sums.Fy += t * dy;
        });

        // Liquid and elastic solids share the same push, half to each side.
        ForEachWithin(w.Solids, cell, px, py, wallRangeSq, [&](TParticle* o, float dx, float dy, float d2) {
            const float t = SOLID_SHARE * Repulsion(wallRangeSq, world.RepulsiveD, d2);
            sums.Fx += t * dx;
            sums.Fy += t * dy;
            if (pushSolidsNow) {
                o->ForceX -= t * dx;
                o->ForceY -= t * dy;
            }
            touchesSolid = true;
        });
    });
    flush();

    // Container edges: a velocity correction towards the inside, full
    // strength on the edge, none at the repulsion distance.
    const float range = world.RepulsiveDistance;
    const auto edges = DistancesToEdges(world, px, py);
    if (edges.Right < range) sums.DVx -= EdgePush(world, edges.Right);
    if (edges.Bottom < range) sums.DVy -= EdgePush(world, edges.Bottom);
    if (edges.Left < range) sums.DVx += EdgePush(world, edges.Left);
    if (edges.Top < range) sums.DVy += EdgePush(world, edges.Top);

    sums.Fx += world.GravityX * pm;
    sums.Fy += world.GravityY * pm;
    StoreSums(P, ss, sums);
    if (touchesSolid && !pushSolidsNow) P.TouchesSolid[static_cast<std::size_t>(i)] = 1;
}

// What a particle on a seam hears in the force pass from the particles
// numbered above it, in the order the serial sweep would deliver it.
void ForcesFromHigher(const TSweep& w, std::int32_t j) {
    TFluidPack& P = w.P;
    const auto sj = static_cast<std::size_t>(j);
    TForceSums sums = LoadSums(P, sj);
    ForEachHigherNeighbourInOrder(w.World, P, j, [&](std::int32_t i, float dx, float dy, float d2) {
        ApplyToQ(sums, FluidPairForces(P, i, j, dx, dy, d2), P.Mass[static_cast<std::size_t>(i)], dx, dy);
    });
    StoreSums(P, sj, sums);
}

// Runs body(i) for the particles of thread k in increasing index, and adds
// the time taken to the thread's account.
template <class Body>
void ForEachOfThread(TFluidPack& P, std::int32_t k, Body&& body) {
    const auto start = Clock::now();
    const auto t = static_cast<std::size_t>(k);
    for (std::int32_t o = P.OrderStart[t]; o < P.OrderStart[t + 1]; ++o) body(P.Order[static_cast<std::size_t>(o)]);
    P.Seconds[t] += std::chrono::duration<double>(Clock::now() - start).count();
}

inline bool OnSeam(const TFluidPack& P, std::int32_t i) {
    return P.Threads > 1 && P.SeamColumn[static_cast<std::size_t>(P.Column[static_cast<std::size_t>(i)])] != 0;
}

// Moves the split between threads towards equal times: each thread's share
// of the particles in proportion to the particles it got through per second.
void Retune(TFluidPack& P) {
    const auto threads = static_cast<std::size_t>(P.Threads);
    if (threads < 2) return;
    double speed[64] = {};
    double total = 0;
    for (std::size_t t = 0; t < threads; ++t) {
        const double n = P.OrderStart[t + 1] - P.OrderStart[t];
        if (!(P.Seconds[t] > 0) || n <= 0) return;
        speed[t] = n / P.Seconds[t];
        total += speed[t];
    }
    double sum = 0;
    for (std::size_t t = 0; t < threads; ++t) {
        P.Share[t] = std::clamp(0.5 * P.Share[t] + 0.5 * speed[t] / total, 0.02, 1.0);
        sum += P.Share[t];
    }
    for (std::size_t t = 0; t < threads; ++t) {
        P.Share[t] /= sum;
        P.Seconds[t] = 0;
    }
}

}  // namespace

// The density is evolved, not summed: each pair adds the rate of change from
// its relative motion, and each particle then advances its own density and
// derives its mass, pressure and sound speed from it.
//
// The sweep runs in index order and each pair is met once, from its later
// particle, exactly as in one thread. With several threads, each sweeps the
// particles of a band of grid columns in index order; a particle off the
// seams between bands hears only from its own thread, in that order, and a
// particle on a seam gathers what it hears from the particles numbered
// above it, in that order, once both sides have finished.
void TSPH::Fluid_UpdateDensity() { FluidDensityPhase(false); }

void TSPH::FluidDensityPhase(bool inStep) {
    TFluidPack& P = FluidPack;
    if (P.Count != FluidCount) LayOutFluids(false);
    const std::int32_t n = P.Count;
    const std::int32_t threads = P.Threads;
    const TSweep w{*this, P, BoundaryCells, SolidCells};

    auto gather = [&](std::int32_t k) {
        const auto [begin, end] = Piece(n, threads, k);
        for (std::int32_t i = begin; i < end; ++i) {
            const TParticle* p = FluidParticles[static_cast<std::size_t>(i)];
            const auto s = static_cast<std::size_t>(P.SlotOf[static_cast<std::size_t>(i)]);
            P.X[s] = p->PositionX;
            P.Y[s] = p->PositionY;
            P.ID[s] = p->ID;
            P.VX[s] = p->VelocityX;
            P.VY[s] = p->VelocityY;
            P.MassBefore[s] = p->Mass;
            P.Density[s] = p->Density;
            P.Fluid[s] = p->Fluid;
            P.DeltaDensity[s] = inStep ? 0.0f : p->DeltaDensity;
        }
    };
    sph_detail::RunTasks(threads, gather);

    auto sweep = [&](std::int32_t k) {
        if (P.Increasing)
            ForEachOfThread(P, k, [&](std::int32_t i) { DensityWalk<true>(w, i); });
        else
            ForEachOfThread(P, k, [&](std::int32_t i) { DensityWalk<false>(w, i); });
    };
    sph_detail::RunTasks(threads, sweep);

    auto finish = [&](std::int32_t k) {
        ForEachOfThread(P, k, [&](std::int32_t i) {
            const auto s = static_cast<std::size_t>(P.SlotOf[static_cast<std::size_t>(i)]);
            if (OnSeam(P, i)) DensityFromHigher(w, static_cast<std::int32_t>(s));
            TParticle* p = FluidParticles[static_cast<std::size_t>(i)];
            const TFluid* fluid = P.Fluid[s];
            p->DeltaDensity = P.DeltaDensity[s];
            float density = P.Density[s] + P.DeltaDensity[s] * TFluid::D_KERNEL_FACTOR_GRADIENT;
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
            // What the force pass reads, ready for it when the step goes on.
            P.Density[s] = density;
            P.InvDensitySq[s] = p->InvDensitySq;
            P.Mass[s] = p->Mass;
            P.Pressure[s] = p->Pressure;
            P.SoundSpeed[s] = p->SoundSpeed;
            P.ForceX[s] = inStep ? 0.0f : p->ForceX;
            P.ForceY[s] = inStep ? 0.0f : p->ForceY;
            P.DeltaVX[s] = inStep ? 0.0f : p->DeltaVelocityX;
            P.DeltaVY[s] = inStep ? 0.0f : p->DeltaVelocityY;
        });
    };
    sph_detail::RunTasks(threads, finish);
}

void TSPH::Fluid_CalcForces() { FluidForcePhase(false); }

void TSPH::FluidForcePhase(bool inStep) {
    TFluidPack& P = FluidPack;
    if (P.Count != FluidCount) {
        LayOutFluids(false);
        inStep = false;
    }
    const std::int32_t n = P.Count;
    const std::int32_t threads = P.Threads;
    const TSweep w{*this, P, BoundaryCells, SolidCells};

    // Within a step the density pass has left everything in the pack;
    // called on its own, the phase reads the records as they stand.
    if (!inStep) {
        auto gather = [&](std::int32_t k) {
            const auto [begin, end] = Piece(n, threads, k);
            for (std::int32_t i = begin; i < end; ++i) {
                const TParticle* p = FluidParticles[static_cast<std::size_t>(i)];
                const auto s = static_cast<std::size_t>(P.SlotOf[static_cast<std::size_t>(i)]);
                P.X[s] = p->PositionX;
                P.Y[s] = p->PositionY;
                P.ID[s] = p->ID;
                P.VX[s] = p->VelocityX;
                P.VY[s] = p->VelocityY;
                P.Mass[s] = p->Mass;
                P.Density[s] = p->Density;
                P.InvDensitySq[s] = p->InvDensitySq;
                P.Pressure[s] = p->Pressure;
                P.SoundSpeed[s] = p->SoundSpeed;
                P.Fluid[s] = p->Fluid;
                P.ForceX[s] = p->ForceX;
                P.ForceY[s] = p->ForceY;
                P.DeltaVX[s] = p->DeltaVelocityX;
                P.DeltaVY[s] = p->DeltaVelocityY;
            }
        };
        sph_detail::RunTasks(threads, gather);
    }

    const bool pushSolidsNow = threads == 1;
    auto sweep = [&](std::int32_t k) {
        if (P.Increasing)
            ForEachOfThread(P, k, [&](std::int32_t i) { ForceWalk<true>(w, i, pushSolidsNow); });
        else
            ForEachOfThread(P, k, [&](std::int32_t i) { ForceWalk<false>(w, i, pushSolidsNow); });
    };
    sph_detail::RunTasks(threads, sweep);

    auto finish = [&](std::int32_t k) {
        ForEachOfThread(P, k, [&](std::int32_t i) {
            const auto s = static_cast<std::size_t>(P.SlotOf[static_cast<std::size_t>(i)]);
            if (OnSeam(P, i)) ForcesFromHigher(w, static_cast<std::int32_t>(s));
            TParticle* p = FluidParticles[static_cast<std::size_t>(i)];
            p->ForceX = P.ForceX[s];
            p->ForceY = P.ForceY[s];
            p->DeltaVelocityX = P.DeltaVX[s];
            p->DeltaVelocityY = P.DeltaVY[s];
            if (inStep) FluidIntegrate(i, i + 1);
        });
    };
    sph_detail::RunTasks(threads, finish);
    if (!pushSolidsNow) PushSolidsFromLiquid();
    Retune(P);
}

// The solid particles' half of the fluid–solid push, when threads have left
// it out of the force pass: the same pushes again, in the order of the
// serial sweep (liquid particles by index, cells in walk order), so that each
// solid particle sums them in that order.
void TSPH::PushSolidsFromLiquid() {
    TFluidPack& P = FluidPack;
    const float rangeSq = RepulsiveDistSq;
    for (std::int32_t i = 0; i < P.Count; ++i) {
        const auto k = static_cast<std::size_t>(i);
        if (P.TouchesSolid[k] == 0) continue;
        P.TouchesSolid[k] = 0;
        const auto s = static_cast<std::size_t>(P.SlotOf[k]);
        const float px = P.X[s], py = P.Y[s];
        sph_detail::ForEachNeighbourCell(*this, px, py, [&](std::size_t cell) {
            sph_detail::ForEachWithin(SolidCells, cell, px, py, rangeSq,
                                      [&](TParticle* o, float dx, float dy, float d2) {
                                          const float t = SOLID_SHARE * sph_detail::Repulsion(rangeSq, RepulsiveD, d2);
                                          o->ForceX -= t * dx;
                                          o->ForceY -= t * dy;
                                      });
        });
    }
}

// Damped position Verlet, clamped into the container, with a speed limit.
void TSPH::Fluid_Integrate() {
    const std::int32_t threads = FluidCount >= 2000 ? std::min(GetStepThreadCount(), FluidCount / 1000) : 1;
    auto integrate = [&](std::int32_t part) {
        const auto [begin, end] = Piece(FluidCount, threads, part);
        FluidIntegrate(begin, end);
    };
    sph_detail::RunTasks(threads, integrate);
}

void TSPH::FluidIntegrate(std::int32_t begin, std::int32_t end) {
    for (std::int32_t i = begin; i < end; ++i) {
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
