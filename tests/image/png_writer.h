// Test helper: writes small PNG files with libpng, and reads files back as bytes.
#pragma once

#include <png.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

struct TPngImage {
    int width = 1;
    int height = 1;
    int bitDepth = 8;
    int colorType = PNG_COLOR_TYPE_RGB_ALPHA;
    bool interlaced = false;
    std::vector<png_color> palette;
    std::vector<png_byte> paletteAlpha;  // tRNS for palette images
    png_color_16 transparentColor{};     // tRNS for grey or RGB images
    bool hasTransparentColor = false;
    std::vector<std::uint8_t> data;  // rows packed as PNG stores them, big-endian samples
};

namespace png_writer_detail {

inline bool WriteAll(png_structp png, png_infop info, std::FILE* file, const TPngImage& s, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_init_io(png, file);
    png_set_IHDR(png, info, s.width, s.height, s.bitDepth, s.colorType,
                 s.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (!s.palette.empty()) png_set_PLTE(png, info, s.palette.data(), static_cast<int>(s.palette.size()));
    if (!s.paletteAlpha.empty())
        png_set_tRNS(png, info, s.paletteAlpha.data(), static_cast<int>(s.paletteAlpha.size()), nullptr);
    if (s.hasTransparentColor) png_set_tRNS(png, info, nullptr, 0, &s.transparentColor);
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, nullptr);
    return true;
}

}  // namespace png_writer_detail

inline bool WritePngFile(const std::string& path, const TPngImage& s) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    const std::size_t rowBytes = s.height > 0 ? s.data.size() / static_cast<std::size_t>(s.height) : 0;
    std::vector<png_bytep> rows(static_cast<std::size_t>(s.height));
    std::vector<std::uint8_t> copy = s.data;
    for (int y = 0; y < s.height; ++y) rows[y] = copy.data() + rowBytes * y;
    const bool ok = png_writer_detail::WriteAll(png, info, file, s, rows.data());
    png_destroy_write_struct(&png, &info);
    return std::fclose(file) == 0 && ok;
}

inline std::vector<std::uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// Writes an RGBA image (rows top to bottom, no padding) as a PNG.
inline bool WriteRgbaPng(const std::string& path, int width, int height, const std::vector<std::uint8_t>& rgba) {
    TPngImage s;
    s.width = width;
    s.height = height;
    s.colorType = PNG_COLOR_TYPE_RGB_ALPHA;
    s.data = rgba;
    return WritePngFile(path, s);
}
