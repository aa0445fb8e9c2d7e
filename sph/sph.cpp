#include "sph/sph.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>

#include "sph/fluid.h"
#include "sph/lattice.h"
#include "sph/neighbours.h"
#include "sph/rigid.h"
#include "sph/solid.h"
#include "sph/workers.h"

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
      ConstraintLength(INITIAL_CAPACITY, 0.0f) {
    for (auto* list : {&SolidCells, &BoundaryCells}) list->Reserve(INITIAL_CAPACITY);
    FluidPack.Reserve(INITIAL_CAPACITY);
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
    for (auto* list : {&SolidCells, &BoundaryCells}) list->Resize(cells);
    FluidPack.Resize(cells, static_cast<std::size_t>(GridWidth));
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

std::int32_t TSPH::GetParticleCount() const { return FluidCount + SolidCount + RigidCount + BoundaryCount; }

void TSPH::AddFluid(TFluid* fluid) { Fluids.push_back(fluid); }
void TSPH::AddSolid(TSolid* solid) { Solids.push_back(solid); }
void TSPH::AddRigid(TRigid* rigid) { Rigids.push_back(rigid); }

void TSPH::AddFluidParticle(TParticle* p) { Append(FluidParticles, FluidCount, p, &FluidPack); }
void TSPH::AddSolidParticle(TParticle* p) { Append(SolidParticles, SolidCount, p, &SolidCells); }
void TSPH::AddRigidParticle(TParticle* p) { Append(RigidParticles, RigidCount, p); }
void TSPH::AddBoundaryParticle(TParticle* p) { Append(BoundaryParticles, BoundaryCount, p, &BoundaryCells); }

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
void TSPH::Update() {
    const auto start = std::chrono::steady_clock::now();
    RedistributeGrid();
    Solid_Reset();
    Rigid_Reset();
    FluidDensityPhase(true);
    FluidForcePhase(true);
    Solid_CalcForces();
    Rigid_CalcForces();
    Constraints_Update();
    Solid_Integrate();
    Rigid_Integrate();
    if (FluidPack.ChoiceTimed) {
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        SplitChoice.Record(FluidPack.Threads > 1, took.count() / FluidCount);
    }
}

void TSPH::RedistributeGrid() {
    for (Grid* grid : {&FluidGrid, &SolidGrid, &RigidGrid, &BoundaryGrid})
        std::fill(grid->begin(), grid->end(), nullptr);
    LayOutFluids(true);  // MapParticlesToGrid for the liquid, and its layout
    MapParticlesToGrid(SolidParticles, SolidCount, SolidGrid, INV_SMOOTHING_LENGTH);
    MapParticlesToGrid(RigidParticles, RigidCount, RigidGrid, INV_SMOOTHING_LENGTH);
    MapParticlesToGrid(BoundaryParticles, BoundaryCount, BoundaryGrid, INV_SMOOTHING_LENGTH);
    // Nothing walks the rigid grid.
    SolidCells.LayOut(SolidGrid);
    BoundaryCells.LayOut(BoundaryGrid);
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
    sph_detail::ForEachWithin(BoundaryCells, cell, p.PositionX, p.PositionY, RepulsiveDistSq,
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
    std::size_t n = 0;
    for (std::size_t k = 0; k < grid.size(); ++k) {
        First[k] = n;
        for (TParticle* p = grid[k]; p && n < Entries.size(); p = p->Succ)
            Entries[n++] = {p->PositionX, p->PositionY, p->ID, p};
    }
    First[grid.size()] = n;
}

void sph_detail::TFluidPack::Resize(std::size_t cells, std::size_t columns) {
    First.assign(cells + 1, 0);
    Fill.assign(cells, 0);
    SeamColumn.assign(columns, 0);
    ColumnThread.assign(columns, 0);
    Count = 0;  // laid out again before the next fluid phase
}

void sph_detail::TFluidPack::Reserve(std::size_t particles) {
    if (SlotOf.size() >= particles) return;
    for (auto* field : {&X, &Y, &VX, &VY, &MassBefore, &Mass, &Density, &InvDensitySq, &Pressure, &SoundSpeed,
                        &DeltaDensity, &ForceX, &ForceY, &DeltaVX, &DeltaVY})
        field->resize(particles + PAD, 0.0f);
    ID.resize(particles + PAD, 0);
    Fluid.resize(particles + PAD, nullptr);
    SlotOf.resize(particles, 0);
    Column.resize(particles, 0);
    Order.resize(particles, 0);
    TouchesSolid.resize(particles, 0);
}

namespace {

// Fewest particles per thread, and fewest grid columns per thread, worth a split.
constexpr std::int32_t MIN_PARTICLES_PER_THREAD = 500;
constexpr std::int32_t MIN_COLUMNS_PER_THREAD = 3;

// Splits the columns between threads so that each gets its share of the
// particles, every thread at least one column.
void ChooseSplit(sph_detail::TFluidPack& P, std::int32_t threads, std::int32_t gridWidth, std::int32_t gridHeight) {
    // The shares outlive steps on one thread, so a split comes back tuned.
    if (threads > 1 && P.Share.size() != static_cast<std::size_t>(threads))
        P.Share.assign(static_cast<std::size_t>(threads), 1.0 / threads);
    if (P.Threads != threads || P.SplitColumn.size() != static_cast<std::size_t>(threads) + 1) {
        P.Threads = threads;
        P.Seconds.assign(static_cast<std::size_t>(threads), 0.0);
        P.SplitColumn.assign(static_cast<std::size_t>(threads) + 1, 0);
        P.OrderStart.assign(static_cast<std::size_t>(threads) + 1, 0);
    }
    auto before = [&](std::int32_t column) {  // particles in the columns left of `column`
        return P.First[static_cast<std::size_t>(column) * static_cast<std::size_t>(gridHeight)];
    };
    P.SplitColumn[0] = 0;
    P.SplitColumn[static_cast<std::size_t>(threads)] = gridWidth;
    double share = 0;
    std::int32_t column = 0;
    for (std::int32_t t = 1; t < threads; ++t) {
        share += P.Share[static_cast<std::size_t>(t) - 1];
        const double target = share * P.Inside;
        while (column < gridWidth && before(column) < target) ++column;
        column = std::clamp(column, P.SplitColumn[static_cast<std::size_t>(t) - 1] + 1, gridWidth - (threads - t));
        P.SplitColumn[static_cast<std::size_t>(t)] = column;
    }
    std::fill(P.SeamColumn.begin(), P.SeamColumn.end(), 0);
    for (std::int32_t t = 0; t < threads; ++t) {
        const std::int32_t from = P.SplitColumn[static_cast<std::size_t>(t)];
        const std::int32_t to = P.SplitColumn[static_cast<std::size_t>(t) + 1];
        for (std::int32_t c = from; c < to; ++c) P.ColumnThread[static_cast<std::size_t>(c)] = t;
        if (t > 0) P.SeamColumn[static_cast<std::size_t>(from) - 1] = P.SeamColumn[static_cast<std::size_t>(from)] = 1;
        P.OrderStart[static_cast<std::size_t>(t)] = before(from);
    }
    P.OrderStart[static_cast<std::size_t>(threads)] = P.Count;
}

}  // namespace

// Inserts the liquid into its grid as MapParticlesToGrid does (when asked:
// a phase that finds particles registered since the last rebuild only lays
// them out again), and lays it out: slots in cell order, each cell's particles in chain order, which is
// the order of decreasing index because each particle inserted becomes its
// chain's head. A counting sort: count per cell, start of each cell, then
// the particles from the last index down.
void TSPH::LayOutFluids(bool insertIntoGrid) {
    auto& P = FluidPack;
    const std::int32_t n = FluidCount;
    P.Count = n;
    std::fill(P.Fill.begin(), P.Fill.end(), 0);
    const double gridWidth = GridWidth;
    const double gridHeight = GridHeight;
    bool increasing = true;
    std::int64_t previousID = INT64_MIN;
    std::int32_t inside = 0;
    for (std::int32_t i = 0; i < n; ++i) {
        TParticle* p = FluidParticles[static_cast<std::size_t>(i)];
        const double c = std::floor(static_cast<double>(p->PositionX) * INV_SMOOTHING_LENGTH);
        const double r = std::floor(static_cast<double>(p->PositionY) * INV_SMOOTHING_LENGTH);
        std::int32_t cell = -1;
        if (c >= 0 && c < gridWidth && r >= 0 && r < gridHeight) {
            cell = static_cast<std::int32_t>(c) * GridHeight + static_cast<std::int32_t>(r);
            if (insertIntoGrid) {
                TParticle*& head = FluidGrid[static_cast<std::size_t>(cell)];
                p->Succ = head;
                head = p;
            }
            ++P.Fill[static_cast<std::size_t>(cell)];
            ++inside;
            P.Column[static_cast<std::size_t>(i)] = static_cast<std::int32_t>(c);
        }
        P.SlotOf[static_cast<std::size_t>(i)] = cell;
        increasing = increasing && p->ID > previousID;
        previousID = p->ID;
    }
    std::int32_t start = 0;
    for (std::size_t k = 0; k < P.Fill.size(); ++k) {
        P.First[k] = start;
        start += P.Fill[k];
        P.Fill[k] = P.First[k];
    }
    P.First[P.Fill.size()] = start;
    P.Inside = inside;
    P.Increasing = increasing;

    // Threads only where the seams between them are sure to be seen whole:
    // every particle in the grid, each pair met from its later index.
    std::int32_t threads = GetStepThreadCount();
    threads = std::min({threads, n / MIN_PARTICLES_PER_THREAD, GridWidth / MIN_COLUMNS_PER_THREAD});
    if (!(increasing && inside == n) || threads < 1) threads = 1;
    P.ChoiceTimed = threads > 1 && !sph_detail::StepThreadCountIsFixed();
    if (P.ChoiceTimed && !SplitChoice.SplitNext()) threads = 1;
    ChooseSplit(P, threads, GridWidth, GridHeight);

    // Each thread's list is filled from its end downwards, which leaves
    // OrderStart as it was.
    std::int32_t outside = inside;
    auto& cursor = P.OrderStart;
    for (std::size_t t = 0; t < static_cast<std::size_t>(threads); ++t) cursor[t] = cursor[t + 1];
    for (std::int32_t i = n - 1; i >= 0; --i) {
        const auto k = static_cast<std::size_t>(i);
        const std::int32_t cell = P.SlotOf[k];
        const std::int32_t slot = cell >= 0 ? P.Fill[static_cast<std::size_t>(cell)]++ : outside++;
        P.SlotOf[k] = slot;
        const std::int32_t t = threads > 1 ? P.ColumnThread[static_cast<std::size_t>(P.Column[k])] : 0;
        P.Order[static_cast<std::size_t>(--cursor[static_cast<std::size_t>(t)])] = i;
    }
}
