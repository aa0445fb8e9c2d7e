// The records' fields copied into the slots as a fluid pass starts, and
// read ahead of the sweeps that take particles in the world's order.
#pragma once

#include <cstddef>
#include <cstdint>

#include "sph/detail/fluid_pack.h"
#include "sph/particle.h"
#include "sph/sph.h"

namespace sph_detail {

// Copies what the density pass reads into slots [begin, end) from their
// particles' records; the accumulator starts at zero in a step, else at the
// record's.
void CopyForDensity(const TSPH& world, TFluidPack& P, std::int32_t begin, std::int32_t end, bool inStep);
// The same for the force pass called on its own.
void CopyForForces(const TSPH& world, TFluidPack& P, std::int32_t begin, std::int32_t end);

// The sweeps take particles in the order of the world's array, not of the
// slots: each fetches the fields of the one FETCH_AHEAD further on while the
// present one is handled, and its record too where the sweep reads records.
inline constexpr std::int32_t FETCH_AHEAD = 4;

inline void FetchRecord(const TParticle* p) {
    const auto* record = reinterpret_cast<const char*>(p);
    for (std::size_t line = 0; line < sizeof(TParticle); line += 64) __builtin_prefetch(record + line);
}

inline void FetchAhead(const TFluidPack& P, const TSPH* records, std::int32_t i) {
    const auto s = static_cast<std::size_t>(P.SlotOf[static_cast<std::size_t>(i)]);
    for (const void* field : {static_cast<const void*>(&P.Motion[s]), static_cast<const void*>(&P.Side[s]),
                              static_cast<const void*>(&P.Push[s]), static_cast<const void*>(&P.ID[s]),
                              static_cast<const void*>(&P.MassBefore[s]), static_cast<const void*>(&P.Fluid[s]),
                              static_cast<const void*>(&P.DeltaDensity[s])})
        __builtin_prefetch(field);
    if (records) FetchRecord(records->FluidParticles[static_cast<std::size_t>(i)]);
}

}  // namespace sph_detail
