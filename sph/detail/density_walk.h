// The density walk: a liquid particle's pairs with its lower-numbered
// partners add their rate of change of density to both sides.
// Part of the walks: internal to each file that compiles them (walker.h).
#pragma once

#include <cstddef>
#include <cstdint>

#include "sph/detail/lanes.h"
#include "sph/detail/pair_terms.h"
#include "sph/detail/walker.h"

namespace sph_detail {
namespace {

template <class W>
struct TDensityWalk : TWalker {
    static constexpr bool EIGHT_AT_A_TIME = LANES<W> == 8;
    const float VX, VY, Mass;
    float Rate = 0;

    TDensityWalk(const TSweep& w, std::int32_t i, std::int32_t* lowerStart)
        : TWalker(w, i, lowerStart), VX(P.Motion[S][2]), VY(P.Motion[S][3]), Mass(P.MassBefore[S]) {}

    template <class V>
    void Sum(const std::int32_t* q, MaskOf<V> live) {
        V motion[4];
        FieldsOf(P.Motion.data(), q, motion);
        const auto [dx, dy, d2] = OffsetsOf(motion, X, Y);
        const V pairRate = DensityRate(dx, dy, d2, Broadcast<V>(VX) - motion[2], Broadcast<V>(VY) - motion[3]);
        const V none = Broadcast<V>(-0.0f);
        const V toP = Select(live, DensityShare(pairRate, GatherLanes<V>(P.MassBefore.data(), q)), none);
        const V toQ = Select(live, DensityShare(pairRate, Broadcast<V>(Mass)), none);
        float rate = Rate;
        for (int l = 0; l < LANES<V>; ++l) rate += toP[l];
        Rate = rate;
        if (OnSeam) return;  // q gathers its share itself
        float* deltaDensity = P.DeltaDensity.data();
        for (int l = 0; l < LANES<V>; ++l) deltaDensity[q[l]] += toQ[l];
    }
    void AfterCell(std::size_t) {}
};

template <class W, bool SortedCells>
void DensityWalk(const TSweep& w, std::int32_t i, TPartnerRecord& record, std::int32_t* lowerStart) {
    TDensityWalk<W> walk(w, i, lowerStart);
    WalkCells<W, SortedCells>(walk, &record);
    walk.P.DeltaDensity[walk.S] += walk.Rate;
}

}  // namespace
}  // namespace sph_detail
