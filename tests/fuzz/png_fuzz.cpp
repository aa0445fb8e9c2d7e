// Fuzz target: the PNG loader exactly as the demo calls it, on a file. Each
// input is written to one file in memory and loaded through its path; a
// decoded image is read through to its last byte so that a wrong size shows
// up under AddressSanitizer. PNG_FUZZ_SEEDS=<dir> writes the seed corpus
// there instead: small valid files of every colour type and bit depth, plain
// and interlaced (these with transparency where the type takes it), and the
// hostile files the loader must refuse cheaply.
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/png.h"
#include "tests/image/png_writer.h"

namespace {

TPngImage Image(int colorType, int bitDepth, int width, int height) {
    static const int CHANNELS[] = {1, 0, 3, 1, 2, 0, 4};
    TPngImage s;
    s.width = width;
    s.height = height;
    s.bitDepth = bitDepth;
    s.colorType = colorType;
    s.data.resize((static_cast<std::size_t>(width) * CHANNELS[colorType] * bitDepth + 7) / 8 * height);
    for (std::size_t i = 0; i < s.data.size(); ++i) s.data[i] = static_cast<std::uint8_t>(i * 37 + 11);
    for (int i = 0; colorType == PNG_COLOR_TYPE_PALETTE && i < (1 << bitDepth); ++i)
        s.palette.push_back({static_cast<png_byte>(i * 40), static_cast<png_byte>(255 - i), static_cast<png_byte>(i)});
    return s;
}

int WriteSeeds(const std::string& dir) {
    mkdir(dir.c_str(), 0777);
    bool ok = true;
    auto write = [&](const std::string& name, const TPngImage& s) { ok = WritePngFile(dir + "/" + name, s) && ok; };
    for (const int depth : {1, 2, 4, 8, 16}) {
        for (const int type : {PNG_COLOR_TYPE_GRAY, PNG_COLOR_TYPE_RGB, PNG_COLOR_TYPE_PALETTE,
                               PNG_COLOR_TYPE_GRAY_ALPHA, PNG_COLOR_TYPE_RGB_ALPHA}) {
            if ((type == PNG_COLOR_TYPE_PALETTE) ? depth > 8 : (type != PNG_COLOR_TYPE_GRAY && depth < 8)) continue;
            TPngImage s = Image(type, depth, 7, 5);
            const std::string name = "type" + std::to_string(type) + "-" + std::to_string(depth);
            write(name + ".png", s);
            s.interlaced = true;
            if (type == PNG_COLOR_TYPE_PALETTE) s.paletteAlpha = {0, 128};
            s.hasTransparentColor = type == PNG_COLOR_TYPE_GRAY || type == PNG_COLOR_TYPE_RGB;
            s.transparentColor = {0, 11, 0, 0, 1};  // red 11 or grey 1
            write(name + "-interlaced.png", s);
        }
    }
    write("one-pixel.png", Image(PNG_COLOR_TYPE_RGB_ALPHA, 8, 1, 1));
    int hostile = 0;
    for (const THostilePng& h : HostilePngFiles()) WriteBytes(dir + "/hostile" + std::to_string(hostile++), h.bytes);
    return ok ? 0 : 1;
}

}  // namespace

// AddressSanitizer keeps freed memory aside to catch late uses, 256 MiB by
// default: with the run's 256 MiB memory limit that alone would end it.
extern "C" const char* __asan_default_options() { return "quarantine_size_mb=32"; }

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (const char* dir = std::getenv("PNG_FUZZ_SEEDS")) std::exit(WriteSeeds(dir));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const int file = memfd_create("png_fuzz", 0);
    static const std::string path = "/proc/self/fd/" + std::to_string(file);
    if (file < 0 || ftruncate(file, 0) != 0 || pwrite(file, data, size, 0) != static_cast<ssize_t>(size)) std::abort();

    std::string error;
    const auto pixmap = LoadPngPixmap(path, &error);
    if (error.empty() == !pixmap) std::abort();  // every refusal says why, and only a refusal
    unsigned sum = 0;
    const std::int32_t rowBytes = pixmap ? pixmap->width * BytesPerPixel(pixmap->format) : 0;
    for (std::int32_t y = 0; pixmap && y < pixmap->height; ++y)
        for (std::int32_t x = 0; x < rowBytes; ++x) sum += pixmap->PixelPtr(0, y)[x];
    static volatile unsigned sink = 0;  // keeps the sum, and so the reads, from being optimised away
    sink = sink ^ sum;
    return 0;
}
