#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <vector>
#include <zlib.h>

#include "platform/png.h"
#include "tests/image/png_writer.h"

namespace {

using TBytes = std::vector<std::uint8_t>;

std::string TempPath(const std::string& name) {
    return ::testing::TempDir() + "png_" + ::testing::UnitTest::GetInstance()->current_test_info()->name() + "_" + name;
}

// Distinct samples, as many as asked for.
TBytes Samples(std::size_t count, int step = 11) {
    TBytes data(count);
    for (std::size_t i = 0; i < count; ++i) data[i] = static_cast<std::uint8_t>(i * step + 3);
    return data;
}

TPngImage Image(int colorType, int bitDepth, TBytes data, int width = 3, int height = 2) {
    TPngImage s;
    s.width = width;
    s.height = height;
    s.colorType = colorType;
    s.bitDepth = bitDepth;
    s.data = std::move(data);
    return s;
}

// A signature and a well-formed RGBA header declaring the given size,
// followed by an image stream of rawSize zero bytes.
TBytes FileDeclaring(std::uint32_t width, std::uint32_t height, std::size_t rawSize = 64) {
    TBytes file = PngHead(width, height);
    const TBytes raw(rawSize, 0);
    TBytes packed(compressBound(static_cast<uLong>(rawSize)));
    uLongf packedSize = packed.size();
    compress(packed.data(), &packedSize, raw.data(), raw.size());
    packed.resize(packedSize);
    AppendChunk(file, "IDAT", packed);
    AppendChunk(file, "IEND", {});
    return file;
}

}  // namespace

// Every pixel of each image as decoded: palettes expanded (transparency as
// alpha), grey below 8 bits widened, 16-bit samples cut to their high byte,
// grey with alpha spread to (g, g, g, a), a transparent colour made alpha,
// interlaced rows put in place; rows padded to 4 bytes.
TEST(LoadPngPixmap, EveryColourTypeDecodesToItsPixels) {
    struct Case {
        const char* what;
        TPngImage image;
        std::int32_t format;
        TBytes pixels;  // rows packed
    };
    TPngImage palette = Image(PNG_COLOR_TYPE_PALETTE, 8, {0, 1, 2, 2, 1, 0});
    palette.palette = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
    TPngImage clear = palette;
    clear.paletteAlpha = {255, 0};  // entry 1 transparent, entry 2 implicitly opaque
    TPngImage small = Image(PNG_COLOR_TYPE_PALETTE, 4, {0x12, 0x00, 0x20, 0x00});
    small.palette = {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}};
    TPngImage keyed = Image(PNG_COLOR_TYPE_RGB, 8, Samples(18));
    keyed.hasTransparentColor = true;
    keyed.transparentColor.red = 36;  // the second pixel's
    keyed.transparentColor.green = 47;
    keyed.transparentColor.blue = 58;
    TBytes keyedRgba;
    for (std::size_t i = 0; i < 18; i += 3) {
        const TBytes rgb = Samples(18);
        keyedRgba.insert(keyedRgba.end(),
                         {rgb[i], rgb[i + 1], rgb[i + 2], static_cast<std::uint8_t>(i == 3 ? 0 : 255)});
    }
    TBytes sixteen, sixteenHigh;
    for (int i = 0; i < 18; ++i) {
        sixteen.insert(sixteen.end(), {static_cast<std::uint8_t>(0x10 + i * 9), 0xEE});
        sixteenHigh.push_back(static_cast<std::uint8_t>(0x10 + i * 9));
    }
    TPngImage interlaced = Image(PNG_COLOR_TYPE_RGB, 8, Samples(13 * 11 * 3, 37), 13, 11);
    interlaced.interlaced = true;

    const Case cases[] = {
        {"RGBA", Image(PNG_COLOR_TYPE_RGB_ALPHA, 8, Samples(24)), 6, Samples(24)},
        {"RGB", Image(PNG_COLOR_TYPE_RGB, 8, Samples(18)), 4, Samples(18)},
        {"grey", Image(PNG_COLOR_TYPE_GRAY, 8, Samples(6)), 1, Samples(6)},
        {"grey with alpha",
         Image(PNG_COLOR_TYPE_GRAY_ALPHA, 8, {10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110, 120}),
         6,
         {10, 10, 10, 20, 30, 30, 30, 40, 50, 50, 50, 60, 70, 70, 70, 80, 90, 90, 90, 100, 110, 110, 110, 120}},
        {"palette", palette, 4, {255, 0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 255, 0, 255, 0, 255, 0, 0}},
        {"palette with transparency", clear, 6, {255, 0, 0,   255, 0, 255, 0, 0, 0,   0, 255, 255,
                                                 0,   0, 255, 255, 0, 255, 0, 0, 255, 0, 0,   255}},
        {"4-bit palette", small, 4, {4, 5, 6, 7, 8, 9, 1, 2, 3, 7, 8, 9, 1, 2, 3, 1, 2, 3}},
        {"2-bit grey", Image(PNG_COLOR_TYPE_GRAY, 2, {0x1B, 0x1B}), 1, {0, 85, 170, 0, 85, 170}},
        {"16-bit RGB", Image(PNG_COLOR_TYPE_RGB, 16, sixteen), 4, sixteenHigh},
        {"16-bit RGBA", Image(PNG_COLOR_TYPE_RGB_ALPHA, 16, TBytes(48, 0x9C)), 6, TBytes(24, 0x9C)},
        {"RGB with a transparent colour", keyed, 6, keyedRgba},
        {"interlaced", interlaced, 4, interlaced.data},
    };
    for (const Case& c : cases) {
        const std::string path = TempPath("image.png");
        ASSERT_TRUE(WritePngFile(path, c.image)) << c.what;
        const auto p = LoadPngPixmap(path);
        ASSERT_NE(p, nullptr) << c.what;
        ASSERT_TRUE(p->width == c.image.width && p->height == c.image.height && p->format == c.format) << c.what;
        EXPECT_EQ(p->pitch % 4, 0) << c.what;
        TBytes pixels;
        for (int y = 0; y < p->height; ++y) pixels.insert(pixels.end(), p->PixelPtr(0, y), p->PixelPtr(p->width, y));
        EXPECT_EQ(pixels, c.pixels) << c.what;
    }
}

