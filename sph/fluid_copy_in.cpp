// The records' fields copied into the slots as a fluid pass starts.
#include "sph/detail/fluid_copy_in.h"

#include <cstddef>
#include <cstdint>

#include "sph/particle.h"

using sph_detail::TFluidPack;

namespace {

// What both fluid passes read of a particle: where it is and how it moves,
// its number, its density and its liquid.
void CopyShared(const TParticle* p, TFluidPack& P, std::size_t s) {
    P.X[s] = p->PositionX;
    P.Y[s] = p->PositionY;
    P.ID[s] = p->ID;
    P.Motion[s] = sph_detail::F4{p->PositionX, p->PositionY, p->VelocityX, p->VelocityY};
    P.Density[s] = p->Density;
    P.Fluid[s] = p->Fluid;
}

// The copies go slot after slot: the pack's arrays are written in order,
// and only the records are read here and there, each fetched COPY_AHEAD
// slots before it is copied. Threads that copy apart thus write apart;
// copying runs of the array instead, they wrote into the same cache lines
// (a cell's slots hold particles of every run) and kept taking them from
// each other. Each first finds which particle each of its slots holds,
// from the whole of SlotOf, read in order.
constexpr std::int32_t COPY_AHEAD = 8;

template <class Copy>
void ForEachSlot(const TSPH& world, TFluidPack& P, std::int32_t begin, std::int32_t end, Copy&& copy) {
    for (std::int32_t i = 0; i < P.Count; ++i) {
        const std::int32_t slot = P.SlotOf[static_cast<std::size_t>(i)];
        if (slot >= begin && slot < end) P.IndexAt[static_cast<std::size_t>(slot)] = i;
    }
    for (std::int32_t slot = begin; slot < end; ++slot) {
        const auto s = static_cast<std::size_t>(slot);
        if (slot + COPY_AHEAD < end)
            sph_detail::FetchRecord(world.FluidParticles[static_cast<std::size_t>(P.IndexAt[s + COPY_AHEAD])]);
        copy(world.FluidParticles[static_cast<std::size_t>(P.IndexAt[s])], s);
    }
}

}  // namespace

void sph_detail::CopyForDensity(const TSPH& world, TFluidPack& P, std::int32_t begin, std::int32_t end, bool inStep) {
    ForEachSlot(world, P, begin, end, [&](const TParticle* p, std::size_t s) {
        CopyShared(p, P, s);
        P.MassBefore[s] = p->Mass;
        P.DeltaDensity[s] = inStep ? 0.0f : p->DeltaDensity;
    });
}

void sph_detail::CopyForForces(const TSPH& world, TFluidPack& P, std::int32_t begin, std::int32_t end) {
    ForEachSlot(world, P, begin, end, [&](const TParticle* p, std::size_t s) {
        CopyShared(p, P, s);
        P.Side[s] = F4{p->Mass, p->Density, p->Pressure * p->InvDensitySq, p->SoundSpeed};
        P.Push[s] = F4{p->ForceX, p->ForceY, p->DeltaVelocityX, p->DeltaVelocityY};
    });
}
