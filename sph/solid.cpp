// Elastic solids: the material, its lattices and constraints, and the solid
// phases of the step.
#include "sph/solid.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "sph/detail/checks.h"
#include "sph/detail/lattice.h"
#include "sph/detail/neighbours.h"
#include "sph/detail/particle_factory.h"
#include "sph/detail/pushes.h"
#include "sph/detail/solver.h"
#include "sph/sph.h"

namespace {

constexpr float SOLID_REPULSION_FACTOR = 0.8f;  // of RepulsiveDistSq, between solid particles
constexpr float MAX_SPEED_SQ = 4.0f;
constexpr float BROUGHT_BACK_SPEED_SQ = 2.0f;  // a faster particle leaves at speed √2

}  // namespace

std::shared_ptr<TSolid> TSolid::Create(TSPH* world) {
    sph_detail::TCheck("TSolid::Create").NotNull("the world", world);
    return sph_detail::JoinWorld(world, std::shared_ptr<TSolid>(new TSolid()), world->OwnedSolids, world->Solids);
}

TSolid::TSolid() { SetStiffness(0.9f); }

// A share: past 1 each correction overshoots, and the error of a block's
// constraints grows from step to step until it is no longer a number.
void TSolid::SetStiffness(float s) {
    const sph_detail::TCheck check("TSolid::SetStiffness");
    if (!(s >= 0 && s <= 1)) check.Fail("the stiffness must lie between 0 and 1 (got " + sph_detail::Shown(s) + ")");
    Stiffness = s;
}

void TSolid::SetColor(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    ColorR = r;
    ColorG = g;
    ColorB = b;
}

void TSolid::GetColor(std::uint8_t& r, std::uint8_t& g, std::uint8_t& b) const {
    r = ColorR;
    g = ColorG;
    b = ColorB;
}

namespace {

// A block's particles, slot [i, j] at i × Rows + j.
struct TLattice {
    std::size_t Columns, Rows;
    std::vector<TParticle*> Slots;

    TLattice(std::size_t columns, std::size_t rows) : Columns(columns), Rows(rows), Slots(columns * rows) {}
    TParticle* At(std::size_t i, std::size_t j) const { return Slots[i * Rows + j]; }
    // Every cell of the lattice adds its four sides, every 2 × 2 cells two diagonals.
    std::size_t ConstraintCount() const {
        const std::size_t sides = Columns > 1 && Rows > 1 ? 4 * (Columns - 1) * (Rows - 1) : 0;
        const std::size_t diagonals = Columns > 2 && Rows > 2 ? 2 * (Columns - 2) * (Rows - 2) : 0;
        return sides + diagonals;
    }
};

// Makes and registers the block's particles column by column, numbered from
// `id` on, each moving at (vx, vy).
void LayParticles(TSPH* world, TSolid* solid, const sph_detail::TSceneRect& r, float vx, float vy, std::int32_t id,
                  TLattice& lattice) {
    for (std::size_t i = 0; i < lattice.Columns; ++i) {
        const float ox = static_cast<float>(i) * TSPH::SOLID_SPACING;
        for (std::size_t j = 0; j < lattice.Rows; ++j) {
            const float oy = static_cast<float>(j) * TSPH::SOLID_SPACING;
            TParticle* p = sph_detail::MakeSolidParticle((ox + r.X) * TSPH::UNIT_SCALE, (oy + r.Y) * TSPH::UNIT_SCALE,
                                                         solid, id++);
            p->OldX -= vx;
            p->OldY -= vy;
            lattice.Slots[i * lattice.Rows + j] = p;
            world->AddSolidParticle(p);
        }
    }
}

void ConstrainLattice(TSPH* world, const TLattice& l) {
    // Every cell adds its four sides, so a side shared by two cells is
    // constrained twice; that doubles the stiffness inside the block.
    for (std::size_t i = 0; i + 1 < l.Columns; ++i) {
        for (std::size_t j = 0; j + 1 < l.Rows; ++j) {
            world->AddConstraint(l.At(i, j), l.At(i + 1, j));
            world->AddConstraint(l.At(i, j), l.At(i, j + 1));
            world->AddConstraint(l.At(i, j + 1), l.At(i + 1, j + 1));
            world->AddConstraint(l.At(i + 1, j), l.At(i + 1, j + 1));
        }
    }
    // Long diagonals across 2 × 2 cells keep the block from shearing.
    for (std::size_t i = 0; i + 2 < l.Columns; ++i) {
        for (std::size_t j = 0; j + 2 < l.Rows; ++j) {
            world->AddConstraint(l.At(i, j), l.At(i + 2, j + 2));
            world->AddConstraint(l.At(i, j + 2), l.At(i + 2, j));
        }
    }
}

}  // namespace

void TSolid::CreateRect(float x, float y, float width, float height, float vx, float vy) {
    const sph_detail::TCheck check("TSolid::CreateRect");
    if (!Integrator) check.Fail("the solid's world is gone");
    TSPH* world = Integrator;
    const sph_detail::TSceneRect r = sph_detail::SceneRect(check, world, x, y, width, height);
    check.Finite("vx", vx);
    check.Finite("vy", vy);
    // Offsets 0, 25, 50, … strictly below the extent: ceil(extent / 25) of them.
    const double columns = std::ceil(static_cast<double>(r.Width) / TSPH::SOLID_SPACING);
    const double rows = std::ceil(static_cast<double>(r.Height) / TSPH::SOLID_SPACING);
    if (!(columns > 0 && rows > 0)) return;
    if (columns * rows > static_cast<double>(TSPH::MAX_BLOCK_PARTICLES))
        check.Fail("the rectangle would lay " + sph_detail::Shown(columns) + " × " + sph_detail::Shown(rows) +
                   " particles, more than " + std::to_string(TSPH::MAX_BLOCK_PARTICLES));

    TLattice lattice(static_cast<std::size_t>(columns), static_cast<std::size_t>(rows));
    const auto count = static_cast<std::int32_t>(lattice.Slots.size());
    world->Reserve(0, count, 0, 0, static_cast<std::int32_t>(lattice.ConstraintCount()));
    LayParticles(world, this, r, vx, vy, world->Numbering().Take(count, "TSolid::CreateRect"), lattice);
    ConstrainLattice(world, lattice);
}

