// The simulation world: settings, registries, particle arrays, constraint
// store, neighbour grids and the fixed order of one step.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "sph/error.h"
#include "sph/particle.h"
#include "sph/particle_numbering.h"
#include "sph/task_runner.h"

class TFluid;
class TSolid;
class TRigid;

namespace sph_detail {
class TSolver;        // the world's neighbour lists, liquid layout and threads
struct TStateAccess;  // the library's way from a world to its state
}  // namespace sph_detail

// How a world given a task runner shares its steps between threads. The
// share changes no result: every particle ends each step with the same bits
// on any number of threads.
struct TSplitSettings {
    // Fewest liquid particles per thread for the liquid's work to be shared.
    std::int32_t MinParticlesPerThread = 500;
    // Whether the fluid passes may run code compiled for the processor's
    // wider instruction sets where it has them (AVX2 on x86-64). Either way
    // every result has the same bits.
    bool WideInstructions = true;
};

namespace sph_detail {

// What a world holds. The library's own code works on it directly; a
// program that uses the library reads it through TSPH's views and changes it
// through TSPH's calls, which check what they are given.
struct TWorldState {
    using ParticleArray = std::vector<TParticle*>;
    // GridWidth × GridHeight chain heads, cell [c, r] at index c × GridHeight + r.
    using Grid = std::vector<TParticle*>;

    TWorldState();
    ~TWorldState();

    float WorldScale = 0;  // screen pixels per scene pixel
    float InvWorldScale = 0;
    float Timestep = 0;
    float TimestepSq = 0;
    float InvTimestep = 0;
    float ContainerWidth = 0;  // simulation units, whole numbers
    float ContainerHeight = 0;
    float RepulsiveDistance = 0;  // simulation units
    float InvRepulsiveDistance = 0;
    float RepulsiveDistSq = 0;
    float RepulsiveD = 0;
    float GravityX = 0;  // simulation units, y down
    float GravityY = 0;
    std::vector<TFluid*> Fluids;
    std::vector<TSolid*> Solids;
    std::vector<TRigid*> Rigids;
    std::int32_t GridWidth = 0;
    std::int32_t GridHeight = 0;
    Grid FluidGrid;
    Grid SolidGrid;
    Grid RigidGrid;
    Grid BoundaryGrid;
    // Arrays are longer than their counts: the room past a count is null.
    std::int32_t FluidCount = 0;
    std::int32_t SolidCount = 0;
    std::int32_t RigidCount = 0;
    std::int32_t BoundaryCount = 0;
    ParticleArray FluidParticles;
    ParticleArray SolidParticles;
    ParticleArray RigidParticles;
    ParticleArray BoundaryParticles;
    std::int32_t ConstraintCount = 0;
    std::array<ParticleArray, 2> Constraints;
    std::vector<float> ConstraintLength;

    std::unique_ptr<TSolver> Solver;
    std::shared_ptr<TTaskRunner> TaskRunner;  // held for as long as the world steps with it
    bool RigidContacts = false;
    std::shared_ptr<TParticleNumbering> ParticleNumbers;

    // Particles in creation order, in blocks that never move.
    static constexpr std::size_t ARENA_BLOCK = 4096;
    std::vector<std::unique_ptr<TParticle[]>> ArenaBlocks;
    std::size_t ArenaUsed = ARENA_BLOCK;
    std::vector<std::unique_ptr<TParticle[]>> SpareBlocks;  // reserved, to be filled in turn

    // Materials and bodies are shared with the caller's handles; when the
    // world goes, those that outlive it are left without a world, and their
    // calls refused.
    std::vector<std::shared_ptr<TFluid>> OwnedFluids;
    std::vector<std::shared_ptr<TSolid>> OwnedSolids;
    std::vector<std::shared_ptr<TRigid>> OwnedRigids;

    // A default particle in the arena; its address never changes.
    TParticle* NewParticle();
    // Whether p was made in this world.
    bool Owns(const TParticle* p) const;
    TParticleNumbering& Numbering() const { return *ParticleNumbers; }
};

}  // namespace sph_detail

// What TSPH::Create builds a world from. Designated initialisers name each
// number, in this order, and any left out keep their defaults:
// TSPH::Create({.ContainerWidth = 2800, .ContainerHeight = 2100, .Scale = 0.2857143f}).
struct TWorldSettings {
    // The container, scene pixels; kept as whole simulation units (truncated).
    std::int32_t ContainerWidth = 0;
    std::int32_t ContainerHeight = 0;
    float Scale = 1;  // screen pixels per scene pixel
    float Timestep = 0.4f;
    float GravityX = 0;  // scene pixels per step squared, y down
    float GravityY = 0.7f;
    float RepulsionDistance = 30;  // scene pixels, within which walls and solids push
    float RepulsionStrength = 0.5f;
    // Numbers the world's particles together with other worlds' when given;
    // none gives the world a numbering of its own. (Every member has an
    // initialiser, so that GCC's -Wextra does not warn of those left out.)
    std::shared_ptr<TParticleNumbering> Numbering = nullptr;
};

