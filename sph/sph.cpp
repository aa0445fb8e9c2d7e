#include "sph/sph.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <type_traits>

#include "sph/detail/checks.h"
#include "sph/detail/fluid_layout.h"
#include "sph/detail/fluid_phases.h"
#include "sph/detail/lattice.h"
#include "sph/detail/neighbours.h"
#include "sph/detail/particle_factory.h"
#include "sph/detail/solver.h"
#include "sph/fluid.h"
#include "sph/rigid.h"
#include "sph/solid.h"

namespace {

using sph_detail::TCheck;

// Number of cells needed to cover a length; the product is formed in double
// precision, so 77 units take 21 cells (20.0000003), not 20.
std::int32_t CellsToCover(float length) {
    const double cells = std::ceil(static_cast<double>(length) * TSPH::INV_SMOOTHING_LENGTH);
    return cells > 0 ? static_cast<std::int32_t>(cells) : 0;
}

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
void Append(TSPH::ParticleArray& array, std::int32_t& count, TParticle* p, Cells* cells) {
    const std::size_t length = Doubled(array.size(), static_cast<std::size_t>(count) + 1);
    if (cells) cells->Reserve(length);
    if (length != array.size()) array.resize(length, nullptr);
    array[static_cast<std::size_t>(count)] = p;
    ++count;
}

// The kind of particle an Add…Particle call takes; the material pointer is
// set for that kind alone, and names a material of this world.
template <class Material>
void CheckParticle(const TCheck& check, const TSPH& world, const TParticle* p, Material* TParticle::*kind,
                   const char* kindName) {
    check.Belongs("the particle", world, p);
    const bool fluid = p->Fluid, solid = p->Solid, rigid = p->Rigid;
    const bool only =
        (kind == nullptr && !fluid && !solid && !rigid) || (kind != nullptr && p->*kind && fluid + solid + rigid == 1);
    if (!only) check.Fail(std::string("the particle is not ") + kindName);
    if constexpr (!std::is_same_v<Material, void>) {
        if (kind && (p->*kind)->Integrator != &world) check.Fail("the particle's material belongs to another world");
    }
    check.Finite("the particle's x", p->PositionX);
    check.Finite("the particle's y", p->PositionY);
    // The step reads these before it writes them.
    for (const float v : {p->OldX, p->OldY, p->VelocityX, p->VelocityY, p->Density, p->Mass})
        if (!std::isfinite(v)) check.Fail("the particle's old position, velocity, density and mass must be finite");
}

}  // namespace

TSPH::TSPH()
    : FluidParticles(INITIAL_CAPACITY, nullptr),
      SolidParticles(INITIAL_CAPACITY, nullptr),
      RigidParticles(INITIAL_CAPACITY, nullptr),
      BoundaryParticles(INITIAL_CAPACITY, nullptr),
      Constraints{ParticleArray(INITIAL_CAPACITY, nullptr), ParticleArray(INITIAL_CAPACITY, nullptr)},
      ConstraintLength(INITIAL_CAPACITY, 0.0f),
      Solver(std::make_unique<sph_detail::TSolver>()),
      ParticleNumbers(std::make_shared<TParticleNumbering>()) {
    for (auto* list : {&Solver->SolidCells, &Solver->BoundaryCells}) list->Reserve(INITIAL_CAPACITY);
    Solver->FluidPack.Reserve(INITIAL_CAPACITY);
    SetTimestep(0.4f);
    SetRepulsion(30.0f, 0.5f);
    SetGravity(0.0f, 0.7f);
    SetParticleSize(8.0f);
}

TSPH::~TSPH() = default;

