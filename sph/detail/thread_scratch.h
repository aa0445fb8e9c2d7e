// What each thread keeps for itself in a layout or a step: its partner
// record and seam lists, kept from the density pass for the force pass, its
// starts per cell, and its runs while counting the liquid into the grid.
// Sized for as many threads as the world may use, so that a step that
// splits after steps that did not allocates nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "sph/detail/partner_record.h"
#include "sph/detail/seam_list.h"

struct TParticle;

namespace sph_detail {

struct TFluidPack;

struct TThreadScratch {
    std::vector<TPartnerRecord> Records;    // per thread, from the density sweep to the force sweep
    std::vector<std::uint8_t> RecordBytes;  // their parts, RecordBytesEach per particle of the thread
    std::size_t RecordBytesEach = 16;       // raised after a step that ran out of room
    std::vector<TSeamList> SeamLists;       // per thread, from the density pass to the force pass
    // Their room, shared by the threads' seam particles: at first two words
    // a particle, which two threads' seams in a compressed pile of 40 000
    // take half of; more threads have more seams, and the room grows after
    // a step whose lists did not fit (MakeRoomForSeamLists).
    std::vector<std::int32_t> SeamPartners;
    static constexpr std::size_t SEAM_ROOM = 2;  // words per particle, at first
    // Per thread and cell, in a sweep: the first slot of the cell numbered
    // below the thread's last walker (walkers come in increasing number, so
    // it only moves towards the cell's first slot).
    std::vector<std::int32_t> LowerStart;
    // Per run of the world's array and cell, while the runs are counted on
    // threads apart: the run's count (then its next slot in the cell), and
    // its chain's head and tail.
    std::vector<std::int32_t> RunFill;
    std::vector<TParticle*> RunHead, RunTail;
    std::vector<std::int32_t> RunOrderEnd;  // per run and thread: its particles' end in Order
    std::vector<std::int32_t> NearSolids;   // room for the liquid particles that solid particles lie near

    // Room for `threads` threads over `cells` cells.
    void KeepFor(std::int32_t threads, std::size_t cells);
    void Reserve(std::size_t particles);
};

// Within a step the force pass finds the same partners, at the same
// positions, as the density pass: the density sweep records them for it,
// each thread in the part of one buffer that its share of the particles
// sets; outside a step nothing is recorded.
void StartRecords(TFluidPack& P, bool inStep);
// Room for every particle's partners at the bytes each now takes, in one
// buffer that only grows.
void MakeRoomForRecords(TFluidPack& P);
// After a density sweep whose records ran out of room: more bytes each for
// the next step. The force sweep still reads the old buffer, so the room
// is made after it.
void RaiseRoomForRecords(TFluidPack& P);

// Within a step, room for the partners of each thread's seam particles, in
// proportion to how many the thread has; none kept outside a step.
void StartSeamLists(TFluidPack& P, std::int32_t gridHeight, bool inStep);
// After the force pass of a step whose seam lists ran out of room: room for
// as many as it wanted, for the next step.
void MakeRoomForSeamLists(TFluidPack& P);
// For the force pass: the lists the density pass of its step kept, from
// the start; none if it is not in that step.
void ReadSeamLists(TFluidPack& P, bool inStep);

// Thread k's first slot per cell numbered below its last walker, for a
// sweep that starts: no walker yet, so each cell's end.
std::int32_t* StartLowerStarts(TFluidPack& P, std::int32_t k);

}  // namespace sph_detail
