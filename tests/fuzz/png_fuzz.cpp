// Fuzz target: the PNG loader exactly as the demo calls it, on a file. Each
// input is written to one scratch file (in TMPDIR, else /dev/shm, else /tmp)
// and loaded from there; a decoded image is read through to its last byte so
// that a wrong size shows up under AddressSanitizer. PNG_FUZZ_SEEDS=<dir>
// writes the seed corpus there instead: small valid files of every colour
// type and bit depth, plain and interlaced, with and without transparency,
// and the hostile files the loader must refuse cheaply.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
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
            write(name + "-interlaced.png", s);
        }
    }
    TPngImage palette = Image(PNG_COLOR_TYPE_PALETTE, 4, 9, 3), rgb = Image(PNG_COLOR_TYPE_RGB, 8, 4, 4),
              grey = Image(PNG_COLOR_TYPE_GRAY, 8, 4, 4);
    palette.paletteAlpha = {255, 0, 128};
    rgb.hasTransparentColor = grey.hasTransparentColor = true;
    rgb.transparentColor.red = 11;
    grey.transparentColor.gray = 48;
    write("palette-transparent.png", palette);
    write("rgb-transparent-colour.png", rgb);
    write("grey-transparent-colour.png", grey);
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
    static const std::string path = [] {
        const char* tmp = std::getenv("TMPDIR");
        const std::string dir = tmp && *tmp ? tmp : access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        return dir + "/png_fuzz_" + std::to_string(getpid()) + ".png";
    }();
    static const int removeAtExit = std::atexit([] { std::remove(path.c_str()); });
    (void)removeAtExit;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file || (size > 0 && std::fwrite(data, 1, size, file) != size) || std::fclose(file) != 0) std::abort();

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
