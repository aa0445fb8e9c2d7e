// The one particle record shared by liquids, elastic solids, rigid bodies and walls.
#pragma once

#include <cstdint>

class TSPH;
class TFluid;
class TSolid;
class TRigid;

// A particle's kind follows from the material it refers to (none for a wall
// particle) and from the world array that registers it. Most fields matter for
// one kind only and keep their defaults elsewhere.
struct TParticle {
    TFluid* Fluid = nullptr;
    TSolid* Solid = nullptr;
    TRigid* Rigid = nullptr;
    std::uint8_t ColorR = 0;
    std::uint8_t ColorG = 0;
    std::uint8_t ColorB = 0;
    float ScreenX = 0;
    float ScreenY = 0;
    float PositionX = 0;
    float PositionY = 0;
    float ForceX = 0;  // for solid particles an acceleration
    float ForceY = 0;
    float Mass = 0;
    float InvMass = 0;
    const TParticle* Succ = nullptr;  // next particle of the same grid cell
    std::int32_t ID = 0;
    float OldX = 0;
    float OldY = 0;
    float VelocityX = 0;
    float VelocityY = 0;
    float DeltaVelocityX = 0;
    float DeltaVelocityY = 0;
    float Density = 0;
    float DeltaDensity = 0;
    float InvDensity = 0;
    float InvDensitySq = 0;
    float Pressure = 0;
    float SoundSpeed = 0;
    float Radius = 0;
    float Angle = 0;
    float LocalX = 0;
    float LocalY = 0;

    // The factories take the next number of the world's numbering and
    // allocate the particle in the arena of the material's world, which owns
    // it from then on. Positions are in simulation units. None of them
    // registers the particle in a world array: the caller does. They refuse
    // (TSPHError) a null or world-less material, a position that is not
    // finite, and a vertex mass other than 0 outside 1e-6 … 1e6.
    static const TParticle* CreateFluidParticle(float x, float y, TFluid* fluid);
    static const TParticle* CreateSolidParticle(float x, float y, TSolid* solid);
    static const TParticle* CreateRigidParticle(float x, float y, float mass, TRigid* rigid);
    static const TParticle* CreateBoundaryParticle(TSPH* world, float x, float y);
};
