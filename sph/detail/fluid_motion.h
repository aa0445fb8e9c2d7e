// How the liquid moves once its forces are known.
#pragma once

#include <cstdint>

#include "sph/sph.h"

namespace sph_detail {

// Integrates the liquid particles [begin, end) of the world's array over
// one step, into the container.
void IntegrateLiquid(TSPH& world, std::int32_t begin, std::int32_t end);

}  // namespace sph_detail
