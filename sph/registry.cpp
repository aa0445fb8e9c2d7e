// What a world holds: its materials and particles, registered once each,
// the arena the world's particles live in, and room reserved ahead of them.
#include "sph/sph.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "sph/detail/checks.h"
#include "sph/detail/solver.h"
#include "sph/detail/state_access.h"
#include "sph/fluid.h"
#include "sph/particle.h"
#include "sph/rigid.h"
#include "sph/solid.h"

namespace {

using sph_detail::TCheck;

// The length an array of `length` entries doubles to until it holds `needed`.
std::size_t Doubled(std::size_t length, std::size_t needed) {
    while (length < needed) length *= 2;
    return length;
}

// A copy of `array` grown to `length`, or nothing when it is long enough;
// made before it replaces the array, so a failed allocation changes nothing.
template <class T>
std::vector<T> Grown(const std::vector<T>& array, std::size_t length) {
    if (length <= array.size()) return {};
    std::vector<T> grown(length, T());
    std::copy(array.begin(), array.end(), grown.begin());
    return grown;
}

template <class T>
void TakeGrown(std::vector<T>& array, std::vector<T>& grown) {
    if (!grown.empty()) array.swap(grown);
}

// Registers p at index count, doubling the array first when it is full; the
// cell list, if any, keeps room for every registered particle. The cell list
// grows first: if the array cannot, the particle is not registered and a
// longer cell list harms nothing.
template <class Cells>
void Append(sph_detail::TWorldState::ParticleArray& array, std::int32_t& count, const TParticle* p, Cells* cells) {
    const std::size_t length = Doubled(array.size(), static_cast<std::size_t>(count) + 1);
    if (cells) cells->Reserve(length);
    if (length != array.size()) array.resize(length, nullptr);
    // Particles are made mutable in the world's arena and handed out const.
    array[static_cast<std::size_t>(count)] = const_cast<TParticle*>(p);
    ++count;
}

// The kind of particle an Add…Particle call takes; the material pointer is
// set for that kind alone, and names a material of this world.
template <class Material>
void CheckParticle(const TCheck& check, const TSPH& world, const TParticle* p, Material* TParticle::*kind,
                   const char* kindName) {
    check.Belongs("the particle", sph_detail::StateOf(world), p);
    const bool fluid = p->Fluid, solid = p->Solid, rigid = p->Rigid;
    const bool only =
        (kind == nullptr && !fluid && !solid && !rigid) || (kind != nullptr && p->*kind && fluid + solid + rigid == 1);
    if (!only) check.Fail(std::string("the particle is not ") + kindName);
    if constexpr (!std::is_same_v<Material, void>) {
        if (kind && (p->*kind)->GetWorld() != &world) check.Fail("the particle's material belongs to another world");
    }
    check.Finite("the particle's x", p->PositionX);
    check.Finite("the particle's y", p->PositionY);
    // The step reads these before it writes them.
    for (const float v : {p->OldX, p->OldY, p->VelocityX, p->VelocityY, p->Density, p->Mass})
        if (!std::isfinite(v)) check.Fail("the particle's old position, velocity, density and mass must be finite");
}

// A material registers with the world that owns it, once it names it.
template <class Material>
void CheckMaterial(const TCheck& check, const TSPH& world, const Material* material,
                   const std::vector<std::shared_ptr<Material>>& owned) {
    check.NotNull("the material", material);
    const bool mine = std::any_of(owned.begin(), owned.end(), [&](const auto& m) { return m.get() == material; });
    if (!mine || material->GetWorld() != &world) check.Fail("the material belongs to another world");
}

}  // namespace

void TSPH::AddFluid(TFluid* fluid) {
    CheckMaterial(TCheck("TSPH::AddFluid"), *this, fluid, OwnedFluids);
    Fluids.push_back(fluid);
}

void TSPH::AddSolid(TSolid* solid) {
    CheckMaterial(TCheck("TSPH::AddSolid"), *this, solid, OwnedSolids);
    Solids.push_back(solid);
}

void TSPH::AddRigid(TRigid* rigid) {
    CheckMaterial(TCheck("TSPH::AddRigid"), *this, rigid, OwnedRigids);
    Rigids.push_back(rigid);
}

void TSPH::AddFluidParticle(const TParticle* p) {
    CheckParticle(TCheck("TSPH::AddFluidParticle"), *this, p, &TParticle::Fluid, "a liquid particle");
    Append(FluidParticles, FluidCount, p, &Solver->FluidPack);
}

void TSPH::AddSolidParticle(const TParticle* p) {
    CheckParticle(TCheck("TSPH::AddSolidParticle"), *this, p, &TParticle::Solid, "a solid particle");
    Append(SolidParticles, SolidCount, p, &Solver->SolidCells);
}

