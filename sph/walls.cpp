// Wall particles: a rectangle of them laid at the boundary spacing, and the
// push they give the liquid and solid particles near them.
#include "sph/sph.h"

#include "sph/detail/checks.h"
#include "sph/detail/lattice.h"
#include "sph/detail/neighbours.h"
#include "sph/detail/particle_factory.h"
#include "sph/detail/pushes.h"
#include "sph/detail/solver.h"
#include "sph/particle.h"

namespace {
using sph_detail::TCheck;
}  // namespace

// Walls push a liquid or solid particle away and feel nothing themselves.
void TSPH::PushOffWalls(TParticle& p, std::size_t cell) {
    sph_detail::ForEachWithin(Solver->BoundaryCells, cell, p.PositionX, p.PositionY, RepulsiveDistSq,
                              [&](TParticle*, float dx, float dy, float d2) {
                                  const float t = sph_detail::WallPush(*this, d2);
                                  p.ForceX += t * dx;
                                  p.ForceY += t * dy;
                              });
}

void CreateBoundaryRect(TSPH* world, float x, float y, float width, float height) {
    const TCheck check("CreateBoundaryRect");
    const sph_detail::TSceneRect r = sph_detail::SceneRect(check, world, x, y, width, height);
    const std::int32_t count = sph_detail::LatticeCount(check, r, TSPH::BOUNDARY_SPACING);
    world->Reserve(0, 0, 0, count, 0);
    std::int32_t id = world->Numbering().Take(count, "CreateBoundaryRect");
    using sph_detail::ForEachLatticeCoordinate;
    ForEachLatticeCoordinate(r.X, static_cast<double>(r.X) + r.Width, TSPH::BOUNDARY_SPACING, [&](float u) {
        ForEachLatticeCoordinate(r.Y, static_cast<double>(r.Y) + r.Height, TSPH::BOUNDARY_SPACING, [&](float v) {
            world->AddBoundaryParticle(
                sph_detail::MakeBoundaryParticle(world, u * TSPH::UNIT_SCALE, v * TSPH::UNIT_SCALE, id++));
        });
    });
}
