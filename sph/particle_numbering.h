// The numbers particles get, in order of creation.
#pragma once

#include <atomic>
#include <cstdint>

// Each world numbers its particles with one of these: its own, unless its
// caller hands several worlds the same one (TSPH::Create), as the demo does
// so that its three worlds' particles are numbered together. Numbers start
// at 0; the last is 2^31 − 2, after which making a particle is refused.
// One numbering may serve worlds built on several threads at once.
class TParticleNumbering {
public:
    // The number the next particle will get.
    std::int32_t Next() const { return NextNumber.load(std::memory_order_relaxed); }
    // Takes `count` consecutive numbers and returns the first; refuses (with
    // TSPHError naming `call`) when fewer are left.
    std::int32_t Take(std::int32_t count, const char* call);

private:
    std::atomic<std::int32_t> NextNumber{0};
};