void TSPH::AddRigidParticle(const TParticle* p) {
    CheckParticle(TCheck("TSPH::AddRigidParticle"), *this, p, &TParticle::Rigid, "a rigid-body vertex");
    Append(RigidParticles, RigidCount, p, static_cast<sph_detail::TCellList*>(nullptr));
}

void TSPH::AddBoundaryParticle(const TParticle* p) {
    CheckParticle<void>(TCheck("TSPH::AddBoundaryParticle"), *this, p, nullptr, "a wall particle");
    Append(BoundaryParticles, BoundaryCount, p, &Solver->BoundaryCells);
}

std::int32_t TSPH::GetParticleCount() const { return FluidCount + SolidCount + RigidCount + BoundaryCount; }

// A full block is followed by a reserved one if there is one.
TParticle* sph_detail::TWorldState::NewParticle() {
    if (ArenaUsed == ARENA_BLOCK) {
        if (SpareBlocks.empty()) {
            ArenaBlocks.push_back(std::make_unique<TParticle[]>(ARENA_BLOCK));
        } else {
            ArenaBlocks.push_back(std::move(SpareBlocks.back()));
            SpareBlocks.pop_back();
        }
        ArenaUsed = 0;
    }
    return &ArenaBlocks.back()[ArenaUsed++];
}

bool sph_detail::TWorldState::Owns(const TParticle* p) const {
    const std::less<const TParticle*> before;
    for (auto block = ArenaBlocks.rbegin(); block != ArenaBlocks.rend(); ++block) {
        const TParticle* first = block->get();
        if (!before(p, first) && before(p, first + ARENA_BLOCK)) return true;
    }
    return false;
}

// Each array grows to the length that adding one at a time would give it.
// Everything is allocated before anything is replaced.
void TSPH::Reserve(std::int32_t fluid, std::int32_t solid, std::int32_t rigid, std::int32_t boundary,
                   std::int32_t constraints) {
    const TCheck check("TSPH::Reserve");
    for (const std::int32_t n : {fluid, solid, rigid, boundary, constraints}) check.Within("a count", n, MAX_RESERVE);
    auto length = [](const ParticleArray& array, std::int32_t count, std::int32_t more) {
        return Doubled(array.size(), static_cast<std::size_t>(count) + static_cast<std::size_t>(more));
    };
    const std::size_t fluidLength = length(FluidParticles, FluidCount, fluid);
    const std::size_t solidLength = length(SolidParticles, SolidCount, solid);
    const std::size_t boundaryLength = length(BoundaryParticles, BoundaryCount, boundary);
    const std::size_t constraintLength = length(Constraints[0], ConstraintCount, constraints);
    // Longer cell lists than the arrays harm nothing, so these may go first.
    Solver->FluidPack.Reserve(fluidLength);
    Solver->SolidCells.Reserve(solidLength);
    Solver->BoundaryCells.Reserve(boundaryLength);

    ParticleArray fluids = Grown(FluidParticles, fluidLength), solids = Grown(SolidParticles, solidLength),
                  rigids = Grown(RigidParticles, length(RigidParticles, RigidCount, rigid)),
                  walls = Grown(BoundaryParticles, boundaryLength), ends0 = Grown(Constraints[0], constraintLength),
                  ends1 = Grown(Constraints[1], constraintLength);
    std::vector<float> restLengths = Grown(ConstraintLength, constraintLength);
    const std::size_t particles = static_cast<std::size_t>(fluid) + solid + rigid + boundary;
    const std::size_t free = ARENA_BLOCK - ArenaUsed + SpareBlocks.size() * ARENA_BLOCK;
    std::vector<std::unique_ptr<TParticle[]>> blocks((std::max(particles, free) - free + ARENA_BLOCK - 1) /
                                                     ARENA_BLOCK);
    for (auto& block : blocks) block = std::make_unique<TParticle[]>(ARENA_BLOCK);
    SpareBlocks.reserve(SpareBlocks.size() + blocks.size());
    ArenaBlocks.reserve(ArenaBlocks.size() + SpareBlocks.size() + blocks.size());

    TakeGrown(FluidParticles, fluids);
    TakeGrown(SolidParticles, solids);
    TakeGrown(RigidParticles, rigids);
    TakeGrown(BoundaryParticles, walls);
    TakeGrown(Constraints[0], ends0);
    TakeGrown(Constraints[1], ends1);
    TakeGrown(ConstraintLength, restLengths);
    for (auto& block : blocks) SpareBlocks.push_back(std::move(block));
}
