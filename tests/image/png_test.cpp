#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <string>
#include <vector>
#include <zlib.h>

#include "platform/png.h"
#include "tests/image/png_writer.h"

namespace {

std::string TempPath(const std::string& name) {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    return ::testing::TempDir() + "png_" + info->name() + "_" + name;
}

std::vector<std::uint8_t> Bytes(const TPixmap& p, std::int32_t x, std::int32_t y) {
    const std::uint8_t* s = p.PixelPtr(x, y);
    return {s, s + BytesPerPixel(p.format)};
}

std::unique_ptr<TPixmap> RoundTrip(const TPngImage& image) {
    const std::string path = TempPath("image.png");
    EXPECT_TRUE(WritePngFile(path, image));
    return LoadPngPixmap(path);
}

// A 3 × 2 image of distinct samples for the given channel count.
std::vector<std::uint8_t> Samples(int channels) {
    std::vector<std::uint8_t> data(3 * 2 * channels);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 11 + 3);
    return data;
}

TPngImage Image(int colorType, int bitDepth, std::vector<std::uint8_t> data) {
    TPngImage s;
    s.width = 3;
    s.height = 2;
    s.colorType = colorType;
    s.bitDepth = bitDepth;
    s.data = std::move(data);
    return s;
}

// A valid 4 × 4 RGBA file to damage.
std::vector<std::uint8_t> ValidFile() {
    TPngImage s;
    s.width = 16;
    s.height = 16;
    s.data.resize(16 * 16 * 4);
    for (std::size_t i = 0; i < s.data.size(); ++i) s.data[i] = static_cast<std::uint8_t>(i * 7919 >> 3);
    const std::string path = TempPath("valid.png");
    EXPECT_TRUE(WritePngFile(path, s));
    return ReadBytes(path);
}

// A signature and a well-formed RGBA header declaring the given size,
// followed by an image stream of rawSize zero bytes.
std::vector<std::uint8_t> FileDeclaring(std::uint32_t width, std::uint32_t height, std::size_t rawSize = 64) {
    std::vector<std::uint8_t> file = PngHead(width, height);
    std::vector<std::uint8_t> raw(rawSize, 0);
    std::vector<std::uint8_t> packed(compressBound(static_cast<uLong>(rawSize)));
    uLongf packedSize = packed.size();
    compress(packed.data(), &packedSize, raw.data(), raw.size());
    packed.resize(packedSize);
    AppendChunk(file, "IDAT", packed);
    AppendChunk(file, "IEND", {});
    return file;
}

}  // namespace

TEST(LoadPngPixmap, RgbaRgbAndGreyArriveUnchanged) {
    struct Case {
        int colorType, channels, format;
    };
    for (const Case c :
         {Case{PNG_COLOR_TYPE_RGB_ALPHA, 4, 6}, Case{PNG_COLOR_TYPE_RGB, 3, 4}, Case{PNG_COLOR_TYPE_GRAY, 1, 1}}) {
        const auto data = Samples(c.channels);
        auto p = RoundTrip(Image(c.colorType, 8, data));
        ASSERT_NE(p, nullptr) << "colour type " << c.colorType;
        EXPECT_EQ(p->format, c.format);
        EXPECT_EQ(p->width, 3);
        EXPECT_EQ(p->height, 2);
        EXPECT_EQ(p->pitch % 4, 0);
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 3; ++x) {
                const auto* s = &data[(y * 3 + x) * c.channels];
                EXPECT_EQ(Bytes(*p, x, y), std::vector<std::uint8_t>(s, s + c.channels))
                    << "colour type " << c.colorType << " at " << x << "," << y;
            }
    }
}

TEST(LoadPngPixmap, GreyWithAlphaBecomesRgba) {
    auto p = RoundTrip(Image(PNG_COLOR_TYPE_GRAY_ALPHA, 8, {10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110, 120}));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->format, 6);
    EXPECT_EQ(Bytes(*p, 0, 0), (std::vector<std::uint8_t>{10, 10, 10, 20}));
    EXPECT_EQ(Bytes(*p, 2, 1), (std::vector<std::uint8_t>{110, 110, 110, 120}));
}

