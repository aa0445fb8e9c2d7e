// Each liquid particle gathers its own sums over its partners, four or eight
// candidates at a time: the template over the widest lane type W that
// gather_plain.cpp (W = F4) and gather_avx2.cpp (W = F8) compile for their
// instructions. Everything is in an unnamed namespace, so that each file has
// its own copy for its own instructions and the linker can never hand a
// baseline caller one built for AVX2.
//
// The order of a particle's sums is fixed by the layout alone:
// - its candidates are the five runs of slots of fine columns c − 2 … c + 2,
//   rows r − 2 … r + 2 of each, taken run after run, in increasing slot;
// - the density pass adds candidate k of a run to partial sum k mod 8 (a
//   candidate that is no partner adds −0, which leaves every float as it
//   was), and keeps the partners, in order, in a list;
// - the force pass adds partner k of that list to partial sum k mod 8;
// - the eight partial sums end as ((s0 + s4) + (s1 + s5)) + ((s2 + s6) +
//   (s3 + s7)).
// Four lanes take a run or a list as pairs of groups of four, the first to
// partial sums 0 … 3, the second to 4 … 7, so the sums have the same bits on
// any number of threads and either width.
#pragma once

#include <cstdint>
#include <cstring>
#include <type_traits>

#include "sph/detail/fluid_gathers.h"
#include "sph/detail/fluid_pack.h"
#include "sph/detail/lanes.h"
#include "sph/detail/pair_terms.h"
#include "sph/detail/wide_lanes.h"
#include "sph/sph.h"

