// The gathers of the fluid passes for the baseline instructions of the
// target, four lanes at a time, and the choice between them and the
// gathers for AVX2 (gather_avx2.cpp).
#include "sph/detail/fluid_gather.h"

namespace sph_detail {

const TGathers& TGathers::Plain() {
    static const TGathers gathers = GathersOf<F4>();
    return gathers;
}

const TGathers& TGathers::Fastest() {
#ifdef SPH_GATHERS_FOR_AVX2
    // Asked once: a constructor may step a world before the run-time library
    // has read the processor's features, hence the explicit initialisation.
    static const TGathers& fastest = (__builtin_cpu_init(), __builtin_cpu_supports("avx2")) ? Avx2Gathers() : Plain();
    return fastest;
#else
    return Plain();
#endif
}

}  // namespace sph_detail
