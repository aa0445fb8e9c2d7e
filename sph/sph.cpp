#include "sph/sph.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>

#include "sph/detail/fluid_layout.h"
#include "sph/detail/fluid_phases.h"
#include "sph/detail/lattice.h"
#include "sph/detail/neighbours.h"
#include "sph/detail/solver.h"
#include "sph/fluid.h"
#include "sph/rigid.h"
#include "sph/solid.h"

namespace {

TTextureLoader textureLoader = nullptr;

// Registers p at index count, doubling the array first when it is full; the
// cell list, if any, keeps room for every registered particle.
template <class Cells = sph_detail::TCellList>
void Append(TSPH::ParticleArray& array, std::int32_t& count, TParticle* p, Cells* cells = nullptr) {
    if (static_cast<std::size_t>(count) == array.size()) array.resize(array.size() * 2, nullptr);
    array[static_cast<std::size_t>(count)] = p;
    ++count;
    if (cells) cells->Reserve(array.size());
}

// Number of cells needed to cover a length; the product is formed in double
// precision, so 77 units take 21 cells (20.0000003), not 20.
std::int32_t CellsToCover(float length) {
    const double cells = std::ceil(static_cast<double>(length) * TSPH::INV_SMOOTHING_LENGTH);
    return cells > 0 ? static_cast<std::int32_t>(cells) : 0;
}

}  // namespace

void SetParticleTextureLoader(TTextureLoader loader) { textureLoader = loader; }

TSPH::TSPH()
    : FluidParticles(INITIAL_CAPACITY, nullptr),
      SolidParticles(INITIAL_CAPACITY, nullptr),
      RigidParticles(INITIAL_CAPACITY, nullptr),
      BoundaryParticles(INITIAL_CAPACITY, nullptr),
      Constraints{ParticleArray(INITIAL_CAPACITY, nullptr), ParticleArray(INITIAL_CAPACITY, nullptr)},
      ConstraintLength(INITIAL_CAPACITY, 0.0f),
      Solver(std::make_unique<sph_detail::TSolver>()) {
    for (auto* list : {&Solver->SolidCells, &Solver->BoundaryCells}) list->Reserve(INITIAL_CAPACITY);
    Solver->FluidPack.Reserve(INITIAL_CAPACITY);
    SetTimestep(0.4f);
    SetRepulsion(30.0f, 0.5f);
    SetGravity(0.0f, 0.7f);
    SetParticleSize(8.0f);
    if (textureLoader) ParticleTex = textureLoader();
}

TSPH::~TSPH() = default;

std::unique_ptr<TSPH> TSPH::Create(std::int32_t graphicsWidth, std::int32_t graphicsHeight, std::int32_t containerWidth,
                                   std::int32_t containerHeight, float scale) {
    auto world = std::make_unique<TSPH>();
    world->SetGraphicsSize(graphicsWidth, graphicsHeight);
    world->SetContainerSize(static_cast<std::int32_t>(containerWidth * static_cast<double>(UNIT_SCALE)),
                            static_cast<std::int32_t>(containerHeight * static_cast<double>(UNIT_SCALE)));
    world->SetWorldScale(scale);
    return world;
}

void TSPH::SetGraphicsSize(std::int32_t width, std::int32_t height) {
    GWidth = width;
    GHeight = height;
}

void TSPH::SetContainerSize(std::int32_t width, std::int32_t height) {
    ContainerWidth = static_cast<float>(width);
    ContainerHeight = static_cast<float>(height);
    GridWidth = CellsToCover(ContainerWidth);
    GridHeight = CellsToCover(ContainerHeight);
    const auto cells = static_cast<std::size_t>(GridWidth) * static_cast<std::size_t>(GridHeight);
    for (Grid* grid : {&FluidGrid, &SolidGrid, &RigidGrid, &BoundaryGrid}) grid->assign(cells, nullptr);
    for (auto* list : {&Solver->SolidCells, &Solver->BoundaryCells}) list->Resize(cells);
    Solver->FluidPack.Resize(cells, static_cast<std::size_t>(GridWidth));
}

void TSPH::SetWorldScale(float scale) {
    WorldScale = scale;
    InvWorldScale = 1.0f / scale;
}

