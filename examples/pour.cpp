// A block of liquid falls into a box, stepped 200 times on a thread pool;
// prints the particle count and a checksum of every particle's position and
// velocity, which is the same on any number of threads.
//
//   pour [--threads N]      (default 2; 1 steps on this thread alone)
#include <sph/fluid.h>
#include <sph/sph.h>
#include <sph/thread_pool.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

int main(int argc, char** argv) {
    const int threads = argc == 3 && std::strcmp(argv[1], "--threads") == 0 ? std::atoi(argv[2]) : 2;
    auto world = TSPH::Create(800, 600, 2800, 2100, 0.2857143f);  // 800 × 600 pixels on screen
    CreateBoundaryRect(world.get(), 0, 560, 800, 40);             // a floor
    TFluid::Create(world.get())->CreateRect(150, 100, 500, 300, 0, 0);

    TThreadPool pool(threads);
    TSplitSettings split;
    split.Adaptive = false;  // split every step, timed or not
    if (threads > 1) world->SetTaskRunner(&pool, split);
    for (int step = 0; step < 200; ++step) world->Update();

    std::uint64_t sum = 14695981039346656037ull;  // FNV-1a over the bits
    for (std::int32_t i = 0; i < world->FluidCount; ++i) {
        const TParticle* p = world->FluidParticles[static_cast<std::size_t>(i)];
        for (float v : {p->PositionX, p->PositionY, p->VelocityX, p->VelocityY}) {
            std::uint32_t bits;
            std::memcpy(&bits, &v, sizeof bits);
            sum = (sum ^ bits) * 1099511628211ull;
        }
    }
    std::printf("particles %d checksum %016llx\n", world->GetParticleCount(), static_cast<unsigned long long>(sum));
    return 0;
}
