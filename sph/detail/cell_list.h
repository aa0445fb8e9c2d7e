// The chains of a grid laid out one after another in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct TParticle;

namespace sph_detail {

// What the neighbour walks need of a particle, next to its neighbours.
struct TCellEntry {
    float X, Y;
    std::int32_t ID;
    TParticle* Particle;
};

// The smallest box holding a cell's particles; for an empty cell, one that
// holds nothing (the minima at +∞, the maxima at −∞).
struct TCellBox {
    float MinX, MinY, MaxX, MaxY;
};

// A copy of a grid's chains, cell after cell, each in chain order, made at
// every rebuild of the grid. Walking a cell's entries visits the particles
// exactly as walking its chain does, but reads consecutive memory instead of
// hopping from record to record, and touches a particle's record only when
// it is close enough to matter.
struct TCellList {
    std::vector<std::size_t> First;  // cell k holds Entries[First[k] .. First[k + 1])
    std::vector<TCellEntry> Entries;
    std::vector<TCellBox> Boxes;  // per cell

    void Resize(std::size_t cells) {
        First.assign(cells + 1, 0);
        Boxes.resize(cells);
    }
    // Trades what Resize sizes, so that a new grid's room is made whole
    // before it replaces the old.
    void SwapCells(TCellList& other) noexcept {
        First.swap(other.First);
        Boxes.swap(other.Boxes);
    }
    // Room for `particles` entries; called when a particle array grows, so
    // that laying out never allocates.
    void Reserve(std::size_t particles) {
        if (Entries.size() < particles) Entries.resize(particles);
    }
    // Copies the chains of `grid`. A chain longer than the room (a particle
    // registered twice chains to itself) is cut short instead of looping.
    void LayOut(const std::vector<TParticle*>& grid);
};

}  // namespace sph_detail
