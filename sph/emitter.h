// An emitter pours a liquid: while active it lays a block every few updates.
#pragma once

#include <cstdint>
#include <memory>

class TFluid;

class TFluidEmitter {
public:
    TFluid* Fluid = nullptr;
    float X = 0;  // the block, screen pixels
    float Y = 0;
    float Width = 0;
    float Height = 0;
    float XSpeed = 0;  // initial displacement per step, simulation units
    float YSpeed = 0;
    std::int32_t Counter = 0;     // updates since the last emission
    std::int32_t TimerDelay = 0;  // updates without emission between two emissions
    std::int32_t Active = 0;

    // Note the order: the delay comes between the rectangle and the speeds.
    // A new emitter is idle. The fluid must belong to a world, and the block
    // (screen pixels) must lie inside its container.
    static std::unique_ptr<TFluidEmitter> Create(TFluid* fluid, float x, float y, float width, float height,
                                                 std::int32_t delay, float xSpeed, float ySpeed);
    void Update();
    // Toggles: an idle emitter starts pouring, an active one stops.
    void Trigger();
};
