// The pair terms give the same bits one pair at a time (the seam gathers),
// four lanes at a time (the plain walks) and eight (the walks for AVX2), on
// random pairs: close and far, approaching and receding, of one liquid or
// two. A lane that rounded differently would split the threads' results.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "sph/detail/fluid_walks.h"
#include "sph/detail/pair_terms.h"
#include "sph/detail/wide_lanes.h"

namespace {

using namespace sph_detail;

struct TPairCase {
    TPairSide<float> P, Q;
    float Cohesion, Alpha, Beta, Dx, Dy;
    bool Cohere;
};

// Everything a pair's terms give: its density rate and forces, and what
// lands on each side.
struct TTerms {
    float Rate, Forces[6];
    F4 OnP[2], OnQ[2];
};

// Field `m` of the sides of LANES<V> cases, lane by lane.
template <class V>
[[gnu::always_inline]] inline TPairSide<V> SideLanes(const TPairCase* c, TPairSide<float> TPairCase::*m) {
    TPairSide<V> s;
    for (int l = 0; l < LANES<V>; ++l) {
        const TPairSide<float>& o = c[l].*m;
        s.VX[l] = o.VX, s.VY[l] = o.VY, s.Mass[l] = o.Mass, s.Density[l] = o.Density;
        s.PressureTerm[l] = o.PressureTerm, s.SoundSpeed[l] = o.SoundSpeed;
    }
    return s;
}

// The terms of LANES<V> cases at once, or of one with V = float.
template <class V>
[[gnu::always_inline]] inline void TermsOf(const TPairCase* c, TTerms* out) {
    TPairSide<V> p, q;
    V cohesion, alpha, beta, dx, dy;
    MaskOf<V> cohere, live;
    if constexpr (LANES<V> == 1) {
        p = c->P, q = c->Q, cohesion = c->Cohesion, alpha = c->Alpha, beta = c->Beta, dx = c->Dx, dy = c->Dy;
        cohere = c->Cohere, live = true;
    } else {
        p = SideLanes<V>(c, &TPairCase::P), q = SideLanes<V>(c, &TPairCase::Q);
        for (int l = 0; l < LANES<V>; ++l) {
            cohesion[l] = c[l].Cohesion, alpha[l] = c[l].Alpha, beta[l] = c[l].Beta, dx[l] = c[l].Dx;
            dy[l] = c[l].Dy, cohere[l] = c[l].Cohere ? -1 : 0, live[l] = -1;
        }
    }
    const V d2 = dx * dx + dy * dy;
    const V rate = DensityRate(dx, dy, d2, p.VX - q.VX, p.VY - q.VY);
    const TPairForces<V> f = PairForces(p, q, cohesion, alpha, beta, dx, dy, d2);
    const TLanding<V> onP = LandingOn<TSide::Higher>(f, q.Mass, dx, dy, cohere, live);
    const TLanding<V> onQ = LandingOn<TSide::Lower>(f, p.Mass, dx, dy, cohere, live);
    for (int l = 0; l < LANES<V>; ++l) {
        // Member by member, which leaves the padding as the vector made it.
        TTerms& t = out[l];
        const V forces[6] = {f.Cohesion, f.Fx, f.Fy, f.Xsph, f.RelX, f.RelY};
        if constexpr (LANES<V> == 1) {
            t.Rate = rate;
            for (int k = 0; k < 6; ++k) t.Forces[k] = forces[k];
        } else {
            t.Rate = rate[l];
            for (int k = 0; k < 6; ++k) t.Forces[k] = forces[k][l];
        }
        t.OnP[0] = onP.Cohesion[l], t.OnP[1] = onP.Rest[l], t.OnQ[0] = onQ.Cohesion[l], t.OnQ[1] = onQ.Rest[l];
    }
}

void FourLanes(const TPairCase* c, TTerms* out) { TermsOf<F4>(c, out); }
#ifdef SPH_WALKS_FOR_AVX2
[[gnu::target("avx2")]] void EightLanes(const TPairCase* c, TTerms* out) { TermsOf<F8>(c, out); }
#endif

std::vector<TPairCase> RandomPairs(std::size_t n) {
    std::mt19937 random(20261209);
    auto in = [&](float a, float b) { return std::uniform_real_distribution<float>(a, b)(random); };
    auto side = [&] { return TPairSide<float>{in(-2, 2), in(-2, 2), in(0.5f, 3), in(0.3f, 3), in(-1, 1), in(0, 5)}; };
    std::vector<TPairCase> cases(n);
    for (TPairCase& c : cases) {
        const float r = TSPH::SMOOTHING_LENGTH * in(1e-4f, 0.9999f), angle = in(0, 6.2831853f);
        c = {side(), side(), -in(0, 1), -in(0, 2), in(0, 2), r * std::cos(angle), r * std::sin(angle), in(0, 1) < 0.7f};
    }
    return cases;
}

void ExpectSameBits(const std::vector<TTerms>& a, const std::vector<TTerms>& b, const char* lanes) {
    for (std::size_t k = 0; k < a.size(); ++k)
        ASSERT_EQ(std::memcmp(&a[k], &b[k], sizeof(TTerms)), 0) << lanes << ", pair " << k;
}

TEST(PairTerms, OnePairFourLanesAndEightLanesGiveTheSameBits) {
    const std::vector<TPairCase> cases = RandomPairs(4096);
    std::vector<TTerms> one(cases.size()), four(cases.size()), eight(cases.size());
    for (std::size_t k = 0; k < cases.size(); ++k) TermsOf<float>(&cases[k], &one[k]);
    for (std::size_t k = 0; k < cases.size(); k += 4) FourLanes(&cases[k], &four[k]);
    ExpectSameBits(one, four, "four lanes");
#ifdef SPH_WALKS_FOR_AVX2
    if (!__builtin_cpu_supports("avx2")) GTEST_SKIP() << "the processor has no AVX2";
    for (std::size_t k = 0; k < cases.size(); k += 8) EightLanes(&cases[k], &eight[k]);
    ExpectSameBits(one, eight, "eight lanes");
#else
    GTEST_SKIP() << "no walks for AVX2 in this build";
#endif
}

}  // namespace