std::unique_ptr<TSPH> TSPH::Create(std::int32_t graphicsWidth, std::int32_t graphicsHeight, std::int32_t containerWidth,
                                   std::int32_t containerHeight, float scale,
                                   std::shared_ptr<TParticleNumbering> numbering) {
    // The setters check the rest before the world is seen by anyone.
    const TCheck check("TSPH::Create");
    check.Within("the container width", containerWidth, std::numeric_limits<std::int32_t>::max());
    check.Within("the container height", containerHeight, std::numeric_limits<std::int32_t>::max());
    auto world = std::make_unique<TSPH>();
    if (numbering) world->ParticleNumbers = std::move(numbering);
    world->SetGraphicsSize(graphicsWidth, graphicsHeight);
    world->SetContainerSize(static_cast<std::int32_t>(containerWidth * static_cast<double>(UNIT_SCALE)),
                            static_cast<std::int32_t>(containerHeight * static_cast<double>(UNIT_SCALE)));
    world->SetWorldScale(scale);
    return world;
}

void TSPH::SetGraphicsSize(std::int32_t width, std::int32_t height) {
    const TCheck check("TSPH::SetGraphicsSize");
    check.Within("the width", width, std::numeric_limits<std::int32_t>::max());
    check.Within("the height", height, std::numeric_limits<std::int32_t>::max());
    GWidth = width;
    GHeight = height;
}

// Everything sized by the grid is made before any of it replaces the old.
void TSPH::SetContainerSize(std::int32_t width, std::int32_t height) {
    const TCheck check("TSPH::SetContainerSize");
    check.Within("the width", width, MAX_CONTAINER_SIDE);
    check.Within("the height", height, MAX_CONTAINER_SIDE);
    const std::int32_t columns = CellsToCover(static_cast<float>(width));
    const std::int32_t rows = CellsToCover(static_cast<float>(height));
    const std::int64_t cells = std::int64_t{columns} * rows;
    if (cells > MAX_GRID_CELLS)
        check.Fail("a grid of " + std::to_string(columns) + " × " + std::to_string(rows) +
                   " cells passes the limit of " + std::to_string(MAX_GRID_CELLS));

    const auto n = static_cast<std::size_t>(cells);
    std::array<Grid, 4> grids;
    for (Grid& grid : grids) grid.assign(n, nullptr);
    sph_detail::TCellList solidCells, boundaryCells;
    solidCells.Resize(n);
    boundaryCells.Resize(n);
    sph_detail::TFluidPack pack;
    pack.Resize(n, static_cast<std::size_t>(columns));

    ContainerWidth = static_cast<float>(width);
    ContainerHeight = static_cast<float>(height);
    GridWidth = columns;
    GridHeight = rows;
    FluidGrid.swap(grids[0]);
    SolidGrid.swap(grids[1]);
    RigidGrid.swap(grids[2]);
    BoundaryGrid.swap(grids[3]);
    Solver->SolidCells.SwapCells(solidCells);
    Solver->BoundaryCells.SwapCells(boundaryCells);
    Solver->FluidPack.SwapCells(pack);
}

void TSPH::SetWorldScale(float scale) {
    TCheck("TSPH::SetWorldScale").Positive("the scale", scale);
    WorldScale = scale;
    InvWorldScale = 1.0f / scale;
}

void TSPH::SetTimestep(float dt) {
    TCheck("TSPH::SetTimestep").Positive("the timestep", dt);
    Timestep = dt;
    TimestepSq = dt * dt;
    InvTimestep = 1.0f / dt;
}

void TSPH::SetRepulsion(float distance, float strength) {
    const TCheck check("TSPH::SetRepulsion");
    check.Positive("the distance", distance);
    check.Finite("the strength", strength);
    RepulsiveDistance = distance * UNIT_SCALE;
    InvRepulsiveDistance = 1.0f / RepulsiveDistance;
    RepulsiveDistSq = RepulsiveDistance * RepulsiveDistance;
    RepulsiveD = strength;
}

void TSPH::SetGravity(float x, float y) {
    const TCheck check("TSPH::SetGravity");
    check.Finite("x", x);
    check.Finite("y", y);
    GravityX = x * UNIT_SCALE;
    GravityY = y * UNIT_SCALE;
}

void TSPH::SetParticleSize(float size) {
    TCheck("TSPH::SetParticleSize").NotNegative("the size", size);
    ParticleSize = size;
}

