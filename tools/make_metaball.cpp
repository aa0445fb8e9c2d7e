// Writes the particle sprite: a 64 × 64 RGBA PNG, white at the centre, falling
// smoothly to black and to alpha 0 at the rim of the inscribed circle. The
// falloff (1 - r²)² has a flat top and a soft edge: on its own a sprite shows
// as a small dot after the renderer's fourth-power sharpening, while sprites
// about half their width apart add up past full intensity and merge.
//
// Usage: make_metaball <output.png>
#include <png.h>

#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <vector>

namespace {

constexpr int SIZE = 64;

std::vector<png_byte> MakeImage() {
    std::vector<png_byte> image(SIZE * SIZE * 4);
    const double centre = SIZE / 2.0;
    for (int y = 0; y < SIZE; ++y) {
        for (int x = 0; x < SIZE; ++x) {
            const double dx = (x + 0.5 - centre) / centre;
            const double dy = (y + 0.5 - centre) / centre;
            const double r2 = dx * dx + dy * dy;
            const double falloff = r2 < 1.0 ? (1.0 - r2) * (1.0 - r2) : 0.0;
            const auto v = static_cast<png_byte>(std::lround(falloff * 255.0));
            png_byte* p = &image[(y * SIZE + x) * 4];
            p[0] = p[1] = p[2] = v;
            p[3] = v;
        }
    }
    return image;
}

// Holds no C++ objects, so libpng's longjmp on an error skips nothing.
bool WriteRows(png_structp png, png_infop info, std::FILE* file, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_init_io(png, file);
    png_set_IHDR(png, info, SIZE, SIZE, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, nullptr);
    return true;
}

bool WritePng(const char* path, std::vector<png_byte>& image) {
    std::FILE* file = std::fopen(path, "wb");
    if (file == nullptr) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    std::vector<png_bytep> rows(SIZE);
    for (int y = 0; y < SIZE; ++y) rows[y] = &image[y * SIZE * 4];
    const bool ok = info != nullptr && WriteRows(png, info, file, rows.data());
    png_destroy_write_struct(&png, &info);
    return std::fclose(file) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output.png>\n", argv[0]);
        return 2;
    }
    std::vector<png_byte> image = MakeImage();
    if (!WritePng(argv[1], image)) {
        std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[1]);
        return 1;
    }
    return 0;
}
