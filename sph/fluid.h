// A liquid: its damping, cohesion, viscosity, rest density and colour.
#pragma once

#include <cmath>
#include <cstdint>
#include <memory>

class TSPH;

namespace sph_detail {

struct TStateAccess;

// What a liquid holds. The library's own code works on it directly; a
// program reads it through TFluid's getters.
struct TFluidState {
    TSPH* Integrator = nullptr;
    float Damping = 0;
    float SurfaceTension = 0;
    float V_Alpha = 0;
    float V_Beta = 0;
    float RestDensity = 0;
    float InvRestDensity = 0;
    float MinDensity = 0;
    float MaxDensity = 0;
    float P_B = 0;
    std::uint8_t ColorR = 0;
    std::uint8_t ColorG = 0;
    std::uint8_t ColorB = 0;
};

}  // namespace sph_detail

// A liquid of a world, which owns it: made by Create, read through its
// getters and changed only through its calls.
class TFluid : private sph_detail::TFluidState {
public:
    // Kernel normalisations for h = SMOOTHING_LENGTH, each the closed form
    // evaluated in double precision and stored in single precision.
    static const float D_KERNEL_FACTOR;           // 315 / (64 pi h^9), poly6
    static const float P_KERNEL_FACTOR;           // -45 / (pi h^6), spiky gradient
    static const float D_KERNEL_FACTOR_GRADIENT;  // -945 / (32 pi h^9), poly6 gradient
    static constexpr float HEAT_RATIO = 1.0f;
    static constexpr float XSPH_EPSILON = 0.5f;
    // Spacing of the lattice that CreateRect lays, scene pixels (0.35 × FLUID_SPACING).
    static constexpr float LATTICE_SPACING = 29.75f;

    // A new fluid registered with the world, which keeps it while it lives.
    // Once the world is gone, a fluid the caller still holds has no world
    // (GetWorld() is null) and refuses CreateRect.
    static std::shared_ptr<TFluid> Create(TSPH* world);

    TSPH* GetWorld() const { return Integrator; }
    float GetDamping() const { return Damping; }
    float GetSurfaceTension() const { return SurfaceTension; }
    float GetViscosityAlpha() const { return V_Alpha; }
    float GetViscosityBeta() const { return V_Beta; }
    float GetRestDensity() const { return RestDensity; }
    float GetPressureFactor() const { return P_B; }

    void SetDamping(float d);
    void SetSurfaceTension(float s);
    void SetViscosity(float alpha, float beta);
    void SetRestDensity(float rho);
    void SetPressureFactor(float b);
    void SetColor(std::uint8_t r, std::uint8_t g, std::uint8_t b);
    void GetColor(std::uint8_t& r, std::uint8_t& g, std::uint8_t& b) const;
    // Fills a rectangle (screen pixels) with a lattice of particles, column by
    // column; (vx, vy) is an initial displacement per step in simulation units.
    void CreateRect(float x, float y, float width, float height, float vx, float vy);

private:
    friend class TSPH;
    friend struct sph_detail::TStateAccess;

    TFluid();
};