namespace sph_detail {
namespace {

template <class W>
[[gnu::always_inline]] inline W LoadLanes(const float* p) {
    W v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <class W>
[[gnu::always_inline]] inline MaskOf<W> LoadLanes(const std::int32_t* p) {
    MaskOf<W> v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// Eight partial sums; Add takes the next four or eight of them in turn.
template <class W>
struct TPartials;

template <>
struct TPartials<F4> {
    F4 Low{}, High{};  // +0 in every lane
    bool Second = false;
    [[gnu::always_inline]] void Add(F4 v) {
        (Second ? High : Low) += v;
        Second = !Second;
    }
    // The next Add goes to partial sums 0 … 3 again (a new run).
    void Restart() { Second = false; }
    float Total() const {
        const F4 s = Low + High;
        return (s[0] + s[1]) + (s[2] + s[3]);
    }
};

template <>
struct TPartials<F8> {
    F8 Sums{};  // +0 in every lane
    [[gnu::always_inline]] void Add(F8 v) { Sums += v; }
    void Restart() {}
    float Total() const {
        const F4 s = sph_detail::Low(Sums) + sph_detail::High(Sums);
        return (s[0] + s[1]) + (s[2] + s[3]);
    }
};

// Partners are handed on CHUNK at a time, a whole number of groups of
// eight, so that partner k always lands in partial sum k mod 8.
inline constexpr std::int32_t CHUNK = 64;
static_assert(CHUNK % 8 == 0);

inline std::int32_t WholeEights(std::int32_t n) { return (n + 7) / 8 * 8; }

// The farthest a kept partner's slot may lie from the particle's own, with
// a group of eight to spare, for its offset to fit 16 bits.
inline constexpr std::int32_t OFFSET_REACH = 32760;

// The lanes set in `taken` (bit l for lane l), in order, as lane numbers:
// the compaction of a group of candidates by one table look-up.
template <class W>
[[gnu::always_inline]] inline MaskOf<W> TakenLanes(int taken) {
    if constexpr (LANES<W> == 4)
        return TAKEN_LANES[taken];
    else
        return LoadLanes<W>(TAKEN_EIGHT.Lanes[taken]);
}

// Calls group(b, taken, dx, dy, d2) for the candidates of the particle in
// slot s, LANES<W> at a time from slot b on: `taken` marks its partners, at
// (dx, dy) = self − candidate, squared distance d2; restart() before each
// run. A partner lies within h, not on the particle, and, where some
// particles lie outside the world's grid, has the pair's lower-numbered
// particle inside it: the grid's chains hold only those.
template <class W, class Restart, class Group>
[[gnu::always_inline]] inline void ScanCandidates(const TFluidPack& P, std::int32_t s, Restart&& restart,
                                                  Group&& group) {
    using I = MaskOf<W>;
    constexpr std::int32_t L = LANES<W>;
    const float *const xs = P.X.data(), *const ys = P.Y.data();
    const std::int32_t* const first = P.First.data();
    const std::int32_t rows = P.Rows, columns = P.Columns;
    const bool allInside = P.AllInside;
    const W x = Broadcast<W>(xs[s]), y = Broadcast<W>(ys[s]);
    const W range = Broadcast<W>(TSPH::SMOOTHING_LENGTH_SQ), zero = Broadcast<W>(0.0f);
    const std::int32_t column = P.Cell[s] / rows, row = P.Cell[s] % rows;
    const std::int32_t top = row > 2 ? row - 2 : 0, bottom = row + 2 < rows ? row + 2 : rows - 1;
    for (std::int32_t c = column - 2; c <= column + 2; ++c) {
        if (c < 0 || c >= columns) continue;
        restart();
        const std::int32_t end = first[c * rows + bottom + 1];
        for (std::int32_t b = first[c * rows + top]; b < end; b += L) {
            const W dx = x - LoadLanes<W>(xs + b), dy = y - LoadLanes<W>(ys + b);
            const W d2 = dx * dx + dy * dy;
            I taken = (d2 > zero) & (d2 < range);
            if (end - b < L) taken &= LanesBelow<W>(end - b);
            if (!allInside) {
                const I lower = LoadLanes<W>(&P.ID[b]) < P.ID[s];
                taken &= (lower & LoadLanes<W>(&P.Inside[b])) | (~lower & P.Inside[s]);
            }
            group(b, taken, dx, dy, d2);
        }
    }
}

// Writes the slots of the partners among candidates b … b + L − 1 at q,
// LANES<W> slots in all (those past the partners are of no use); returns
// how many partners there are.
template <class W>
[[gnu::always_inline]] inline std::int32_t CompactPartners(std::int32_t b, MaskOf<W> taken, std::int32_t* q) {
    const int lanes = LaneMask(taken);
    const MaskOf<W> slots = TakenLanes<W>(lanes) + b;
    std::memcpy(q, &slots, sizeof slots);
    return __builtin_popcount(static_cast<unsigned>(lanes));
}

// Writes the offsets from slot s of the partners among candidates b … b + L
// − 1 at q, LANES<W> offsets in all; returns how many partners there are.
template <class W>
[[gnu::always_inline]] inline std::int32_t CompactOffsets(std::int32_t b, std::int32_t s, MaskOf<W> taken,
                                                          std::int16_t* q) {
    using Short4 = std::int16_t __attribute__((vector_size(8)));
    using Short8 = std::int16_t __attribute__((vector_size(16)));
    using Short = std::conditional_t<LANES<W> == 4, Short4, Short8>;
    const int lanes = LaneMask(taken);
    const Short offsets = __builtin_convertvector(TakenLanes<W>(lanes) + (b - s), Short);
    std::memcpy(q, &offsets, sizeof offsets);
    return __builtin_popcount(static_cast<unsigned>(lanes));
}

// Calls take(q, n) with the slots of the partners of the particle in slot s,
// in order, CHUNK at a time and then the rest (n may be 0). The last list
// holds eight more slots after the n, s itself, for the lanes past the last
// partner to read.
template <class W, class Take>
[[gnu::always_inline]] inline void ScanPartners(const TFluidPack& P, std::int32_t s, Take&& take) {
    std::int32_t q[CHUNK + 16];
    std::int32_t n = 0;
    ScanCandidates<W>(
        P, s, [] {},
        [&](std::int32_t b, MaskOf<W> taken, W, W, W) {
            n += CompactPartners<W>(b, taken, q + n);
            if (n >= CHUNK) {
                take(q, CHUNK);
                n -= CHUNK;
                std::memcpy(q, q + CHUNK, sizeof q[0] * static_cast<std::size_t>(n));
            }
        });
    for (std::int32_t l = 0; l < 8; ++l) q[n + l] = s;
    take(q, n);
}

// The pair forces from partners q[0 … n), added to the sums {force x,
// force y, Δv x, Δv y}.
template <class W>
[[gnu::always_inline]] inline void AddPairForces(const TFluidPack& P, std::int32_t s, const std::int32_t* q,
                                                 std::int32_t n, TPartials<W> sums[4]) {
    using I = MaskOf<W>;
    const F4 motion = P.Motion[s], side = P.Side[s], kind = P.Kind[s];
    const TPairSide<W> self{Broadcast<W>(motion[2]), Broadcast<W>(motion[3]), Broadcast<W>(side[0]),
                            Broadcast<W>(side[1]),   Broadcast<W>(side[2]),   Broadcast<W>(side[3])};
    const W x = Broadcast<W>(motion[0]), y = Broadcast<W>(motion[1]);
    const I id = (I)AllAlike<W>(Splat(kind[0])), liquid = (I)AllAlike<W>(Splat(kind[1]));
    const W alpha = Broadcast<W>(kind[2]), beta = Broadcast<W>(kind[3]);
    const W cohesion = Broadcast<W>(P.Cohesion[s]), none = Broadcast<W>(-0.0f);
    for (std::int32_t k = 0; k < n; k += LANES<W>) {
        W m[4], d[4], o[4];
        FieldsOf(P.Motion.data(), q + k, m);
        FieldsOf(P.Side.data(), q + k, d);
        FieldsOf(P.Kind.data(), q + k, o);
        const TPairSide<W> partner{m[2], m[3], d[0], d[1], d[2], d[3]};
        const I lower = (I)o[0] < id;  // the partner is the pair's lower-numbered particle
        const W dx = x - m[0], dy = y - m[1];
        const TPairForces<W> f =
            PairForces(self, partner, cohesion, Select(lower, o[2], alpha), Select(lower, o[3], beta),
                       Select(lower, d[0], self.Mass), dx, dy, dx * dx + dy * dy);
        const I live = LanesBelow<W>(n - k), cohere = live & ((I)o[1] == liquid);
        sums[0].Add(Select(cohere, f.CohesionX, none) - Select(live, f.Fx, Broadcast<W>(0.0f)));
        sums[1].Add(Select(cohere, f.CohesionY, none) - Select(live, f.Fy, Broadcast<W>(0.0f)));
        sums[2].Add(Select(live, f.XsphX, none));
        sums[3].Add(Select(live, f.XsphY, none));
    }
}

// Slots [begin, end): each particle's density rate into DeltaDensity, from
// its candidates as the scan meets them, and its partners kept while the
// room of these slots lasts.
template <class W>
void GatherDensity(TFluidPack& P, std::int32_t begin, std::int32_t end) {
    constexpr std::int32_t L = LANES<W>;
    std::int16_t* const room = P.Partners.data();
    std::int32_t next = begin * TFluidPack::ROOM;
    const std::int32_t last = end * TFluidPack::ROOM;
    const float *const vxs = P.VX.data(), *const vys = P.VY.data(), *const masses = P.MassBefore.data();
    for (std::int32_t s = begin; s < end; ++s) {
        TPartials<W> sum;
        std::int32_t count = 0;
        bool kept = true;
        const W vx = Broadcast<W>(vxs[s]), vy = Broadcast<W>(vys[s]);
        ScanCandidates<W>(
            P, s, [&] { sum.Restart(); },
            [&](std::int32_t b, MaskOf<W> taken, W dx, W dy, W d2) {
                const W rate = DensityRate(dx, dy, d2, vx - LoadLanes<W>(vxs + b), vy - LoadLanes<W>(vys + b));
                sum.Add(Select(taken, rate * LoadLanes<W>(masses + b), Broadcast<W>(-0.0f)));
                kept = kept && next + count + L <= last && b - s >= -OFFSET_REACH && b - s <= OFFSET_REACH;
                if (kept) count += CompactOffsets<W>(b, s, taken, room + next + count);
            });
        // The list's last group padded with the particle's own slot.
        kept = kept && next + WholeEights(count) <= last;
        if (kept)
            for (std::int32_t k = count; k < WholeEights(count); ++k) room[next + k] = 0;
        P.PartnerStart[static_cast<std::size_t>(s)] = kept ? next : -1;
        P.PartnerCount[static_cast<std::size_t>(s)] = count;
        if (kept) next += WholeEights(count);
        P.DeltaDensity[static_cast<std::size_t>(s)] = sum.Total();
    }
}

// Slots [begin, end): each particle's pair forces into Push, from the
// partners the density pass kept when `kept`, else found again.
template <class W>
void GatherForces(TFluidPack& P, std::int32_t begin, std::int32_t end, bool kept) {
    for (std::int32_t s = begin; s < end; ++s) {
        TPartials<W> sums[4];
        const std::int32_t start = P.PartnerStart[static_cast<std::size_t>(s)];
        if (kept && start >= 0) {
            const std::int16_t* offsets = &P.Partners[static_cast<std::size_t>(start)];
            std::int32_t q[CHUNK];
            for (std::int32_t n = P.PartnerCount[static_cast<std::size_t>(s)]; n > 0; n -= CHUNK, offsets += CHUNK) {
                const std::int32_t chunk = n < CHUNK ? WholeEights(n) : CHUNK;
                for (std::int32_t k = 0; k < chunk; ++k) q[k] = s + offsets[k];
                AddPairForces<W>(P, s, q, n < CHUNK ? n : CHUNK, sums);
            }
        } else {
            ScanPartners<W>(P, s, [&](const std::int32_t* q, std::int32_t n) { AddPairForces<W>(P, s, q, n, sums); });
        }
        P.Push[static_cast<std::size_t>(s)] = F4{sums[0].Total(), sums[1].Total(), sums[2].Total(), sums[3].Total()};
    }
}

template <class W>
constexpr TGathers GathersOf() {
    return {GatherDensity<W>, GatherForces<W>};
}

}  // namespace
}  // namespace sph_detail
