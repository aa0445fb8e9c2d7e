// Test helper: writes small PNG files with libpng, and reads files back as bytes.
#pragma once

#include <png.h>
#include <zlib.h>

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

// Writes the image described by `s` (its data aside) with the rows `rows`
// gives, each pass of an interlaced image asking for every row again; one row
// of memory is enough for a huge image.
template <typename TRows>
bool WritePngRows(const std::string& path, const TPngImage& s, TRows rows, int compression = Z_DEFAULT_COMPRESSION) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    bool ok = false;
    if (!setjmp(png_jmpbuf(png))) {
        png_init_io(png, file);
        png_set_compression_level(png, compression);
        png_set_IHDR(png, info, s.width, s.height, s.bitDepth, s.colorType,
                     s.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                     PNG_FILTER_TYPE_DEFAULT);
        if (!s.palette.empty()) png_set_PLTE(png, info, s.palette.data(), static_cast<int>(s.palette.size()));
        if (!s.paletteAlpha.empty())
            png_set_tRNS(png, info, s.paletteAlpha.data(), static_cast<int>(s.paletteAlpha.size()), nullptr);
        if (s.hasTransparentColor) png_set_tRNS(png, info, nullptr, 0, &s.transparentColor);
        png_write_info(png, info);
        for (int pass = png_set_interlace_handling(png); pass > 0; --pass)
            for (int y = 0; y < s.height; ++y) png_write_row(png, rows(y));
        png_write_end(png, nullptr);
        ok = true;
    }
    png_destroy_write_struct(&png, &info);
    return std::fclose(file) == 0 && ok;
}

inline bool WritePngFile(const std::string& path, const TPngImage& s) {
    const std::size_t rowBytes = s.height > 0 ? s.data.size() / static_cast<std::size_t>(s.height) : 0;
    return WritePngRows(path, s, [&](int y) { return s.data.data() + rowBytes * static_cast<std::size_t>(y); });
}

// An image of one colour, quickly written.
inline bool WriteUniformRgbaPng(const std::string& path, int width, int height, std::uint32_t rgba) {
    std::vector<png_byte> row(static_cast<std::size_t>(width) * 4);
    for (std::size_t i = 0; i < row.size(); ++i) row[i] = static_cast<png_byte>(rgba >> (24 - 8 * (i % 4)));
    TPngImage s;
    s.width = width;
    s.height = height;
    return WritePngRows(
        path, s, [&](int) { return row.data(); }, 1);
}

inline std::vector<std::uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// Chunks written by hand, for files libpng itself would not write.
inline void PutBE32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(v >> shift));
}

inline void AppendChunk(std::vector<std::uint8_t>& out, const char* type, const std::vector<std::uint8_t>& body) {
    PutBE32(out, static_cast<std::uint32_t>(body.size()));
    std::vector<std::uint8_t> crcInput(type, type + 4);
    crcInput.insert(crcInput.end(), body.begin(), body.end());
    out.insert(out.end(), crcInput.begin(), crcInput.end());
    PutBE32(out, static_cast<std::uint32_t>(crc32(0, crcInput.data(), static_cast<uInt>(crcInput.size()))));
}

// A signature and an 8-bit RGBA header of the given size.
inline std::vector<std::uint8_t> PngHead(std::uint32_t width, std::uint32_t height) {
    std::vector<std::uint8_t> file = {137, 80, 78, 71, 13, 10, 26, 10};
    std::vector<std::uint8_t> ihdr;
    PutBE32(ihdr, width);
    PutBE32(ihdr, height);
    ihdr.insert(ihdr.end(), {8, 6, 0, 0, 0});
    AppendChunk(file, "IHDR", ihdr);
    return file;
}

// Small files that once cost gigabytes: a 1 × 1 header, then a chunk that
// declares 2^31 - 1 bytes and ends at once; and a header declaring a large
// image over a few bytes of data.
struct THostilePng {
    std::string name;
    std::vector<std::uint8_t> bytes;
};

inline std::vector<THostilePng> HostilePngFiles() {
    std::vector<THostilePng> files;
    for (const char* type : {"tEXt", "zTXt", "iTXt", "iCCP", "sPLT", "eXIf", "fuZz", "IDAT"}) {
        std::vector<std::uint8_t> file = PngHead(1, 1);
        PutBE32(file, 0x7fffffffu);
        file.insert(file.end(), type, type + 4);
        if (type[0] == 'I') file.insert(file.end(), {0x78, 0x9c, 0x63, 0x60});  // the start of a zlib stream
        files.push_back({std::string("2^31-1 byte ") + type, file});
    }
    std::vector<std::uint8_t> big = PngHead(8192, 8192);
    AppendChunk(big, "IDAT", {0x78, 0x9c, 0x63, 0x60, 0x18, 0x05, 0x00});
    AppendChunk(big, "IEND", {});
    files.push_back({"8192 x 8192 header over 7 bytes of data", big});
    return files;
}
