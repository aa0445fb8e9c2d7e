// The step: the twelve phases in their order, the grid they walk rebuilt
// first, and the state every phase relies on checked before it starts.
#include "sph/sph.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "sph/detail/checks.h"
#include "sph/detail/fluid_passes.h"
#include "sph/detail/solver.h"
#include "sph/particle.h"

namespace {
using sph_detail::TCheck;
}  // namespace

void TSPH::CheckState(const char* call) const {
    const TCheck check(call);
    auto counted = [&](const ParticleArray& array, std::int32_t count) {
        if (count < 0 || static_cast<std::size_t>(count) > array.size())
            check.Fail("a particle count passes its array");
    };
    counted(FluidParticles, FluidCount);
    counted(SolidParticles, SolidCount);
    counted(RigidParticles, RigidCount);
    counted(BoundaryParticles, BoundaryCount);
    counted(Constraints[0], ConstraintCount);
    counted(Constraints[1], ConstraintCount);
    if (static_cast<std::size_t>(ConstraintCount) > ConstraintLength.size())
        check.Fail("the constraint count passes its array");
    const auto cells = static_cast<std::size_t>(GridWidth) * static_cast<std::size_t>(GridHeight);
    for (const Grid* grid : {&FluidGrid, &SolidGrid, &RigidGrid, &BoundaryGrid})
        if (grid->size() != cells) check.Fail("a grid does not have GridWidth × GridHeight cells");
    if (Solver->FluidPack.GridCells != cells) check.Fail("the grid's size changed without SetContainerSize");
}

// The twelve phases in their order, with two shortcuts that change no
// result: the liquid's accumulators start at zero inside the fluid passes
// rather than in the records (Fluid_Reset), and the liquid is integrated at
// the end of its force pass (Fluid_Integrate), since no phase in between
// (solid and rigid forces, constraints) reads or writes a fluid particle.
void TSPH::Update() {
    CheckState("TSPH::Update");
    RedistributeGrid();
    Solid_Reset();
    Rigid_Reset();
    sph_detail::DensityPass(*this, *Solver, true);
    sph_detail::ForcePass(*this, *Solver, true);
    Solid_CalcForces();
    Rigid_CalcForces();
    Constraints_Update();
    Solid_Integrate();
    Rigid_Integrate();
}

void TSPH::RedistributeGrid() {
    CheckState("TSPH::RedistributeGrid");
    for (Grid* grid : {&FluidGrid, &SolidGrid, &RigidGrid, &BoundaryGrid})
        std::fill(grid->begin(), grid->end(), nullptr);
    MapParticlesToGrid(SolidParticles, SolidCount, SolidGrid, INV_SMOOTHING_LENGTH);
    MapParticlesToGrid(RigidParticles, RigidCount, RigidGrid, INV_SMOOTHING_LENGTH);
    MapParticlesToGrid(BoundaryParticles, BoundaryCount, BoundaryGrid, INV_SMOOTHING_LENGTH);
    // Nothing walks the rigid grid.
    Solver->SolidCells.LayOut(SolidGrid);
    Solver->BoundaryCells.LayOut(BoundaryGrid);
    // Last, since the liquid notes where walls and solid particles lie near it.
    sph_detail::LayOutLiquid(*this, *Solver, true);  // MapParticlesToGrid for the liquid, and its layout
}

// Each particle becomes the head of its cell's chain, so a chain lists the
// most recently registered particle first. The products are formed in double
// precision: 3.85 × 0.259740263 is 0.99999999, which floors to column 0.
// Particles outside the grid are left out and their Succ is not touched.
void TSPH::MapParticlesToGrid(const ParticleArray& particles, std::int32_t count, Grid& grid, float scale) {
    const double gridWidth = GridWidth;
    const double gridHeight = GridHeight;
    for (std::int32_t i = 0; i < count; ++i) {
        TParticle* p = particles[static_cast<std::size_t>(i)];
        const double c = std::floor(static_cast<double>(p->PositionX) * scale);
        const double r = std::floor(static_cast<double>(p->PositionY) * scale);
        if (!(c >= 0 && c < gridWidth && r >= 0 && r < gridHeight)) continue;
        TParticle*& head =
            grid[static_cast<std::size_t>(c) * static_cast<std::size_t>(GridHeight) + static_cast<std::size_t>(r)];
        p->Succ = head;
        head = p;
    }
}
