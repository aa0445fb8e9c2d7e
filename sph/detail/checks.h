// The checks at the library's door: each names the public call that makes
// it and refuses with TSPHError (sph/error.h) before anything changes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sph/detail/state_access.h"
#include "sph/error.h"

class TSPH;
struct TParticle;

namespace sph_detail {

struct TWorldState;

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
    void Belongs(const char* what, const TWorldState& world, const TParticle* p) const;

private:
    const char* Call;
};

// Makes a material `world` owns and lists once, naming the world. The
// lists grow before the material joins them, so a failed allocation leaves
// the world as it was.
template <class Material>
std::shared_ptr<Material> JoinWorld(TSPH* world, std::shared_ptr<Material> material,
                                    std::vector<std::shared_ptr<Material>>& owned, std::vector<Material*>& listed) {
    listed.reserve(listed.size() + 1);
    StateOf(*material).Integrator = world;
    owned.push_back(material);
    listed.push_back(material.get());
    return material;
}

// A number as a message shows it: the fewest digits that read back as it.
std::string Shown(double value);

}  // namespace sph_detail