TEST(LoadPngPixmap, PalettesAreExpandedWithTransparencyAsAlpha) {
    TPngImage s = Image(PNG_COLOR_TYPE_PALETTE, 8, {0, 1, 2, 2, 1, 0});
    s.palette = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
    auto opaque = RoundTrip(s);
    ASSERT_NE(opaque, nullptr);
    EXPECT_EQ(opaque->format, 4);
    EXPECT_EQ(Bytes(*opaque, 1, 0), (std::vector<std::uint8_t>{0, 255, 0}));
    EXPECT_EQ(Bytes(*opaque, 0, 1), (std::vector<std::uint8_t>{0, 0, 255}));

    s.paletteAlpha = {255, 0};  // entry 1 transparent, entry 2 implicitly opaque
    auto clear = RoundTrip(s);
    ASSERT_NE(clear, nullptr);
    EXPECT_EQ(clear->format, 6);
    EXPECT_EQ(Bytes(*clear, 0, 0), (std::vector<std::uint8_t>{255, 0, 0, 255}));
    EXPECT_EQ(Bytes(*clear, 1, 0), (std::vector<std::uint8_t>{0, 255, 0, 0}));
    EXPECT_EQ(Bytes(*clear, 2, 0), (std::vector<std::uint8_t>{0, 0, 255, 255}));
    EXPECT_EQ(Bytes(*clear, 1, 1), (std::vector<std::uint8_t>{0, 255, 0, 0}));

    // Four-bit palette indices unpack too.
    TPngImage small = Image(PNG_COLOR_TYPE_PALETTE, 4, {0x12, 0x00, 0x20, 0x00});
    small.palette = {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}};
    auto p = RoundTrip(small);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(Bytes(*p, 0, 0), (std::vector<std::uint8_t>{4, 5, 6}));
    EXPECT_EQ(Bytes(*p, 1, 0), (std::vector<std::uint8_t>{7, 8, 9}));
    EXPECT_EQ(Bytes(*p, 0, 1), (std::vector<std::uint8_t>{7, 8, 9}));
}

TEST(LoadPngPixmap, SixteenBitSamplesKeepTheirHighByte) {
    // 16-bit RGB, big-endian samples: high bytes 0x12, 0x34, ...
    std::vector<std::uint8_t> data;
    for (int i = 0; i < 18; ++i) {
        data.push_back(static_cast<std::uint8_t>(0x10 + i * 9));
        data.push_back(0xEE);
    }
    auto p = RoundTrip(Image(PNG_COLOR_TYPE_RGB, 16, data));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->format, 4);
    for (int i = 0; i < 6; ++i)
        for (int c = 0; c < 3; ++c) EXPECT_EQ(p->PixelPtr(i % 3, i / 3)[c], 0x10 + (i * 3 + c) * 9);

    auto rgba = RoundTrip(Image(PNG_COLOR_TYPE_RGB_ALPHA, 16, std::vector<std::uint8_t>(48, 0x9C)));
    ASSERT_NE(rgba, nullptr);
    EXPECT_EQ(rgba->format, 6);
    EXPECT_EQ(Bytes(*rgba, 2, 1), (std::vector<std::uint8_t>{0x9C, 0x9C, 0x9C, 0x9C}));
}

TEST(LoadPngPixmap, LowBitGreyWidensAndTransparentColourBecomesAlpha) {
    // Two-bit grey: 0, 1, 2, 3 widen to 0, 85, 170, 255.
    auto grey = RoundTrip(Image(PNG_COLOR_TYPE_GRAY, 2, {0x1B, 0x1B}));  // 00 01 10 11
    ASSERT_NE(grey, nullptr);
    EXPECT_EQ(grey->format, 1);
    EXPECT_EQ(Bytes(*grey, 0, 0)[0], 0);
    EXPECT_EQ(Bytes(*grey, 1, 0)[0], 85);
    EXPECT_EQ(Bytes(*grey, 2, 1)[0], 170);

    TPngImage s = Image(PNG_COLOR_TYPE_RGB, 8, Samples(3));
    s.hasTransparentColor = true;
    s.transparentColor.red = Samples(3)[3];
    s.transparentColor.green = Samples(3)[4];
    s.transparentColor.blue = Samples(3)[5];
    auto keyed = RoundTrip(s);
    ASSERT_NE(keyed, nullptr);
    EXPECT_EQ(keyed->format, 6);
    EXPECT_EQ(Bytes(*keyed, 0, 0)[3], 255);
    EXPECT_EQ(Bytes(*keyed, 1, 0)[3], 0);
}

