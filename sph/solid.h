// Elastic solids: lattices of particles held together by distance constraints.
#pragma once

#include <cstdint>
#include <memory>

class TSPH;

namespace sph_detail {

struct TStateAccess;

// What an elastic solid holds; a program reads it through TSolid's getters.
struct TSolidState {
    TSPH* Integrator = nullptr;
    float Stiffness = 0;  // share of a constraint's length error removed per step, 0 to 1
    std::uint8_t ColorR = 0;
    std::uint8_t ColorG = 0;
    std::uint8_t ColorB = 0;
};

}  // namespace sph_detail

// An elastic solid of a world, which owns it: made by Create, read through
// its getters and changed only through its calls.
class TSolid : private sph_detail::TSolidState {
public:
    // A new solid registered with the world, which keeps it while it lives.
    // Once the world is gone, a solid the caller still holds has no world
    // (GetWorld() is null) and refuses CreateRect.
    static std::shared_ptr<TSolid> Create(TSPH* world);

    TSPH* GetWorld() const { return Integrator; }
    float GetStiffness() const { return Stiffness; }

    void SetStiffness(float s);
    void SetColor(std::uint8_t r, std::uint8_t g, std::uint8_t b);
    void GetColor(std::uint8_t& r, std::uint8_t& g, std::uint8_t& b) const;
    // Adds a lattice of particles 25 scene pixels apart over a rectangle given
    // in screen pixels (far edges excluded), with its edge and long-diagonal
    // constraints; (vx, vy) is an initial displacement per step.
    void CreateRect(float x, float y, float width, float height, float vx, float vy);

private:
    friend class TSPH;
    friend struct sph_detail::TStateAccess;

    TSolid();
};