void TSPH::SetTimestep(float dt) {
    Timestep = dt;
    TimestepSq = dt * dt;
    InvTimestep = 1.0f / dt;
}

void TSPH::SetRepulsion(float distance, float strength) {
    RepulsiveDistance = distance * UNIT_SCALE;
    InvRepulsiveDistance = 1.0f / RepulsiveDistance;
    RepulsiveDistSq = RepulsiveDistance * RepulsiveDistance;
    RepulsiveD = strength;
}

void TSPH::SetGravity(float x, float y) {
    GravityX = x * UNIT_SCALE;
    GravityY = y * UNIT_SCALE;
}

void TSPH::SetParticleSize(float size) { ParticleSize = size; }

void TSPH::SetTaskRunner(TTaskRunner* runner, const TSplitSettings& settings) {
    Solver->Runner = runner;
    Solver->Settings = settings;
}

TTaskRunner* TSPH::GetTaskRunner() const { return Solver->Runner; }

std::int32_t TSPH::GetParticleCount() const { return FluidCount + SolidCount + RigidCount + BoundaryCount; }

void TSPH::AddFluid(TFluid* fluid) { Fluids.push_back(fluid); }
void TSPH::AddSolid(TSolid* solid) { Solids.push_back(solid); }
void TSPH::AddRigid(TRigid* rigid) { Rigids.push_back(rigid); }

void TSPH::AddFluidParticle(TParticle* p) { Append(FluidParticles, FluidCount, p, &Solver->FluidPack); }
void TSPH::AddSolidParticle(TParticle* p) { Append(SolidParticles, SolidCount, p, &Solver->SolidCells); }
void TSPH::AddRigidParticle(TParticle* p) { Append(RigidParticles, RigidCount, p); }
void TSPH::AddBoundaryParticle(TParticle* p) { Append(BoundaryParticles, BoundaryCount, p, &Solver->BoundaryCells); }

void TSPH::Adopt(std::unique_ptr<TFluid> fluid) { OwnedFluids.push_back(std::move(fluid)); }
void TSPH::Adopt(std::unique_ptr<TSolid> solid) { OwnedSolids.push_back(std::move(solid)); }
void TSPH::Adopt(std::unique_ptr<TRigid> rigid) { OwnedRigids.push_back(std::move(rigid)); }

TParticle* TSPH::NewParticle() {
    if (ArenaUsed == ARENA_BLOCK) {
        ArenaBlocks.push_back(std::make_unique<TParticle[]>(ARENA_BLOCK));
        ArenaUsed = 0;
    }
    return &ArenaBlocks.back()[ArenaUsed++];
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
    for (Grid* grid : {&FluidGrid, &SolidGrid, &RigidGrid, &BoundaryGrid})
        std::fill(grid->begin(), grid->end(), nullptr);
    sph_detail::LayOutLiquid(*this, *Solver, true);  // MapParticlesToGrid for the liquid, and its layout
    MapParticlesToGrid(SolidParticles, SolidCount, SolidGrid, INV_SMOOTHING_LENGTH);
    MapParticlesToGrid(RigidParticles, RigidCount, RigidGrid, INV_SMOOTHING_LENGTH);
    MapParticlesToGrid(BoundaryParticles, BoundaryCount, BoundaryGrid, INV_SMOOTHING_LENGTH);
    // Nothing walks the rigid grid.
    Solver->SolidCells.LayOut(SolidGrid);
    Solver->BoundaryCells.LayOut(BoundaryGrid);
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
    const float x0 = x * world->InvWorldScale;
    const float y0 = y * world->InvWorldScale;
    const float w = width * world->InvWorldScale;
    const float h = height * world->InvWorldScale;
    using sph_detail::ForEachLatticeCoordinate;
    ForEachLatticeCoordinate(x0, static_cast<double>(x0) + w, TSPH::BOUNDARY_SPACING, [&](float u) {
        ForEachLatticeCoordinate(y0, static_cast<double>(y0) + h, TSPH::BOUNDARY_SPACING, [&](float v) {
            world->AddBoundaryParticle(
                TParticle::CreateBoundaryParticle(world, u * TSPH::UNIT_SCALE, v * TSPH::UNIT_SCALE));
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
