// The world: its making and its settings, each checked before it changes
// anything, and the grid and its room resized with the container.
#include "sph/sph.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <memory>
#include <string>

#include "sph/detail/checks.h"
#include "sph/detail/rigid_contacts.h"
#include "sph/detail/solver.h"
#include "sph/detail/state_access.h"
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

sph_detail::TWorldState::TWorldState()
    : FluidParticles(TSPH::INITIAL_CAPACITY, nullptr),
      SolidParticles(TSPH::INITIAL_CAPACITY, nullptr),
      RigidParticles(TSPH::INITIAL_CAPACITY, nullptr),
      BoundaryParticles(TSPH::INITIAL_CAPACITY, nullptr),
      Constraints{ParticleArray(TSPH::INITIAL_CAPACITY, nullptr), ParticleArray(TSPH::INITIAL_CAPACITY, nullptr)},
      ConstraintLength(TSPH::INITIAL_CAPACITY, 0.0f),
      Solver(std::make_unique<TSolver>()),
      ParticleNumbers(std::make_shared<TParticleNumbering>()) {
    for (auto* list : {&Solver->SolidCells, &Solver->BoundaryCells}) list->Reserve(TSPH::INITIAL_CAPACITY);
    Solver->FluidPack.Reserve(TSPH::INITIAL_CAPACITY);
}

// What the caller still holds of the world is left without it: its calls
// are refused from then on, and a body forgets the vertices that were the
// world's.
sph_detail::TWorldState::~TWorldState() {
    for (const auto& fluid : OwnedFluids) StateOf(*fluid).Integrator = nullptr;
    for (const auto& solid : OwnedSolids) StateOf(*solid).Integrator = nullptr;
    for (const auto& rigid : OwnedRigids) {
        TBodyState& body = StateOf(*rigid);
        body.Integrator = nullptr;
        body.VertexCount = 0;
        std::fill(body.Vertices.begin(), body.Vertices.end(), nullptr);
        ContactsOf(body) = TBodyContacts();
    }
}
TSPH::~TSPH() = default;

// Each setting is applied by the code its setter runs, so Create accepts
// exactly what the setters do; a refusal names Create.
std::unique_ptr<TSPH> TSPH::Create(const TWorldSettings& settings) {
    constexpr const char* CALL = "TSPH::Create";
    const TCheck check(CALL);
    check.Within("the container width", settings.ContainerWidth, std::numeric_limits<std::int32_t>::max());
    check.Within("the container height", settings.ContainerHeight, std::numeric_limits<std::int32_t>::max());
    std::unique_ptr<TSPH> world(new TSPH());
    if (settings.Numbering) world->ParticleNumbers = settings.Numbering;
    world->ApplyContainerSize(CALL,
                              static_cast<std::int32_t>(settings.ContainerWidth * static_cast<double>(UNIT_SCALE)),
                              static_cast<std::int32_t>(settings.ContainerHeight * static_cast<double>(UNIT_SCALE)));
    world->ApplyWorldScale(CALL, settings.Scale);
    world->ApplyTimestep(CALL, settings.Timestep);
    world->ApplyRepulsion(CALL, settings.RepulsionDistance, settings.RepulsionStrength);
    world->ApplyGravity(CALL, settings.GravityX, settings.GravityY);
    return world;
}

void TSPH::SetContainerSize(std::int32_t width, std::int32_t height) {
    ApplyContainerSize("TSPH::SetContainerSize", width, height);
}
void TSPH::SetWorldScale(float scale) { ApplyWorldScale("TSPH::SetWorldScale", scale); }
void TSPH::SetTimestep(float dt) { ApplyTimestep("TSPH::SetTimestep", dt); }
void TSPH::SetRepulsion(float distance, float strength) { ApplyRepulsion("TSPH::SetRepulsion", distance, strength); }
void TSPH::SetGravity(float x, float y) { ApplyGravity("TSPH::SetGravity", x, y); }

// Everything sized by the grid is made before any of it replaces the old.
void TSPH::ApplyContainerSize(const char* call, std::int32_t width, std::int32_t height) {
    const TCheck check(call);
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

void TSPH::ApplyWorldScale(const char* call, float scale) {
    TCheck(call).Positive("the scale", scale);
    WorldScale = scale;
    InvWorldScale = 1.0f / scale;
}

void TSPH::ApplyTimestep(const char* call, float dt) {
    TCheck(call).Positive("the timestep", dt);
    Timestep = dt;
    TimestepSq = dt * dt;
    InvTimestep = 1.0f / dt;
}

void TSPH::ApplyRepulsion(const char* call, float distance, float strength) {
    const TCheck check(call);
    check.Positive("the distance", distance);
    check.Finite("the strength", strength);
    RepulsiveDistance = distance * UNIT_SCALE;
    InvRepulsiveDistance = 1.0f / RepulsiveDistance;
    RepulsiveDistSq = RepulsiveDistance * RepulsiveDistance;
    RepulsiveD = strength;
}

void TSPH::ApplyGravity(const char* call, float x, float y) {
    const TCheck check(call);
    check.Finite("x", x);
    check.Finite("y", y);
    GravityX = x * UNIT_SCALE;
    GravityY = y * UNIT_SCALE;
}

void TSPH::SetTaskRunner(std::shared_ptr<TTaskRunner> runner, const TSplitSettings& settings) {
    const TCheck check("TSPH::SetTaskRunner");
    if (settings.MinParticlesPerThread < 1)
        check.Fail("the least share of a thread must be at least 1 particle (got " +
                   std::to_string(settings.MinParticlesPerThread) + ")");
    Solver->Runner = runner.get();
    Solver->Settings = settings;
    TaskRunner = std::move(runner);
}
