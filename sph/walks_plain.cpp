// The walks of the fluid passes for the baseline instructions of the
// target, four lanes at a time, and the choice between them and the walks
// for AVX2 (walks_avx2.cpp).
#include "sph/detail/walk_set.h"

namespace sph_detail {

const TWalks& TWalks::Plain() {
    static const TWalks walks = WalksOf<F4>();
    return walks;
}

const TWalks& TWalks::Fastest() {
#ifdef SPH_WALKS_FOR_AVX2
    // Asked once: a constructor may step a world before the run-time library
    // has read the processor's features, hence the explicit initialisation.
    static const TWalks& fastest = (__builtin_cpu_init(), __builtin_cpu_supports("avx2")) ? Avx2Walks() : Plain();
    return fastest;
#else
    return Plain();
#endif
}

}  // namespace sph_detail
