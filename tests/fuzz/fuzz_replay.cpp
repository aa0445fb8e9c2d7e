// Runs fuzz inputs, files or folders of them, through a fuzz target built
// without libFuzzer (GCC has none). A finding aborts, as under libFuzzer.
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
    for (int i = 1; i < argc; ++i) {
        for (const fs::path& file : fs::is_directory(argv[i])
                                        ? std::vector<fs::path>(fs::directory_iterator(argv[i]), {})
                                        : std::vector<fs::path>{argv[i]}) {
            std::ifstream in(file, std::ios::binary);
            const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
            LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
            ++runs;
        }
    }
    std::printf("%s: %d inputs replayed\n", argv[0], runs);
    return runs > 0 ? 0 : 1;
}
