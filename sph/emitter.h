// An emitter pours a liquid: while active it lays a block every few updates.
#pragma once

#include <cstdint>
#include <memory>
#include <utility>

class TFluid;

// The block an emitter lays, and how often. Designated initialisers name
// each number, in this order, and any left out are 0:
// {.X = 80, .Y = 230, .Width = 133, .Height = 5, .Delay = 3, .SpeedY = 0.35f}.
struct TEmitterSettings {
    float X = 0;  // the block, screen pixels
    float Y = 0;
    float Width = 0;
    float Height = 0;
    std::int32_t Delay = 0;  // updates without emission between two emissions
    float SpeedX = 0;        // initial displacement per step, simulation units
    float SpeedY = 0;
};

class TFluidEmitter {
public:
    // A new emitter, idle. The fluid must belong to a world, and the block
    // (screen pixels) must lie inside its container.
    static std::unique_ptr<TFluidEmitter> Create(std::shared_ptr<TFluid> fluid, const TEmitterSettings& settings);
    // Lays a block when its time has come; refused once the fluid's world
    // is gone.
    void Update();
    // Toggles: an idle emitter starts pouring, an active one stops.
    void Trigger();

    bool IsActive() const { return Active; }
    const TEmitterSettings& GetSettings() const { return Settings; }
    const std::shared_ptr<TFluid>& GetFluid() const { return Fluid; }

private:
    TFluidEmitter(std::shared_ptr<TFluid> fluid, const TEmitterSettings& settings)
        : Fluid(std::move(fluid)), Settings(settings) {}

    std::shared_ptr<TFluid> Fluid;
    TEmitterSettings Settings;
    std::int32_t Counter = 0;  // updates since the last emission
    bool Active = false;
};