// Three spaces: screen pixels (the window's, origin top left, y down: what
// the rectangle builders and emitters take, and what a particle's ScreenX and
// ScreenY hold); scene pixels = screen pixels / scale (the container, the
// spacings, the repulsion distance and gravity); simulation units = scene
// pixels × UNIT_SCALE (positions, the container as stored, the grid).
//
// A world is read through its views (spans of const particles, counts and
// settings) and changed only through its calls. Every call checks what it
// is given and refuses what it cannot handle with TSPHError before it
// changes anything (sph/error.h). Numbers lie within ±1e6, and those the
// model divides by (scales, the timestep, the repulsion distance, rest
// densities) between 1e-6 and 1e6.
//
// What no call can see is the caller's to keep: a world is stepped or
// changed from one thread at a time, and a task runner handed to it keeps
// its contract (sph/task_runner.h), and is not destroyed by another owner
// during a step.
class TSPH : private sph_detail::TWorldState {
public:
    static constexpr float UNIT_SCALE = 0.07f;
    static constexpr float INV_UNIT_SCALE = 14.2857141f;
    static constexpr float SMOOTHING_LENGTH = 3.85f;
    // The product is rounded once in single precision: 14.8224993, not 14.8225002.
    static constexpr float SMOOTHING_LENGTH_SQ = SMOOTHING_LENGTH * SMOOTHING_LENGTH;
    static constexpr float INV_SMOOTHING_LENGTH = 0.259740263f;
    static constexpr float PARTICLE_AREA = 4.19096279f;  // pi (0.3 h)^2
    static constexpr float FLUID_SPACING = 85.0f;
    static constexpr float BOUNDARY_SPACING = 20.0f;
    static constexpr float SOLID_SPACING = 25.0f;
    static constexpr float RIGID_SPACING = 25.0f;
    static constexpr std::size_t INITIAL_CAPACITY = 1000;
    // Limits of a world: cells of each grid (1024 × 1024), each side of the
    // container in simulation units, particles laid by one rectangle, and
    // particles (or constraints) one Reserve makes room for.
    static constexpr std::int64_t MAX_GRID_CELLS = 1 << 20;
    static constexpr std::int32_t MAX_CONTAINER_SIDE = 1 << 22;
    static constexpr std::int64_t MAX_BLOCK_PARTICLES = 1 << 20;
    static constexpr std::int64_t MAX_RESERVE = 1 << 22;

    using ParticleView = std::span<const TParticle* const>;

    // A world owned by the caller, refused (naming Create) unless every
    // setting would be accepted by its setter.
    static std::unique_ptr<TSPH> Create(const TWorldSettings& settings);
    ~TSPH();
    TSPH(const TSPH&) = delete;
    TSPH& operator=(const TSPH&) = delete;

    // Views, valid until the next call that adds to the world. A particle
    // array lists the registered particles in order; a grid lists each
    // cell's chain head, GetGridWidth() × GetGridHeight() of them, cell
    // [c, r] at c × GetGridHeight() + r, as the last step (or
    // RedistributeGrid) left them.
    ParticleView GetFluidParticles() const { return {FluidParticles.data(), Count(FluidCount)}; }
    ParticleView GetSolidParticles() const { return {SolidParticles.data(), Count(SolidCount)}; }
    ParticleView GetRigidParticles() const { return {RigidParticles.data(), Count(RigidCount)}; }
    ParticleView GetBoundaryParticles() const { return {BoundaryParticles.data(), Count(BoundaryCount)}; }
    std::int32_t GetFluidCount() const { return FluidCount; }
    std::int32_t GetSolidCount() const { return SolidCount; }
    std::int32_t GetRigidCount() const { return RigidCount; }
    std::int32_t GetBoundaryCount() const { return BoundaryCount; }
    std::int32_t GetParticleCount() const;
    ParticleView GetFluidGrid() const { return {FluidGrid.data(), FluidGrid.size()}; }
    ParticleView GetSolidGrid() const { return {SolidGrid.data(), SolidGrid.size()}; }
    ParticleView GetRigidGrid() const { return {RigidGrid.data(), RigidGrid.size()}; }
    ParticleView GetBoundaryGrid() const { return {BoundaryGrid.data(), BoundaryGrid.size()}; }
    std::int32_t GetGridWidth() const { return GridWidth; }
    std::int32_t GetGridHeight() const { return GridHeight; }
    // Constraint k joins GetConstraintEnds(0)[k] and GetConstraintEnds(1)[k]
    // at GetConstraintLengths()[k], simulation units.
    std::int32_t GetConstraintCount() const { return ConstraintCount; }
    ParticleView GetConstraintEnds(std::int32_t end) const {
        return {Constraints[end == 0 ? 0 : 1].data(), Count(ConstraintCount)};
    }
    std::span<const float> GetConstraintLengths() const { return {ConstraintLength.data(), Count(ConstraintCount)}; }
    std::span<TFluid* const> GetFluids() const { return Fluids; }
    std::span<TSolid* const> GetSolids() const { return Solids; }
    std::span<TRigid* const> GetRigids() const { return Rigids; }
    // Settings as stored: the container and gravity in simulation units.
    float GetWorldScale() const { return WorldScale; }
    float GetTimestep() const { return Timestep; }
    float GetContainerWidth() const { return ContainerWidth; }
    float GetContainerHeight() const { return ContainerHeight; }
    float GetGravityX() const { return GravityX; }
    float GetGravityY() const { return GravityY; }
    float GetRepulsiveDistance() const { return RepulsiveDistance; }
    using TWorldState::Numbering;
    using TWorldState::Owns;

