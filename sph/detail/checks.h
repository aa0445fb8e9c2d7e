// The checks at the library's door: each names the public call that makes
// it and refuses with TSPHError (sph/error.h) before anything changes.
#pragma once

#include <cstdint>
#include <string>

#include "sph/error.h"

class TSPH;
struct TParticle;

namespace sph_detail {

// Numbers a caller may hand the library: at most MAX_MAGNITUDE either way,
// and, where the model divides by them, at least MIN_POSITIVE. Within these
// every quantity of a step stays finite.
inline constexpr float MAX_MAGNITUDE = 1e6f;
inline constexpr float MIN_POSITIVE = 1e-6f;

class TCheck {
public:
    explicit TCheck(const char* call) : Call(call) {}

    [[noreturn]] void Fail(const std::string& what) const;
    // |value| ≤ MAX_MAGNITUDE (so finite).
    void Finite(const char* what, float value) const;
    // MIN_POSITIVE ≤ value ≤ MAX_MAGNITUDE.
    void Positive(const char* what, float value) const;
    // 0 ≤ value ≤ MAX_MAGNITUDE.
    void NotNegative(const char* what, float value) const;
    // 0 ≤ value ≤ limit.
    void Within(const char* what, std::int64_t value, std::int64_t limit) const;
    template <class T>
    T* NotNull(const char* what, T* p) const {
        if (!p) Fail(std::string(what) + " must not be null");
        return p;
    }
    // A particle made in `world` (by a factory of this library, with the
    // world or one of its materials).
    void Belongs(const char* what, const TSPH& world, const TParticle* p) const;

private:
    const char* Call;
};

// A material's SetIntegrator: the material names its world once, and
// registers with it through `add`, which refuses a material that the world
// does not own; refused, the material names no world again.
template <class Material>
void JoinWorld(const char* call, Material& material, TSPH* world, void (TSPH::*add)(Material*)) {
    const TCheck check(call);
    check.NotNull("the world", world);
    if (material.Integrator) check.Fail("the material already belongs to a world");
    material.Integrator = world;
    try {
        (world->*add)(&material);
    } catch (...) {
        material.Integrator = nullptr;
        throw;
    }
}

// A number as a message shows it: up to nine significant digits.
std::string Shown(double value);

}  // namespace sph_detail
