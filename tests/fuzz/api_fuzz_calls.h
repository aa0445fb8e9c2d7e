// The byte code of api_fuzz's inputs, shared with the program that writes
// its seed corpus. A call is a byte naming it (modulo CALL_COUNT), a byte
// naming its world (low bit: slot 0 or 1), then its arguments. A number is
// a byte: below SMALL an entry of FLOATS or INTS (modulo its length), below
// RAW a small whole number (SMALL_FLOAT_STEP or SMALL_INT_STEP × (byte −
// SMALL)), else four raw bytes (little-endian) follow. A material or body is
// a byte: low bit the slot, the rest the index in its list; 0xFF or an empty
// list, null. A particle is two bytes: the first's low three bits the source
// (0 none, 1 to 4 the world's fluid, solid, rigid, wall view, 5 to 7 the
// particles the factories made) and bit 3 the slot, the second the index.
#pragma once

#include <cfloat>
#include <cstdint>
#include <limits>

namespace api_fuzz {

// The calls and the numbers stand in groups, as in the table.
// clang-format off
enum TCall : std::uint8_t {
    // The world. Create: container width, height (ints), scale, timestep,
    // gravity x, y, repulsion distance, strength, shared numbering (bool).
    CREATE_WORLD, DESTROY_WORLD,
    SET_CONTAINER_SIZE,  // 2 ints
    SET_WORLD_SCALE, SET_TIMESTEP,  // float
    SET_REPULSION, SET_GRAVITY,  // 2 floats
    SET_TASK_RUNNER,  // threads byte (0 none), least particles a thread (int), wide (bool)
    SET_RIGID_CONTACTS,  // bool
    RESERVE,  // 5 ints
    TAKE_NUMBERS,  // int
    // Liquids: fluid, then the setter's floats; the rectangle x, y, w, h, vx, vy.
    FLUID_CREATE, FLUID_DAMPING, FLUID_SURFACE_TENSION, FLUID_VISCOSITY, FLUID_REST_DENSITY, FLUID_PRESSURE,
    FLUID_COLOR, FLUID_RECT,
    // Solids: solid, then as for liquids.
    SOLID_CREATE, SOLID_STIFFNESS, SOLID_COLOR, SOLID_RECT,
    // Bodies: CreateRigidRect x, y, w, h; the others take a body first;
    // AddVertex x, y, mass; SetRepulsion a float; AddParticle a particle.
    RIGID_RECT, BEGIN_BODY, ADD_VERTEX, END_BODY, BODY_REPULSION, BODY_COLOR, BODY_ADD_PARTICLE, BODY_INIT,
    BODY_INTEGRATE,
    // The factories: x, y, then the fluid; the solid; mass and body; nothing.
    MAKE_FLUID_PARTICLE, MAKE_SOLID_PARTICLE, MAKE_RIGID_PARTICLE, MAKE_BOUNDARY_PARTICLE,
    // Registration: a particle (two for a constraint), a material.
    ADD_FLUID_PARTICLE, ADD_SOLID_PARTICLE, ADD_RIGID_PARTICLE, ADD_BOUNDARY_PARTICLE, ADD_CONSTRAINT,
    ADD_FLUID, ADD_SOLID, ADD_RIGID,
    BOUNDARY_RECT,  // x, y, w, h
    // Emitters: fluid, x, y, w, h, delay (int), vx, vy; the others an emitter byte.
    EMITTER_CREATE, EMITTER_TRIGGER, EMITTER_UPDATE,
    // Stepping: Update takes a threads byte (0 the runner as it is); the
    // phases nothing but Rigid_ResolvePenetration: particle, nx, ny, depth, restitution.
    UPDATE, REDISTRIBUTE_GRID, FLUID_RESET, FLUID_UPDATE_DENSITY, FLUID_CALC_FORCES, FLUID_INTEGRATE, SOLID_RESET,
    SOLID_CALC_FORCES, SOLID_INTEGRATE, RIGID_RESET, RIGID_CALC_FORCES, RIGID_INTEGRATE, CONSTRAINTS_UPDATE,
    RESOLVE_PENETRATION,
    // A thread pool on its own: threads byte, tasks (int), how (byte: bit 0 a null task, bit 1 tasks that throw).
    POOL_RUN,
    CALL_COUNT
};

inline constexpr std::uint8_t SMALL = 0x80;
inline constexpr std::uint8_t RAW = 0xF0;
inline constexpr float SMALL_FLOAT_STEP = 16.0f;  // screen pixels of ordinary rectangles
inline constexpr std::int32_t SMALL_INT_STEP = 100;

inline const float FLOATS[] = {0.0f, -0.0f, 1.0f, -1.0f, 0.4f, 30.0f, 1e-7f, 1e-6f, 1e6f, 2e6f, 1e30f, -1e30f,
                               std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                               -std::numeric_limits<float>::infinity(), std::numeric_limits<float>::denorm_min(),
                               -1e-40f, FLT_MIN, FLT_MAX, -FLT_MAX, 0.5f, 2.0f, 10.0f, 100.0f, 200.0f, 500.0f, 1000.0f,
                               -100.0f, -1e6f, 0.9f, 0.0015f,
                               // the ends of the accepted ranges, just past them
                               1000000.06f, 9.99999905e-7f, 0.7f};
inline const std::int32_t INTS[] = {0,    -1,   1,   2,       3,           std::numeric_limits<std::int32_t>::max(),
                                    std::numeric_limits<std::int32_t>::min(), 50, 200, 1000, 5000, 640, 480, 100,
                                    1 << 22, (1 << 22) + 1, 64, 10, 1800};

// clang-format on

}  // namespace api_fuzz
