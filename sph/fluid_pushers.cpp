// Where walls and solid particles meet the liquid in the force pass: the
// cells they push from, and the solid particles' half of the fluid–solid
// push when threads leave it out of the sweeps.
#include "sph/detail/fluid_pushers.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "sph/detail/neighbours.h"
#include "sph/detail/pushes.h"
#include "sph/particle.h"

using sph_detail::TFluidPack;
using sph_detail::TSolver;

// The solid particles' half of the fluid–solid push, when threads have left
// it out of the force pass: the same pushes again, in the order of the
// serial sweep (liquid particles by index, cells in walk order), so that each
// solid particle sums them in that order. Only a liquid particle with solid
// particles in the nine cells around its home cell can push one: those are
// taken cell by cell (a split step has every liquid particle in the grid),
// then put back in index order. It reads only positions and the solids'
// cells, so it may run beside the sweeps.
void sph_detail::PushSolidsFromLiquid(const TSPH& world, TFluidPack& P, const TCellList& solids) {
    std::int32_t* const pushers = P.NearSolids.data();
    std::int32_t n = 0;
    for (std::size_t k = 0; k < P.PushersNear.size(); ++k)
        if (P.PushersNear[k] & TFluidPack::SOLIDS)
            for (std::int32_t s = P.First[k]; s < P.First[k + 1]; ++s)
                pushers[n++] = P.IndexAt[static_cast<std::size_t>(s)];
    std::sort(pushers, pushers + n);
    const float rangeSq = world.RepulsiveDistSq;
    for (std::int32_t j = 0; j < n; ++j) {
        const auto s = static_cast<std::size_t>(P.SlotOf[static_cast<std::size_t>(pushers[j])]);
        const float px = P.X[s], py = P.Y[s];
        ForEachNeighbourCell(world, px, py, [&](std::size_t cell) {
            ForEachWithin(solids, cell, px, py, rangeSq, [&](TParticle* o, float dx, float dy, float d2) {
                const float t = SolidPush(world, d2);
                o->ForceX -= t * dx;
                o->ForceY -= t * dy;
            });
        });
    }
}

// The cells where walls or solid particles push the liquid: one byte each for
// the force walks to test, instead of the two lists' bounds; and the cells
// with such a cell among the nine around them, whose walkers test.
void sph_detail::MarkPushers(const TSPH& world, TFluidPack& P, const TSolver& solver) {
    const auto& walls = solver.BoundaryCells.First;
    const auto& solids = solver.SolidCells.First;
    for (std::size_t k = 0; k < P.Pushers.size(); ++k)
        P.Pushers[k] = static_cast<std::uint8_t>((walls[k + 1] > walls[k] ? TFluidPack::WALLS : 0) |
                                                 (solids[k + 1] > solids[k] ? TFluidPack::SOLIDS : 0));
    const std::int32_t width = world.GridWidth, height = world.GridHeight;
    auto cellAt = [height](std::int32_t column, std::int32_t row) {
        return static_cast<std::size_t>(column) * static_cast<std::size_t>(height) + static_cast<std::size_t>(row);
    };
    for (std::int32_t c = 0; c < width; ++c)
        for (std::int32_t r = 0; r < height; ++r) {
            std::uint8_t near = 0;
            for (std::int32_t nc = std::max(c - 1, 0); nc <= std::min(c + 1, width - 1); ++nc)
                for (std::int32_t nr = std::max(r - 1, 0); nr <= std::min(r + 1, height - 1); ++nr)
                    near |= P.Pushers[cellAt(nc, nr)];
            P.PushersNear[cellAt(c, r)] = near;
        }
}
