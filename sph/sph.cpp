// The world: its making and its settings, each checked before it changes
// anything, and the grid and its room resized with the container.
#include "sph/sph.h"

#include <array>
#include <cmath>
#include <limits>
#include <memory>
#include <string>

#include "sph/detail/checks.h"
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
    pack.Resize(columns, rows);

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
    if (settings.MinParticlesPerThread < 1)
        check.Fail("the least share of a thread must be at least 1 particle (got " +
                   std::to_string(settings.MinParticlesPerThread) + ")");
    Solver->Runner = runner;
    Solver->Settings = settings;
}

TTaskRunner* TSPH::GetTaskRunner() const { return Solver->Runner; }