    // Simulation units. A side of 0 gives grids without cells (the world
    // still steps); a grid of more than MAX_GRID_CELLS is refused. Liquid and
    // solid particles left outside a smaller container are brought inside by
    // the next step.
    void SetContainerSize(std::int32_t width, std::int32_t height);
    void SetWorldScale(float scale);
    void SetTimestep(float dt);
    void SetRepulsion(float distance, float strength);  // distance in scene pixels
    void SetGravity(float x, float y);                  // scene pixels per step squared
    // The runner that steps may share their work out to, which the world
    // keeps alive for as long as it steps with it; none (the default) steps
    // on the caller's thread alone. Not to be called while a step runs.
    void SetTaskRunner(std::shared_ptr<TTaskRunner> runner, const TSplitSettings& settings = TSplitSettings());
    const std::shared_ptr<TTaskRunner>& GetTaskRunner() const { return TaskRunner; }

    // One fixed step: twelve phases in a fixed order. Each phase may also be
    // called alone, in the same order.
    void Update();
    void RedistributeGrid();
    void Fluid_Reset();
    void Fluid_UpdateDensity();
    void Fluid_CalcForces();
    void Fluid_Integrate();
    void Solid_Reset();
    void Solid_CalcForces();
    void Solid_Integrate();
    void Rigid_Reset();
    void Rigid_CalcForces();
    void Rigid_Integrate();
    void Rigid_ResolvePenetration(const TParticle* p, float nx, float ny, float depth, float restitution);
    // Whether rigid bodies also meet other bodies, wall particles and solid
    // particles (which they push, and are pushed by), besides the
    // container's edges. Off by default: rigid bodies pass through all of
    // these. Not to be called while a step runs or a body is being built.
    void SetRigidContacts(bool on);
    bool GetRigidContacts() const { return RigidContacts; }
    void Constraints_Update();

    // Registration. A material must be owned by this world (its Create does
    // that); a particle must have been made for this world, with the kind of
    // the call (a liquid particle for AddFluidParticle, a wall particle, which
    // has no material, for AddBoundaryParticle), at a finite position. The
    // ends of a constraint are solid particles of this world.
    void AddFluid(TFluid* fluid);
    void AddSolid(TSolid* solid);
    void AddRigid(TRigid* rigid);
    void AddFluidParticle(const TParticle* p);
    void AddSolidParticle(const TParticle* p);
    void AddRigidParticle(const TParticle* p);
    void AddBoundaryParticle(const TParticle* p);
    void AddConstraint(const TParticle* a, const TParticle* b);

    // Room for that many more particles of each kind and constraints, each
    // at most MAX_RESERVE, so that making and registering them allocates
    // nothing (and cannot fail half way). The rectangle builders reserve
    // before they make any.
    void Reserve(std::int32_t fluid, std::int32_t solid, std::int32_t rigid, std::int32_t boundary,
                 std::int32_t constraints);

private:
    // The library's own classes work on the state directly.
    friend class TFluid;
    friend class TSolid;
    friend class TRigid;
    friend struct TParticle;
    friend class TFluidEmitter;
    friend class sph_detail::TSolver;
    friend struct sph_detail::TStateAccess;
    friend void CreateBoundaryRect(TSPH* world, float x, float y, float width, float height);

    TSPH() = default;
    static std::size_t Count(std::int32_t n) { return static_cast<std::size_t>(n); }
    // Refuses a world whose state is not what the step expects, before a
    // phase reads it.
    void CheckState(const char* call) const;
    // Chains each particle inside the grid into its cell, at the head.
    void MapParticlesToGrid(const ParticleArray& particles, std::int32_t count, Grid& grid, float scale);
    void ApplyContainerSize(const char* call, std::int32_t width, std::int32_t height);
    void ApplyWorldScale(const char* call, float scale);
    void ApplyTimestep(const char* call, float dt);
    void ApplyRepulsion(const char* call, float distance, float strength);
    void ApplyGravity(const char* call, float x, float y);

    // Adds the push of the wall particles of one grid cell to p.
    void PushOffWalls(TParticle& p, std::size_t cell);
};

// Fills a rectangle given in screen pixels with wall particles, column by
// column, 20 scene pixels apart, both far edges included. Walls may lie
// partly outside the container. At most MAX_BLOCK_PARTICLES.
void CreateBoundaryRect(TSPH* world, float x, float y, float width, float height);
