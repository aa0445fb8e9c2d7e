// Where walls and solid particles meet the liquid in the force pass: the
// cells they push from, and the solid particles' half of the fluid–solid
// push.
#include "sph/detail/fluid_passes.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "sph/detail/neighbours.h"
#include "sph/detail/pushes.h"
#include "sph/particle.h"

using sph_detail::TFluidPack;
using sph_detail::TSolver;

// The solid particles' half of the fluid–solid push, liquid particle by
// liquid particle in index order, cells in walk order: so each solid
// particle sums its pushes in an order that no split between threads
// changes. Only a liquid particle with solid particles among the nine cells
// around its home cell (or outside the grid) can push one, as the layout
// noted. It reads only the liquid's positions in the pack and the solids'
// cells, so it may run beside the gathers.
void sph_detail::PushSolidsFromLiquid(const TWorldState& world, const TFluidPack& P, const TCellList& solids) {
    const float rangeSq = world.RepulsiveDistSq;
    for (std::int32_t i = 0; i < P.Count; ++i) {
        if (!(P.NearPushers[static_cast<std::size_t>(i)] & TFluidPack::SOLIDS)) continue;
        const auto s = static_cast<std::size_t>(P.SlotOf[static_cast<std::size_t>(i)]);
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

// The cells where walls or solid particles push the liquid, and the cells
// with such a cell among the nine around them: one byte for a liquid
// particle to test, instead of nine cells' lists.
void sph_detail::MarkPushers(const TWorldState& world, TFluidPack& P, const TSolver& solver) {
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
