// The liquid as the fluid phases walk it: the hot fields of every fluid
// particle copied into arrays per field, laid out cell by cell, and the split
// of a step between threads. Rebuilt from the particle records at every
// rebuild of the grid; the records stay the state of the world.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "sph/detail/lanes.h"
#include "sph/detail/partner_record.h"
#include "sph/detail/seam_list.h"

class TFluid;
struct TParticle;

namespace sph_detail {

// The arrays are indexed by slot: the particles of grid cell k hold slots
// First[k] … First[k + 1] − 1 in chain order (decreasing index in the world's
// array, so decreasing ID when IDs grow with the index). Particles outside
// the grid take the slots after the last cell, in no cell.
struct TFluidPack {
    // Lanes read past the end of a cell by the vectorised scans.
    static constexpr std::size_t PAD = 8;

    bool LaidOut = false;               // since the grid was last sized
    std::int32_t Count = 0;             // particles laid out (the world's FluidCount then)
    std::int32_t Inside = 0;            // of which in the grid
    bool Increasing = true;             // IDs strictly increase with the array index
    const TFluid* OnlyFluid = nullptr;  // the liquid of every particle, if they share one

    std::vector<std::int32_t> First;  // per cell, and one past the last
    std::vector<std::int32_t> Fill;   // per cell, while laying out
    // Per run of the world's array and cell, while the runs are counted on
    // threads apart: the run's count (then its next slot in the cell), and
    // its chain's head and tail.
    std::vector<std::int32_t> RunFill;
    std::vector<TParticle*> RunHead, RunTail;
    std::vector<std::int32_t> RunOrderEnd;  // per run and thread: its particles' end in Order
    // Per cell, in the force pass: whether walls (WALLS) or solid particles
    // (SOLIDS) lie there, and whether they lie in it or one of the eight
    // around it.
    static constexpr std::uint8_t WALLS = 1, SOLIDS = 2;
    std::vector<std::uint8_t> Pushers;
    std::vector<std::uint8_t> PushersNear;

    // Per slot. X, Y and ID are copied at the rebuild; the others when a
    // phase starts (from the records) or by the phase before it in a step.
    std::vector<float> X, Y;
    std::vector<std::int32_t> ID;
    std::vector<const TFluid*> Fluid;
    // The density the density pass advances, and the mass it reads: a
    // particle on a seam still needs its neighbours' old masses when they
    // already have their new ones.
    std::vector<float> Density, MassBefore;
    // Four fields to a vector, for the walks to load a particle's with one
    // load: Motion {X, Y, VX, VY}, copied with X and Y, and Side {Mass,
    // Density, Pressure · InvDensitySq, SoundSpeed}, which the density pass
    // derives for the force pass.
    std::vector<F4> Motion, Side;
    // Accumulators of a phase, per slot. The force pass keeps a particle's
    // four sums side by side, {force x, force y, Δv x, Δv y}, so that a pair
    // adds to each side with one vector add.
    std::vector<float> DeltaDensity;
    std::vector<F4> Push;

    // Per index in FluidParticles.
    std::vector<std::int32_t> SlotOf;
    std::vector<std::int32_t> Column;      // of the home cell
    std::vector<std::int32_t> Order;       // indices grouped by thread, increasing within a group
    std::vector<std::int32_t> IndexAt;     // per slot: its particle's index, found as the records are copied in
    std::vector<std::int32_t> NearSolids;  // room for the liquid particles that solid particles lie near

    // The split between threads: thread t sweeps the particles whose home
    // column lies in [SplitColumn[t], SplitColumn[t + 1]), listed in
    // Order[OrderStart[t] … OrderStart[t + 1]). The columns on either side of
    // an inner split form the seam: a particle there hears from particles of
    // two threads, so it gathers what they give it itself, after its walk.
    std::int32_t Threads = 1;
    bool ChoiceTimed = false;  // the split was the world's own choice, to be timed
    std::vector<std::int32_t> SplitColumn;
    std::vector<std::int32_t> OrderStart;
    std::vector<std::uint8_t> SeamColumn;    // per grid column
    std::vector<std::uint8_t> SeamNear;      // per grid column: a seam column lies within one column
    std::vector<std::int32_t> ColumnThread;  // per grid column
    std::vector<double> Share;               // of the particles, per thread, tuned by timing
    std::vector<double> Seconds;             // time of each thread's sweeps in the last step
    std::vector<TPartnerRecord> Records;     // per thread, from the density sweep to the force sweep
    std::vector<TSeamList> SeamLists;        // per thread, from the density pass to the force pass
    // Their room, shared by the threads' seam particles: two threads' seams
    // need about a word per particle in a compressed pile of 40 000; with more
    // threads, the seam particles that find no room find their partners again.
    std::vector<std::int32_t> SeamPartners;
    static constexpr std::size_t SEAM_ROOM = 2;  // words per particle
    // Per thread and cell, in a sweep: the first slot of the cell
    // numbered below the thread's last walker (walkers come in increasing
    // number, so it only moves towards the cell's first slot).
    std::vector<std::int32_t> LowerStart;
    std::vector<std::uint8_t> RecordBytes;  // their parts, RecordBytesEach per particle of the thread
    std::size_t RecordBytesEach = 16;       // raised after a step that ran out of room
    std::int32_t LargestCell = 0;           // particles in the fullest cell

    void Resize(std::size_t cells, std::size_t columns);
    // Trades what Resize sizes, so that a new grid's room is made whole
    // before it replaces the old.
    void SwapCells(TFluidPack& other) noexcept;
    void Reserve(std::size_t particles);
};

}  // namespace sph_detail