void TSPH::AddConstraint(const TParticle* a, const TParticle* b) {
    const sph_detail::TCheck check("TSPH::AddConstraint");
    for (const TParticle* end : {a, b}) {
        check.Belongs("an end", *this, end);
        if (!end->Solid || end->Fluid || end->Rigid) check.Fail("an end is not a solid particle");
    }
    if (static_cast<std::size_t>(ConstraintCount) == ConstraintLength.size()) Reserve(0, 0, 0, 0, 1);
    const auto k = static_cast<std::size_t>(ConstraintCount);
    const float dx = a->PositionX - b->PositionX;
    const float dy = a->PositionY - b->PositionY;
    // Particles are made mutable in the world's arena and handed out const.
    Constraints[0][k] = const_cast<TParticle*>(a);
    Constraints[1][k] = const_cast<TParticle*>(b);
    ConstraintLength[k] = std::sqrt(dx * dx + dy * dy);
    ++ConstraintCount;
}

// A solid particle's force is an acceleration, starting at gravity.
void TSPH::Solid_Reset() {
    CheckState("TSPH::Solid_Reset");
    for (std::int32_t k = 0; k < SolidCount; ++k) {
        TParticle* p = SolidParticles[static_cast<std::size_t>(k)];
        p->ForceX = GravityX;
        p->ForceY = GravityY;
    }
}

void TSPH::Solid_CalcForces() {
    CheckState("TSPH::Solid_CalcForces");
    const float solidDistSq = SOLID_REPULSION_FACTOR * RepulsiveDistSq;

    for (std::int32_t k = 0; k < SolidCount; ++k) {
        TParticle* p = SolidParticles[static_cast<std::size_t>(k)];
        const float px = p->PositionX, py = p->PositionY;
        const std::int32_t pid = p->ID;

        sph_detail::ForEachNeighbourCell(*this, px, py, [&](std::size_t cell) {
            PushOffWalls(*p, cell);
            // Every pair of solid particles, of one solid or two, once.
            sph_detail::ForEachLowerNumberedWithin(
                Solver->SolidCells, cell, pid, px, py, solidDistSq, [&](TParticle* q, float ex, float ey, float d2) {
                    const float f = 0.5f * sph_detail::Repulsion(solidDistSq, RepulsiveD, d2);
                    p->ForceX += f * ex;
                    p->ForceY += f * ey;
                    q->ForceX -= f * ex;
                    q->ForceY -= f * ey;
                });
        });

        sph_detail::PushOffEdges(*this, px, py, 1.0f, false, p->ForceX, p->ForceY);
    }
}

// One pass in insertion order; each correction sees the positions moved by
// the ones before it. A constraint whose ends coincide has no direction and
// is skipped for the step.
void TSPH::Constraints_Update() {
    CheckState("TSPH::Constraints_Update");
    for (std::int32_t k = 0; k < ConstraintCount; ++k) {
        const auto i = static_cast<std::size_t>(k);
        TParticle* a = Constraints[0][i];
        TParticle* b = Constraints[1][i];
        const float ex = b->PositionX - a->PositionX;
        const float ey = b->PositionY - a->PositionY;
        const float d = std::sqrt(ex * ex + ey * ey);
        if (!(d > 0)) continue;
        const float e = (d - ConstraintLength[i]) / d;
        const float s = e * 0.5f * a->Solid->Stiffness;
        a->PositionX += ex * s;
        a->PositionY += ey * s;
        b->PositionX -= ex * s;
        b->PositionY -= ey * s;
    }
}

// Position Verlet without damping, clamped into the container; a particle
// faster than 2 is brought back to √2. The speed limit pulls the particle
// back towards where it started the step, which the constraint pass may have
// pushed outside, so the limited position is clamped again: every solid
// particle ends the step inside the container.
void TSPH::Solid_Integrate() {
    CheckState("TSPH::Solid_Integrate");
    for (std::int32_t k = 0; k < SolidCount; ++k) {
        TParticle* p = SolidParticles[static_cast<std::size_t>(k)];
        const float ox = p->PositionX;
        const float oy = p->PositionY;
        float x = ox + ((ox - p->OldX) + TimestepSq * p->ForceX);
        float y = oy + ((oy - p->OldY) + TimestepSq * p->ForceY);
        x = std::max(std::min(x, ContainerWidth), 0.0f);
        y = std::max(std::min(y, ContainerHeight), 0.0f);
        p->OldX = ox;
        p->OldY = oy;
        const float vx = (x - ox) * InvTimestep;
        const float vy = (y - oy) * InvTimestep;
        const float speedSq = vx * vx + vy * vy;
        if (speedSq > MAX_SPEED_SQ) {
            const float c = std::sqrt(BROUGHT_BACK_SPEED_SQ / speedSq);
            x = std::max(std::min(ox + vx * c * Timestep, ContainerWidth), 0.0f);
            y = std::max(std::min(oy + vy * c * Timestep, ContainerHeight), 0.0f);
        }
        p->PositionX = x;
        p->PositionY = y;
        p->ScreenX = x * INV_UNIT_SCALE * WorldScale;
        p->ScreenY = y * INV_UNIT_SCALE * WorldScale;
    }
}
