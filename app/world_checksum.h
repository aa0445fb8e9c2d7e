// A checksum of a world's particle state: any changed bit of any particle's
// position, old position or velocity changes it. The demo prints it at the
// end of a run that can be repeated (--frames, --replay), and the tests hold
// builds, thread counts and replays against each other with it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "sph/sph.h"

// FNV-1a over the bytes of position, old position and velocity of every
// particle of the world (liquid, solid, rigid and boundary), in order of
// creation.
inline std::uint64_t WorldChecksum(const TSPH& world) {
    std::vector<const TParticle*> all;
    for (const TSPH::ParticleView kind : {world.GetFluidParticles(), world.GetSolidParticles(),
                                          world.GetRigidParticles(), world.GetBoundaryParticles()})
        all.insert(all.end(), kind.begin(), kind.end());
    std::sort(all.begin(), all.end(), [](const TParticle* a, const TParticle* b) { return a->ID < b->ID; });
    std::uint64_t h = 14695981039346656037ull;
    for (const TParticle* p : all) {
        for (float v : {p->PositionX, p->PositionY, p->OldX, p->OldY, p->VelocityX, p->VelocityY}) {
            std::uint32_t bits;
            std::memcpy(&bits, &v, sizeof bits);
            for (int k = 0; k < 4; ++k) h = (h ^ ((bits >> (8 * k)) & 0xffu)) * 1099511628211ull;
        }
    }
    return h;
}
