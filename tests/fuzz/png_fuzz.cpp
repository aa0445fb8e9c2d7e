// Fuzz target: the PNG loader exactly as the demo calls it, on a file. Each
// input is written to one scratch file and loaded from there; a decoded
// image is read through to its last byte so that a wrong size shows up
// under AddressSanitizer.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/png.h"

namespace {

std::string ScratchPath() {
    const char* dir = std::getenv("TMPDIR");
    std::string base = dir != nullptr && *dir != '\0' ? dir : "/tmp";
    if (access("/dev/shm", W_OK) == 0) base = "/dev/shm";
    return base + "/png_fuzz_" + std::to_string(getpid()) + ".png";
}

}  // namespace

// AddressSanitizer keeps freed memory aside to catch late uses, 256 MiB by
// default: with the run's 256 MiB memory limit that alone would end it.
extern "C" const char* __asan_default_options() { return "quarantine_size_mb=32"; }

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path = ScratchPath();
    static const int removeAtExit = std::atexit([] { std::remove(path.c_str()); });
    (void)removeAtExit;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) std::abort();
    if (size > 0 && std::fwrite(data, 1, size, file) != size) std::abort();
    std::fclose(file);

    std::string error;
    auto pixmap = LoadPngPixmap(path, &error);
    if (!pixmap) {
        if (error.empty()) std::abort();  // every refusal says why
        return 0;
    }
    if (!error.empty()) std::abort();
    unsigned sum = 0;
    const std::int32_t rowBytes = pixmap->width * BytesPerPixel(pixmap->format);
    for (std::int32_t y = 0; y < pixmap->height; ++y) {
        const std::uint8_t* row = pixmap->PixelPtr(0, y);
        for (std::int32_t x = 0; x < rowBytes; ++x) sum += row[x];
    }
    // Keeps the sum, and so the reads, from being optimised away.
    static volatile unsigned sink = 0;
    sink = sink ^ sum;
    return 0;
}
