// The byte code of api_fuzz's inputs, shared by the target and by the
// program that writes its seed corpus.
//
// An input is a list of calls. Each call is a byte naming it (taken modulo
// CALL_COUNT), a byte naming the world it acts on (its low bit: slot 0 or
// 1), then its arguments in the order the target reads them. A number is
// one byte: below 0x80 an entry of the table (taken modulo its length),
// from 0x80 to 0xEF a small whole number (SMALL_FLOAT_STEP or
// SMALL_INT_STEP times the byte − 0x80), from 0xF0 on a raw four-byte
// value (little-endian) that follows.
#pragma once

#include <cfloat>
#include <cstdint>
#include <limits>

namespace api_fuzz {

enum TCall : std::uint8_t {
    CREATE_WORLD,        // gw, gh, cw, ch (ints), scale, shared numbering (bool)
    DESTROY_WORLD,       //
    SET_GRAPHICS_SIZE,   // 2 ints
    SET_CONTAINER_SIZE,  // 2 ints
    SET_WORLD_SCALE,     // float
    SET_TIMESTEP,        // float
    SET_REPULSION,       // 2 floats
    SET_GRAVITY,         // 2 floats
    SET_PARTICLE_SIZE,   // float
    SET_TASK_RUNNER,     // threads (0 none), least particles a thread, flags (2 wide)
    FLUID_CREATE,        //
    FLUID_SET,           // fluid, setter, 2 floats
    FLUID_RECT,          // fluid, x, y, w, h, vx, vy
    SOLID_CREATE,        //
    SOLID_SET,           // solid, setter, float
    SOLID_RECT,          // solid, x, y, w, h, vx, vy
    RIGID_RECT,          // x, y, w, h
    BEGIN_BODY,          //
    ADD_VERTEX,          // body, x, y, mass
    END_BODY,            // body
    BODY_CALL,           // body, what, its arguments
    MAKE_PARTICLE,       // kind, x, y, material (rigid: mass, body)
    ALTER_PARTICLE,      // made particle, field, float
    ADD_PARTICLE,        // kind, particle
    ADD_CONSTRAINT,      // particle, particle
    BOUNDARY_RECT,       // x, y, w, h
    EMITTER_CREATE,      // fluid, x, y, w, h, delay (int), vx, vy
    EMITTER_TRIGGER,     // emitter
    EMITTER_UPDATE,      // emitter
    MAP_TO_GRID,         // array, grid, right count (bool), count, scale
    PHASE,               // phase (Rigid_ResolvePenetration: particle, 4 floats)
    UPDATE,              // threads (0 as before)
    ADOPT,               // kind, of the other world (bool)
    WORLD_CALL,          // what, its arguments
    CALL_COUNT
};

// A material or body is one byte: its low bit the slot, the rest the index
// in that slot's list; 0xFF, or an empty list, names a material of no world.
// A particle is two bytes: the first's low three bits the source (0 none,
// 1 to 4 the world's fluid, solid, rigid, wall array, 5 to 7 the particles
// the factories made) and bit 3 the slot, the second the index.
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
inline const std::int32_t INTS[] = {0,
                                    -1,
                                    1,
                                    2,
                                    3,
                                    std::numeric_limits<std::int32_t>::max(),
                                    std::numeric_limits<std::int32_t>::min(),
                                    50,
                                    200,
                                    1000,
                                    5000,
                                    640,
                                    480,
                                    100,
                                    1 << 22,
                                    (1 << 22) + 1,
                                    64,
                                    10};

}  // namespace api_fuzz
