// The liquid as the fluid passes read it: every liquid particle's fields in
// arrays indexed by slot, the slots sorted by cell of a grid finer than the
// world's, so that a particle's candidates are five runs of consecutive
// slots. Laid out and copied from the records at each rebuild of the grid;
// the records stay the state of the world.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "sph/detail/lanes.h"

struct TParticle;

namespace sph_detail {

struct TFluidPack {
    // Lanes read past the last slot by the eight-wide scans.
    static constexpr std::size_t PAD = 8;
    // Room for the partners kept between the two passes of a step, per
    // particle: each thread keeps its particles' lists one after another in
    // the room of its slots, and a particle whose list no longer fits finds
    // its partners again in the force pass. Poured liquid has about 70
    // partners a particle where it lies deepest.
    static constexpr std::int32_t ROOM = 96;
    // The fine cells' side is half the smoothing length and a thousandth
    // more: two particles closer than h, whatever the float roundings, lie
    // at most two fine cells apart in each direction.
    static constexpr double FINE_CELLS_PER_UNIT = 2.0 / (3.85 * 1.001);

    std::int32_t Count = 0;  // particles laid out (the world's FluidCount then)
    bool AllInside = true;   // every particle lies in the world's grid

    // The world's grid: its number of cells, and per cell whether walls
    // (WALLS) or solid particles (SOLIDS) lie in it (Pushers), or in it or
    // one of the eight around it (PushersNear).
    std::size_t GridCells = 0;
    static constexpr std::uint8_t WALLS = 1, SOLIDS = 2;
    std::vector<std::uint8_t> Pushers, PushersNear;

    // The fine grid, column by column: cell k holds slots First[k] …
    // First[k + 1] − 1, its particles in increasing index.
    std::int32_t Columns = 0, Rows = 0;
    std::vector<std::int32_t> First;
    std::size_t FineCells = 0;
    // While laying out, per run of the world's array that one thread counts:
    // its count per fine cell, then where its next particle there goes; its
    // chains of the world's grid, head and tail per cell.
    std::vector<std::int32_t> RunCounts;
    std::vector<TParticle*> RunHeads, RunTails;

    // Per index in the world's array.
    std::vector<std::int32_t> SlotOf;
    std::vector<std::int32_t> CellOf;       // fine cell, as the layout finds it
    std::vector<std::uint8_t> NearPushers;  // PushersNear of its home cell (a particle outside: both)

    // Per slot. Position, velocity and mass apart, for the density pass to
    // read candidates eight at a time; four fields to a vector, which the
    // force pass loads for a partner at once:
    // Motion {X, Y, VX, VY}; Side {Mass, Density, Pressure · InvDensitySq,
    // SoundSpeed}, which the density pass derives; Kind {ID, liquid, −V_Alpha,
    // V_Beta}, the two numbers' bits in float lanes.
    std::vector<std::int32_t> IndexAt;
    std::vector<std::int32_t> Cell;  // fine cell
    std::vector<float> X, Y, VX, VY, MassBefore;
    std::vector<F4> Motion, Side, Kind;
    std::vector<std::int32_t> ID, Inside;  // Inside: all ones where the particle lies in the world's grid
    std::vector<float> Cohesion;           // −SurfaceTension of the particle's liquid

    // What the gathers leave per slot: the density's rate, and the liquid's
    // pair forces {force x, force y, Δv x, Δv y}.
    std::vector<float> DeltaDensity;
    std::vector<F4> Push;

    // The partners the density pass kept, each as its slot's offset from
    // the particle's own (a particle with a partner farther off keeps none):
    // slot s's list starts at PartnerStart[s] (−1: not kept) and holds
    // PartnerCount[s] partners, then offsets 0 up to a whole number of eight.
    std::vector<std::int16_t> Partners;
    std::vector<std::int32_t> PartnerStart, PartnerCount;

    // Sizes what depends on the world's grid of `columns` × `rows` cells;
    // the liquid is laid out again before the next fluid pass.
    void Resize(std::int32_t columns, std::int32_t rows);
    // Trades what Resize sizes, so that a new grid's room is made whole
    // before it replaces the old.
    void SwapCells(TFluidPack& other) noexcept;
    // Room for that many liquid particles.
    void Reserve(std::size_t particles);
    // Room for the counts of that many runs.
    void KeepRuns(std::int32_t runs);
};

}  // namespace sph_detail