void TSPH::SetTaskRunner(TTaskRunner* runner, const TSplitSettings& settings) {
    const TCheck check("TSPH::SetTaskRunner");
    for (const std::int32_t least : {settings.MinParticlesPerThread, settings.MinColumnsPerThread,
                                     settings.MinIntegratedPerThread, settings.MinCountedPerThread})
        if (least < 1)
            check.Fail("every least share of a thread must be at least 1 (got " + std::to_string(least) + ")");
    Solver->Runner = runner;
    Solver->Settings = settings;
}

TTaskRunner* TSPH::GetTaskRunner() const { return Solver->Runner; }

std::int32_t TSPH::GetParticleCount() const { return FluidCount + SolidCount + RigidCount + BoundaryCount; }

namespace {

// A material registers with the world that owns it, once it names it.
template <class Material>
void CheckMaterial(const TCheck& check, const TSPH& world, const Material* material,
                   const std::vector<std::unique_ptr<Material>>& owned) {
    check.NotNull("the material", material);
    const bool mine = std::any_of(owned.begin(), owned.end(), [&](const auto& m) { return m.get() == material; });
    if (!mine || material->Integrator != &world) check.Fail("the material belongs to another world");
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

void TSPH::AddFluidParticle(TParticle* p) {
    CheckParticle(TCheck("TSPH::AddFluidParticle"), *this, p, &TParticle::Fluid, "a liquid particle");
    Append(FluidParticles, FluidCount, p, &Solver->FluidPack);
}

void TSPH::AddSolidParticle(TParticle* p) {
    CheckParticle(TCheck("TSPH::AddSolidParticle"), *this, p, &TParticle::Solid, "a solid particle");
    Append(SolidParticles, SolidCount, p, &Solver->SolidCells);
}

void TSPH::AddRigidParticle(TParticle* p) {
    CheckParticle(TCheck("TSPH::AddRigidParticle"), *this, p, &TParticle::Rigid, "a rigid-body vertex");
    Append(RigidParticles, RigidCount, p, static_cast<sph_detail::TCellList*>(nullptr));
}

void TSPH::AddBoundaryParticle(TParticle* p) {
    CheckParticle<void>(TCheck("TSPH::AddBoundaryParticle"), *this, p, nullptr, "a wall particle");
    Append(BoundaryParticles, BoundaryCount, p, &Solver->BoundaryCells);
}

namespace {

template <class Material>
void AdoptOnce(const TCheck& check, const TSPH& world, std::vector<std::unique_ptr<Material>>& owned,
               std::unique_ptr<Material>& material) {
    check.NotNull("the material", material.get());
    if (material->Integrator && material->Integrator != &world) check.Fail("the material belongs to another world");
    owned.push_back(std::move(material));
}

}  // namespace

void TSPH::Adopt(std::unique_ptr<TFluid> fluid) { AdoptOnce(TCheck("TSPH::Adopt"), *this, OwnedFluids, fluid); }
void TSPH::Adopt(std::unique_ptr<TSolid> solid) { AdoptOnce(TCheck("TSPH::Adopt"), *this, OwnedSolids, solid); }
void TSPH::Adopt(std::unique_ptr<TRigid> rigid) { AdoptOnce(TCheck("TSPH::Adopt"), *this, OwnedRigids, rigid); }

// A full block is followed by a reserved one if there is one.
TParticle* TSPH::NewParticle() {
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

bool TSPH::Owns(const TParticle* p) const {
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
    for (const std::int32_t n : {fluid, solid, rigid, boundary, constraints})
        check.Within("a count", n, std::numeric_limits<std::int32_t>::max());
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
    if (Solver->FluidPack.Fill.size() != cells) check.Fail("the grid's size changed without SetContainerSize");
}

// The twelve phases in their order, with two shortcuts that change no
// result: the liquid's accumulators start at zero inside the fluid passes
// rather than in the records (Fluid_Reset), and the liquid is integrated at
// the end of its force pass (Fluid_Integrate), since no phase in between
// (solid and rigid forces, constraints) reads or writes a fluid particle.
//
// Only a world whose caller has lent it threads and asked it to choose its
// split from the times of its steps (TSplitSettings::Adaptive) reads the
// clock.
void TSPH::Update() {
    CheckState("TSPH::Update");
    using Clock = std::chrono::steady_clock;
    const bool timed = Solver->Runner && Solver->Settings.Adaptive;
    const auto start = timed ? Clock::now() : Clock::time_point();
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
    const sph_detail::TFluidPack& P = Solver->FluidPack;
    if (timed && P.ChoiceTimed) {
        const std::chrono::duration<double> took = Clock::now() - start;
        Solver->SplitChoice.Record(P.Threads > 1, took.count() / FluidCount);
    }
}

void TSPH::RedistributeGrid() {
    CheckState("TSPH::RedistributeGrid");
    for (Grid* grid : {&FluidGrid, &SolidGrid, &RigidGrid, &BoundaryGrid})
        std::fill(grid->begin(), grid->end(), nullptr);
    sph_detail::LayOutLiquid(*this, *Solver, true);  // MapParticlesToGrid for the liquid, and its layout
    MapIntoGrid(SolidParticles, SolidCount, SolidGrid, INV_SMOOTHING_LENGTH);
    MapIntoGrid(RigidParticles, RigidCount, RigidGrid, INV_SMOOTHING_LENGTH);
    MapIntoGrid(BoundaryParticles, BoundaryCount, BoundaryGrid, INV_SMOOTHING_LENGTH);
    // Nothing walks the rigid grid.
    Solver->SolidCells.LayOut(SolidGrid);
    Solver->BoundaryCells.LayOut(BoundaryGrid);
}

// Each particle becomes the head of its cell's chain, so a chain lists the
// most recently registered particle first. The products are formed in double
// precision: 3.85 × 0.259740263 is 0.99999999, which floors to column 0.
// Particles outside the grid are left out and their Succ is not touched.
void TSPH::MapParticlesToGrid(const ParticleArray& particles, std::int32_t count, Grid& grid, float scale) {
    const TCheck check("TSPH::MapParticlesToGrid");
    if (count < 0 || static_cast<std::size_t>(count) > particles.size())
        check.Fail("the count " + std::to_string(count) + " passes the array of " + std::to_string(particles.size()));
    if (grid.size() != static_cast<std::size_t>(GridWidth) * static_cast<std::size_t>(GridHeight))
        check.Fail("the grid has " + std::to_string(grid.size()) + " cells, not GridWidth × GridHeight");
    check.Finite("the scale", scale);
    for (std::int32_t i = 0; i < count; ++i) check.NotNull("a particle", particles[static_cast<std::size_t>(i)]);
    MapIntoGrid(particles, count, grid, scale);
}

void TSPH::MapIntoGrid(const ParticleArray& particles, std::int32_t count, Grid& grid, float scale) {
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

// Walls push a liquid or solid particle away and feel nothing themselves.
void TSPH::PushOffWalls(TParticle& p, std::size_t cell) {
    sph_detail::ForEachWithin(Solver->BoundaryCells, cell, p.PositionX, p.PositionY, RepulsiveDistSq,
                              [&](TParticle*, float dx, float dy, float d2) {
                                  const float t = sph_detail::Repulsion(RepulsiveDistSq, RepulsiveD, d2);
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

void sph_detail::TCellList::LayOut(const std::vector<TParticle*>& grid) {
    constexpr float inf = std::numeric_limits<float>::infinity();
    std::size_t n = 0;
    for (std::size_t k = 0; k < grid.size(); ++k) {
        First[k] = n;
        TCellBox box{inf, inf, -inf, -inf};
        for (TParticle* p = grid[k]; p && n < Entries.size(); p = p->Succ) {
            Entries[n++] = {p->PositionX, p->PositionY, p->ID, p};
            box = {std::min(box.MinX, p->PositionX), std::min(box.MinY, p->PositionY), std::max(box.MaxX, p->PositionX),
                   std::max(box.MaxY, p->PositionY)};
        }
        Boxes[k] = box;
    }
    First[grid.size()] = n;
}