TEST(LoadPngPixmap, InterlacedImagesDecodeLikePlainOnes) {
    TPngImage s;
    s.width = 13;
    s.height = 11;
    s.colorType = PNG_COLOR_TYPE_RGB;
    s.data.resize(13 * 11 * 3);
    for (std::size_t i = 0; i < s.data.size(); ++i) s.data[i] = static_cast<std::uint8_t>(i * 37);
    auto plain = RoundTrip(s);
    s.interlaced = true;
    auto laced = RoundTrip(s);
    ASSERT_NE(plain, nullptr);
    ASSERT_NE(laced, nullptr);
    EXPECT_EQ(plain->pitch, 40);
    for (int y = 0; y < 11; ++y)
        for (int x = 0; x < 13; ++x) {
            EXPECT_EQ(Bytes(*laced, x, y), Bytes(*plain, x, y));
            EXPECT_EQ(plain->PixelPtr(x, y)[0], s.data[(y * 13 + x) * 3]);
        }
}

TEST(LoadPngPixmap, BadFilesGiveNone) {
    EXPECT_EQ(LoadPngPixmap(TempPath("does-not-exist.png")), nullptr);
    EXPECT_EQ(LoadPngPixmap(::testing::TempDir()), nullptr);  // a directory

    const std::string path = TempPath("bad.png");
    const std::vector<std::uint8_t> valid = ValidFile();
    ASSERT_NE(LoadPngPixmap(TempPath("valid.png")), nullptr);

    struct Case {
        const char* what;
        std::vector<std::uint8_t> bytes;
    };
    std::vector<Case> cases = {
        {"empty", {}},
        {"seven signature bytes", {valid.begin(), valid.begin() + 7}},
        {"signature only", {valid.begin(), valid.begin() + 8}},
        {"text", {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '\n'}},
        {"truncated in the header", {valid.begin(), valid.begin() + 20}},
        {"truncated in the image data", {valid.begin(), valid.begin() + static_cast<long>(valid.size() / 2)}},
        {"missing the end chunk", {valid.begin(), valid.end() - 12}},
    };
    std::vector<std::uint8_t> damagedSignature = valid;
    damagedSignature[1] = 'Q';
    cases.push_back({"wrong signature", damagedSignature});
    std::vector<std::uint8_t> damagedHeader = valid;
    damagedHeader[18] ^= 0x40;  // inside IHDR: its CRC no longer matches
    cases.push_back({"damaged header", damagedHeader});
    std::vector<std::uint8_t> damagedData = valid;
    for (std::size_t i = 45; i < damagedData.size() - 20; i += 3) damagedData[i] ^= 0xA5;
    cases.push_back({"damaged image data", damagedData});
    cases.push_back({"absurd size", FileDeclaring(30000, 30000)});
    cases.push_back({"size beyond the format", FileDeclaring(0x80000000u, 1)});
    cases.push_back({"zero width", FileDeclaring(0, 4)});
    cases.push_back({"a row longer than any texture", FileDeclaring(1u << 20, 1, (std::size_t{1} << 22) + 1)});
    cases.push_back({"too little data for the declared size", FileDeclaring(64, 64)});

    for (const THostilePng& h : HostilePngFiles()) cases.push_back({h.name.c_str(), h.bytes});

    // Each refusal says what was wrong.
    for (const Case& c : cases) {
        WriteBytes(path, c.bytes);
        std::string why;
        EXPECT_EQ(LoadPngPixmap(path, &why), nullptr) << c.what;
        EXPECT_NE(why, "") << c.what;
    }
    std::string why;
    LoadPngPixmap(path, &why);
    EXPECT_NE(why.find("8192 x 8192"), std::string::npos) << why;
    // The hand-made file is well formed: with a size its data fits, it loads.
    WriteBytes(path, FileDeclaring(3, 3, 3 * (1 + 3 * 4)));
    auto small = LoadPngPixmap(path);
    ASSERT_NE(small, nullptr);
    EXPECT_EQ(small->width, 3);
    EXPECT_EQ(small->format, 6);
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
