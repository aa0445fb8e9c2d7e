// The simulation world: settings, registries, particle arrays, constraint
// store, neighbour grids and the fixed order of one step.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "sph/error.h"
#include "sph/particle.h"
#include "sph/particle_numbering.h"
#include "sph/task_runner.h"

class TFluid;
class TSolid;
class TRigid;

namespace sph_detail {
class TSolver;  // the world's neighbour lists, liquid layout and threads
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

// Three spaces: screen pixels (the window's, origin top left, y down: what
// the rectangle builders and emitters take); scene pixels = screen pixels /
// WorldScale (the container given to Create, the spacings, the repulsion
// distance and gravity given to their setters); simulation units = scene
// pixels × UNIT_SCALE (positions, the container as stored, the grid).
//
// Every public call checks what it is given and refuses what it cannot
// handle with TSPHError before it changes anything (sph/error.h). Numbers
// lie within ±1e6, and those the model divides by (scales, the timestep,
// the repulsion distance, rest densities) between 1e-6 and 1e6.
class TSPH {
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
    // container in simulation units, and particles laid by one rectangle.
    static constexpr std::int64_t MAX_GRID_CELLS = 1 << 20;
    static constexpr std::int32_t MAX_CONTAINER_SIDE = 1 << 22;
    static constexpr std::int64_t MAX_BLOCK_PARTICLES = 1 << 20;

    using ParticleArray = std::vector<TParticle*>;
    // GridWidth × GridHeight chain heads, cell [c, r] at index c × GridHeight + r.
    using Grid = std::vector<TParticle*>;

    std::int32_t GWidth = 0;  // the drawing area, screen pixels
    std::int32_t GHeight = 0;
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
    // The sprite texture's GL name, which the drawing side sets; 0 for none.
    std::int32_t ParticleTex = 0;
    float ParticleSize = 0;  // half a sprite's edge, screen pixels

    // A world owned by the caller: drawing area in screen pixels, container
    // in scene pixels (truncated to whole simulation units), scale in screen
    // pixels per scene pixel. Its particles are numbered by `numbering` when
    // given (shared with other worlds), else by a numbering of its own.
    static std::unique_ptr<TSPH> Create(std::int32_t graphicsWidth, std::int32_t graphicsHeight,
                                        std::int32_t containerWidth, std::int32_t containerHeight, float scale,
                                        std::shared_ptr<TParticleNumbering> numbering = nullptr);
    TSPH();
    ~TSPH();
    TSPH(const TSPH&) = delete;
    TSPH& operator=(const TSPH&) = delete;

    void SetGraphicsSize(std::int32_t width, std::int32_t height);
    // Simulation units. A side of 0 gives grids without cells (the world
    // still steps); a grid of more than MAX_GRID_CELLS is refused. Liquid and
    // solid particles left outside a smaller container are brought inside by
    // the next step.
    void SetContainerSize(std::int32_t width, std::int32_t height);
    void SetWorldScale(float scale);
    void SetTimestep(float dt);
    void SetRepulsion(float distance, float strength);  // distance in scene pixels
    void SetGravity(float x, float y);                  // scene pixels per step squared
    void SetParticleSize(float size);                   // screen pixels
    // The runner that steps may share their work out to, kept by the caller
    // for as long as the world steps with it; none (the default) steps on
    // the caller's thread alone. Not to be called while a step runs.
    void SetTaskRunner(TTaskRunner* runner, const TSplitSettings& settings = TSplitSettings());
    TTaskRunner* GetTaskRunner() const;

    // One fixed step: twelve phases in a fixed order. Each public phase may
    // also be called alone, in the same order.
    void Update();
    void RedistributeGrid();
    // `grid` must have GridWidth × GridHeight cells, and `count` particles
    // of the array must be there.
    void MapParticlesToGrid(const ParticleArray& particles, std::int32_t count, Grid& grid, float scale);
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
    void Rigid_ResolvePenetration(TParticle* p, float nx, float ny, float depth, float restitution);
    // Whether rigid bodies also meet other bodies, wall particles and solid
    // particles (which they push, and are pushed by), besides the
    // container's edges. Off by default: rigid bodies pass through all of
    // these. Not to be called while a step runs or a body is being built.
    void SetRigidContacts(bool on);
    bool GetRigidContacts() const { return RigidContacts; }
    void Constraints_Update();

    std::int32_t GetParticleCount() const;
    // Registration. A material must be owned by this world (its Create does
    // that); a particle must have been made for this world, with the kind of
    // the call (a liquid particle for AddFluidParticle, a wall particle, which
    // has no material, for AddBoundaryParticle), at a finite position. The
    // ends of a constraint are solid particles of this world.
    void AddFluid(TFluid* fluid);
    void AddSolid(TSolid* solid);
    void AddRigid(TRigid* rigid);
    void AddFluidParticle(TParticle* p);
    void AddSolidParticle(TParticle* p);
    void AddRigidParticle(TParticle* p);
    void AddBoundaryParticle(TParticle* p);
    void AddConstraint(TParticle* a, TParticle* b);

    // Ownership: materials are made by their Create functions and handed to
    // their world, which keeps them (and every particle) until it is destroyed.
    void Adopt(std::unique_ptr<TFluid> fluid);
    void Adopt(std::unique_ptr<TSolid> solid);
    void Adopt(std::unique_ptr<TRigid> rigid);
    // A default particle in this world's arena; its address never changes.
    TParticle* NewParticle();
    // Whether p was made in this world.
    bool Owns(const TParticle* p) const;
    TParticleNumbering& Numbering() const { return *ParticleNumbers; }
    // Room for that many more particles of each kind and constraints, so
    // that making and registering them allocates nothing (and cannot fail
    // half way). The rectangle builders reserve before they make any.
    void Reserve(std::int32_t fluid, std::int32_t solid, std::int32_t rigid, std::int32_t boundary,
                 std::int32_t constraints);

private:
    // Refuses a world whose arrays or grids the caller has resized or
    // miscounted, before a phase reads them.
    void CheckState(const char* call) const;
    void MapIntoGrid(const ParticleArray& particles, std::int32_t count, Grid& grid, float scale);

    // Adds the push of the wall particles of one grid cell to p.
    void PushOffWalls(TParticle& p, std::size_t cell);

    std::unique_ptr<sph_detail::TSolver> Solver;
    bool RigidContacts = false;
    std::shared_ptr<TParticleNumbering> ParticleNumbers;

    // Particles in creation order, in blocks that never move.
    static constexpr std::size_t ARENA_BLOCK = 4096;
    std::vector<std::unique_ptr<TParticle[]>> ArenaBlocks;
    std::size_t ArenaUsed = ARENA_BLOCK;
    std::vector<std::unique_ptr<TParticle[]>> SpareBlocks;  // reserved, to be filled in turn

    std::vector<std::unique_ptr<TFluid>> OwnedFluids;
    std::vector<std::unique_ptr<TSolid>> OwnedSolids;
    std::vector<std::unique_ptr<TRigid>> OwnedRigids;
};

// Fills a rectangle given in screen pixels with wall particles, column by
// column, 20 scene pixels apart, both far edges included. Walls may lie
// partly outside the container. At most MAX_BLOCK_PARTICLES.
void CreateBoundaryRect(TSPH* world, float x, float y, float width, float height);
