// A block of liquid falls into a box, stepped 200 times on a thread pool;
// prints the particle count and a checksum of every particle's position and
// velocity, which is the same on any number of threads.
//
//   pour [--threads N]      (1 to 64, default 2; 1 steps on this thread alone)
#include <sph/fluid.h>
#include <sph/sph.h>
#include <sph/thread_pool.h>

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

namespace {

constexpr int BAD_COMMAND_LINE = 2;

[[noreturn]] void Refuse(const std::string& line) {
    std::fprintf(stderr, "pour: %s\n", line.c_str());
    std::exit(BAD_COMMAND_LINE);
}

// The number of threads the command line asks for: "--threads N" or
// "--threads=N", N a whole number from 1 to 64 (what a pool takes); 2 without.
std::int32_t ThreadsAskedFor(int argc, char** argv) {
    std::int32_t threads = 2;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        std::string_view value;
        if (argument == "--threads") {
            if (i + 1 == argc) Refuse("--threads needs a value");
            value = argv[++i];
        } else if (argument.rfind("--threads=", 0) == 0) {
            value = argument.substr(std::strlen("--threads="));
        } else {
            const bool option = argument.rfind('-', 0) == 0;
            Refuse((option ? "unknown option \"" : "unexpected argument \"") + std::string(argument) + '"');
        }
        const auto [end, status] = std::from_chars(value.data(), value.data() + value.size(), threads);
        if (status != std::errc() || end != value.data() + value.size() || threads < 1 || threads > 64)
            Refuse("--threads: \"" + std::string(value) +
                   "\" is not a number of threads: give a whole number from 1 to 64");
    }
    return threads;
}

}  // namespace

int main(int argc, char** argv) {
    const std::int32_t threads = ThreadsAskedFor(argc, argv);
    // 2800 × 2100 scene pixels, drawn (by whoever draws) at 800 × 600 screen pixels.
    auto world = TSPH::Create({.ContainerWidth = 2800, .ContainerHeight = 2100, .Scale = 0.2857143f});
    CreateBoundaryRect(world.get(), 0, 560, 800, 40);  // a floor
    TFluid::Create(world.get())->CreateRect(150, 100, 500, 300, 0, 0);

    if (threads > 1) world->SetTaskRunner(std::make_shared<TThreadPool>(threads));
    for (int step = 0; step < 200; ++step) world->Update();

    std::uint64_t sum = 14695981039346656037ull;  // FNV-1a over the bits
    for (const TParticle* p : world->GetFluidParticles()) {
        for (float v : {p->PositionX, p->PositionY, p->VelocityX, p->VelocityY}) {
            std::uint32_t bits;
            std::memcpy(&bits, &v, sizeof bits);
            sum = (sum ^ bits) * 1099511628211ull;
        }
    }
    std::printf("particles %d checksum %016llx\n", world->GetParticleCount(), static_cast<unsigned long long>(sum));
    return 0;
}
