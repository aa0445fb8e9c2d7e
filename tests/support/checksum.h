// A checksum of a world's particle state: the one the demo prints at the end
// of a run (app/world_checksum.h), so that tests, tools and the program agree.
#pragma once

#include <cstdint>

#include "app/world_checksum.h"

namespace test_support {

inline std::uint64_t Checksum(const TSPH& world) { return WorldChecksum(world); }

}  // namespace test_support