// Each refusal says what was wrong.
TEST(LoadPngPixmap, BadFilesGiveNoneAndSayWhy) {
    EXPECT_EQ(LoadPngPixmap(TempPath("does-not-exist.png")), nullptr);
    EXPECT_EQ(LoadPngPixmap(::testing::TempDir()), nullptr);  // a directory

    const std::string path = TempPath("bad.png");
    auto image = TPixmap::Create(16, 16, PIXEL_FORMAT_RGBA8, 4);
    for (std::int32_t i = 0; i < image->capacity; ++i) image->pixels[i] = static_cast<std::uint8_t>(i * 7919 >> 3);
    ASSERT_TRUE(SavePngPixmap(*image, path));
    const TBytes valid = ReadBytes(path);
    struct Case {
        std::string what;
        TBytes bytes;
    };
    std::vector<Case> cases = {
        {"empty", {}},
        {"seven signature bytes", {valid.begin(), valid.begin() + 7}},
        {"signature only", {valid.begin(), valid.begin() + 8}},
        {"text", {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '\n'}},
        {"truncated in the header", {valid.begin(), valid.begin() + 20}},
        {"truncated in the image data", {valid.begin(), valid.begin() + static_cast<long>(valid.size() / 2)}},
        {"missing the end chunk", {valid.begin(), valid.end() - 12}},
        {"wrong signature", valid},
        {"damaged header", valid},
        {"damaged image data", valid},
        {"absurd size", FileDeclaring(30000, 30000)},
        {"size beyond the format", FileDeclaring(0x80000000u, 1)},
        {"zero width", FileDeclaring(0, 4)},
        {"a row longer than any texture", FileDeclaring(1u << 20, 1, (std::size_t{1} << 22) + 1)},
        {"too little data for the declared size", FileDeclaring(64, 64)},
    };
    cases[7].bytes[1] = 'Q';
    cases[8].bytes[18] ^= 0x40;  // inside IHDR: its CRC no longer matches
    for (std::size_t i = 45; i < valid.size() - 20; i += 3) cases[9].bytes[i] ^= 0xA5;
    for (const THostilePng& h : HostilePngFiles()) cases.push_back({h.name, h.bytes});
    for (const Case& c : cases) {
        WriteBytes(path, c.bytes);
        std::string why;
        EXPECT_EQ(LoadPngPixmap(path, &why), nullptr) << c.what;
        EXPECT_NE(why, "") << c.what;
    }
    // The last, a large header over a few bytes, is refused for its size.
    std::string why;
    LoadPngPixmap(path, &why);
    EXPECT_NE(why.find("cannot hold"), std::string::npos) << why;
    EXPECT_NE(why.find("8192 x 8192"), std::string::npos) << why;
    // The hand-made file is well formed: with a size its data fits, it loads.
    WriteBytes(path, FileDeclaring(3, 3, 3 * (1 + 3 * 4)));
    EXPECT_NE(LoadPngPixmap(path), nullptr);
}

// Every pixel format written and read back: grey, RGB and RGBA are stored as
// such, the others as RGBA; padded rows are written without their padding.
TEST(SavePngPixmap, EveryFormatReadsBackAsItWasWritten) {
    for (std::int32_t format = PIXEL_FORMAT_I8; format <= PIXEL_FORMAT_RGBA8; ++format) {
        auto source = TPixmap::Create(37, 23, format, 8);
        for (std::int32_t y = 0; y < 23; ++y)
            for (std::int32_t i = 0; i < 37 * BytesPerPixel(format); ++i)
                source->PixelPtr(0, y)[i] = static_cast<std::uint8_t>((y * 131 + i * 29 + format) * 7919 >> 4);
        const std::string path = TempPath(std::to_string(format) + ".png");
        std::string error;
        ASSERT_TRUE(SavePngPixmap(*source, path, &error)) << error;
        const auto back = LoadPngPixmap(path, &error);
        ASSERT_TRUE(back && back->width == 37 && back->height == 23) << error;
        EXPECT_EQ(back->format, format == PIXEL_FORMAT_I8 || format == PIXEL_FORMAT_RGB8 ? format : PIXEL_FORMAT_RGBA8);
        int differing = 0;
        for (std::int32_t y = 0; y < 23; ++y)
            for (std::int32_t x = 0; x < 37; ++x) differing += back->ReadPixel(x, y) != source->ReadPixel(x, y);
        EXPECT_EQ(differing, 0) << "format " << format;
    }
}

TEST(SavePngPixmap, FailuresSayWhy) {
    auto image = TPixmap::Create(300, 200, PIXEL_FORMAT_RGB8, 4);
    std::string error;
    EXPECT_FALSE(SavePngPixmap(*image, ::testing::TempDir() + "no-such-folder/shot.png", &error));
    EXPECT_EQ(error, "cannot create the file: No such file or directory");
    // A device that takes no bytes: the write fails, and the device stays.
    EXPECT_FALSE(SavePngPixmap(*image, "/dev/full", &error));
    EXPECT_EQ(error, "cannot write the file: No space left on device");
    struct stat status {};
    EXPECT_EQ(stat("/dev/full", &status), 0) << "/dev/full is gone";
}
