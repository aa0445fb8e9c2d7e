// Writes the fuzzer's seed corpus into the folder given: small valid PNG
// files of every colour type and bit depth, plain and interlaced, with and
// without transparency, a 1 × 1 image, and the hostile files the loader
// must refuse cheaply.
#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/image/png_writer.h"

namespace {

TPngImage Image(int colorType, int bitDepth, int width, int height) {
    static const int CHANNELS[] = {1, 0, 3, 1, 2, 0, 4};
    TPngImage s;
    s.width = width;
    s.height = height;
    s.colorType = colorType;
    s.bitDepth = bitDepth;
    const std::size_t rowBits = static_cast<std::size_t>(width) * CHANNELS[colorType] * bitDepth;
    s.data.resize((rowBits + 7) / 8 * height);
    for (std::size_t i = 0; i < s.data.size(); ++i) s.data[i] = static_cast<std::uint8_t>(i * 37 + 11);
    if (colorType == PNG_COLOR_TYPE_PALETTE) {
        for (int i = 0; i < (1 << bitDepth); ++i)
            s.palette.push_back(
                {static_cast<png_byte>(i * 40), static_cast<png_byte>(255 - i), static_cast<png_byte>(i)});
    }
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: png_fuzz_seeds <folder>\n");
        return 2;
    }
    const std::string dir = argv[1];
    mkdir(dir.c_str(), 0777);
    int written = 0;
    bool ok = true;
    auto write = [&](const std::string& name, const TPngImage& s) {
        ok = WritePngFile(dir + "/" + name + ".png", s) && ok;
        ++written;
    };

    struct Type {
        int colorType;
        const char* name;
        std::vector<int> depths;
    };
    const Type types[] = {{PNG_COLOR_TYPE_GRAY, "grey", {1, 2, 4, 8, 16}},
                          {PNG_COLOR_TYPE_RGB, "rgb", {8, 16}},
                          {PNG_COLOR_TYPE_PALETTE, "palette", {1, 2, 4, 8}},
                          {PNG_COLOR_TYPE_GRAY_ALPHA, "grey-alpha", {8, 16}},
                          {PNG_COLOR_TYPE_RGB_ALPHA, "rgba", {8, 16}}};
    for (const Type& t : types) {
        for (int depth : t.depths) {
            const std::string name = std::string(t.name) + "-" + std::to_string(depth);
            TPngImage s = Image(t.colorType, depth, 7, 5);
            write(name, s);
            s.interlaced = true;
            write(name + "-interlaced", s);
        }
    }
    TPngImage palette = Image(PNG_COLOR_TYPE_PALETTE, 4, 9, 3);
    palette.paletteAlpha = {255, 0, 128};
    write("palette-transparent", palette);
    TPngImage keyed = Image(PNG_COLOR_TYPE_RGB, 8, 4, 4);
    keyed.hasTransparentColor = true;
    keyed.transparentColor.red = 11;
    write("rgb-transparent-colour", keyed);
    TPngImage grey = Image(PNG_COLOR_TYPE_GRAY, 8, 4, 4);
    grey.hasTransparentColor = true;
    grey.transparentColor.gray = 48;
    write("grey-transparent-colour", grey);
    write("one-pixel", Image(PNG_COLOR_TYPE_RGB_ALPHA, 8, 1, 1));

    for (const THostilePng& h : HostilePngFiles()) {
        std::string name = h.name;
        for (char& c : name)
            if (c == ' ' || c == '^') c = '-';
        WriteBytes(dir + "/hostile-" + name + ".png", h.bytes);
        ++written;
    }
    std::printf("png_fuzz_seeds: %d files in %s\n", written, dir.c_str());
    return ok ? 0 : 1;
}
