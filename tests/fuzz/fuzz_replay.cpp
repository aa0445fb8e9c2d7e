// Runs fuzz inputs, files or folders of them, through a fuzz target built
// without libFuzzer: GCC has none, and GCC's build of the sph library is the
// one whose fluid passes take eight lanes at a time where the processor has
// AVX2. A finding aborts, as under libFuzzer.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    int runs = 0;
    auto run = [&](const fs::path& file) {
        std::ifstream in(file, std::ios::binary);
        const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
        LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
        ++runs;
    };
    for (int i = 1; i < argc; ++i) {
        if (fs::is_directory(argv[i])) {
            for (const auto& entry : fs::directory_iterator(argv[i]))
                if (entry.is_regular_file()) run(entry.path());
        } else {
            run(argv[i]);
        }
    }
    std::printf("%s: %d inputs replayed\n", argc > 0 ? argv[0] : "fuzz_replay", runs);
    return runs > 0 ? 0 : 1;
}
