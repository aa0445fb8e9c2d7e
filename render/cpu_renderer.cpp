// How the CPU picture is made, and why it looks like the GL's:
//
// - Every channel has its own byte plane, with a margin of one sprite row on
//   each side so that rows of sprites partly off the window need no clipping
//   in x. A pure-colour sprite touches one plane only, and a plane row is
//   added with a few 16-byte saturating adds.
// - The GL samples the sprite texture with its default filters: the nearest
//   texel of the two mipmap levels around the sprite's scale, blended
//   linearly. Nearest sampling makes a pixel's texel depend only on its column
//   (and row) and on where the quad's edge lies within a pixel. With PHASES
//   phases per pixel the texel of every column is known per phase; for the
//   demo's 19-pixel sprite of a 64-pixel image every change of texel falls on
//   a 1/32-pixel boundary, so 32 phases are exact.
// - A table per (image channel, colour byte) holds, for each x phase and each
//   texel row of the finer level, the sprite row already multiplied by the
//   colour. They are built before any thread draws, the first time a colour
//   is seen.
// - Quad edges are snapped to 1/256 pixel as the GL does; a pixel whose
//   centre lies exactly on an edge belongs to the quad at the left and bottom
//   edges, not the right and top (the projection turns y over). The texture
//   is still placed by the unsnapped position.
// - Sprites are sorted by their top row (a counting sort), so a band of rows
//   finds its sprites in one range; bands are drawn in parallel, each clearing,
//   adding, sharpening and covering with walls only its own rows.
// - Whatever a world holds, nothing is written outside the planes and the
//   image: positions are checked before they are turned into integers,
//   columns and rows are kept in 32 bits, and the sprite and image sizes are
//   bounded (see the header).
#include "render/cpu_renderer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "sph/sph.h"
#include "sph/task_runner.h"

namespace {

using TBytes = std::uint8_t __attribute__((vector_size(16)));
constexpr std::int32_t CHUNK = 16;

// a + b per byte, stopping at 255: one instruction on SSE2 and on WebAssembly SIMD.
inline TBytes AddSaturated(TBytes a, TBytes b) {
#if defined(__has_builtin)
#if __has_builtin(__builtin_elementwise_add_sat)
    return __builtin_elementwise_add_sat(a, b);
#define PARTICLE_DEMO_HAVE_ADD_SAT
#endif
#endif
#ifndef PARTICLE_DEMO_HAVE_ADD_SAT
    const TBytes room = ~b;
    return b + (a < room ? a : room);
#endif
}

inline TBytes Load(const std::uint8_t* p) {
    TBytes v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline void Store(std::uint8_t* p, TBytes v) { std::memcpy(p, &v, sizeof v); }

// c × c / 255 rounded, per 16-bit lane: (x + 1 + x / 256) / 256 is x / 255
// for every x below 65535.
using TWords = std::uint16_t __attribute__((vector_size(CHUNK)));
using THalf = std::uint8_t __attribute__((vector_size(CHUNK / 2)));
inline TWords Square(TWords c) {
    const TWords x = c * c + 127;
    return (x + 1 + (x >> 8)) >> 8;
}

// Sixteen pixels of the three planes, sharpened, as RGBA with alpha 255.
inline void SharpenToRgba(const std::uint8_t* r, const std::uint8_t* g, const std::uint8_t* b, std::uint8_t* out) {
    using TLanes = TWords;
    const TBytes alpha = TBytes{} + 255;
    TBytes red = Load(r), green = Load(g), blue = Load(b);
    // Black stays black, and much of a frame is black.
    const TBytes any = red | green | blue;
    std::uint64_t halves[2];
    std::memcpy(halves, &any, sizeof halves);
    if ((halves[0] | halves[1]) == 0) {
        const TBytes black = {0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255};
        for (int i = 0; i < 4; ++i) Store(out + 16 * i, black);
        return;
    }
    auto sharpen = [](TBytes v) {
        const auto low = __builtin_convertvector(__builtin_shufflevector(v, v, 0, 1, 2, 3, 4, 5, 6, 7), TWords);
        const auto high = __builtin_convertvector(__builtin_shufflevector(v, v, 8, 9, 10, 11, 12, 13, 14, 15), TWords);
        const THalf lowBytes = __builtin_convertvector(Square(Square(low)), THalf);
        const THalf highBytes = __builtin_convertvector(Square(Square(high)), THalf);
        return __builtin_shufflevector(lowBytes, highBytes, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    };
    red = sharpen(red);
    green = sharpen(green);
    blue = sharpen(blue);
    // Interleave bytes R with G and B with alpha, then the pairs as 16-bit lanes.
    const auto rgLow =
        (TLanes)__builtin_shufflevector(red, green, 0, 16, 1, 17, 2, 18, 3, 19, 4, 20, 5, 21, 6, 22, 7, 23);
    const auto rgHigh =
        (TLanes)__builtin_shufflevector(red, green, 8, 24, 9, 25, 10, 26, 11, 27, 12, 28, 13, 29, 14, 30, 15, 31);
    const auto baLow =
        (TLanes)__builtin_shufflevector(blue, alpha, 0, 16, 1, 17, 2, 18, 3, 19, 4, 20, 5, 21, 6, 22, 7, 23);
    const auto baHigh =
        (TLanes)__builtin_shufflevector(blue, alpha, 8, 24, 9, 25, 10, 26, 11, 27, 12, 28, 13, 29, 14, 30, 15, 31);
    Store(out, (TBytes)__builtin_shufflevector(rgLow, baLow, 0, 8, 1, 9, 2, 10, 3, 11));
    Store(out + 16, (TBytes)__builtin_shufflevector(rgLow, baLow, 4, 12, 5, 13, 6, 14, 7, 15));
    Store(out + 32, (TBytes)__builtin_shufflevector(rgHigh, baHigh, 0, 8, 1, 9, 2, 10, 3, 11));
    Store(out + 48, (TBytes)__builtin_shufflevector(rgHigh, baHigh, 4, 12, 5, 13, 6, 14, 7, 15));
}

// Phases per pixel of a sprite's left (top) edge; see above.
constexpr std::int32_t PHASES = 32;
// Phase bins: one before 0 and one past 1, where snapping moves an edge's
// pixel by a hair.
constexpr std::int32_t BINS = PHASES + 2;

constexpr std::int32_t FloorDiv256(std::int32_t v) { return v >> 8; }  // arithmetic shift: floor

// A position snapped to the GL's 1/256-pixel grid.
inline std::int32_t Snap(float v) { return static_cast<std::int32_t>(std::lrintf(v * 256.0f)); }

// Sprites centred farther out than this lie wholly off any image the renderer
// makes, and nearer ones snap to 1/256 pixel within 32 bits: 2^22 × 256, plus
// a sprite's size, is below 2^31. False for NaN.
constexpr float FAR_AWAY = 4194304.0f;  // 2^22
static_assert(TCpuRenderer::MAX_SIDE + TCpuRenderer::MAX_PARTICLE_SIZE < FAR_AWAY / 2);

inline bool Near(const TParticle& p) { return std::fabs(p.ScreenX) < FAR_AWAY && std::fabs(p.ScreenY) < FAR_AWAY; }

// The phase bin of the distance from a sprite's edge to the centre of its first pixel.
// Where a pixel centre falls exactly on a texel boundary, as it does for
// sprites on a regular lattice, the GL's interpolated coordinate lands on
// either side; in y it lands on the lower side more often, so ties in y go
// to the lower bin.
constexpr float ROW_TIE_BIAS = -0.01f;

inline std::int32_t PhaseBin(float d, float bias) {
    const auto bin = static_cast<std::int32_t>(std::floor(d * PHASES + bias)) + 1;
    return std::clamp(bin, 0, BINS - 1);
}

// A colour byte as the GL holds byte / 256 in a colour buffer of 8 bits.
inline std::uint8_t ColourByte(std::uint8_t byte) {
    return static_cast<std::uint8_t>(std::lrintf(static_cast<float>(byte) * (255.0f / 256.0f)));
}

// log2 with the mantissa's part taken as linear: exact at powers of two.
float FastLog2(float v) {
    int exponent = 0;
    const float mantissa = std::frexp(v, &exponent);  // [0.5, 1)
    return static_cast<float>(exponent - 1) + (2 * mantissa - 1);
}

struct TLevel {
    std::int32_t Width = 0;
    std::int32_t Height = 0;
    std::vector<std::uint8_t> Rgba;  // tightly packed
};

// Bilinear resampling with pixel centres aligned, as the texture upload
// stretches and halves its images.
TLevel Resample(const TLevel& src, std::int32_t width, std::int32_t height) {
    struct TSample {
        std::int32_t i0, i1;
        float f;
    };
    auto sampleAt = [](std::int32_t i, float ratio, std::int32_t size) -> TSample {
        const float s = (static_cast<float>(i) + 0.5f) * ratio - 0.5f;
        const auto i0 = static_cast<std::int32_t>(std::floor(s));
        if (i0 < 0) return {0, 0, 0.0f};
        if (i0 >= size - 1) return {size - 1, size - 1, 0.0f};
        return {i0, i0 + 1, s - static_cast<float>(i0)};
    };
    TLevel out{width, height, std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height * 4)};
    const float ratioX = static_cast<float>(src.Width) / static_cast<float>(width);
    const float ratioY = static_cast<float>(src.Height) / static_cast<float>(height);
    for (std::int32_t i = 0; i < height; ++i) {
        const TSample sy = sampleAt(i, ratioY, src.Height);
        for (std::int32_t j = 0; j < width; ++j) {
            const TSample sx = sampleAt(j, ratioX, src.Width);
            auto at = [&](std::int32_t x, std::int32_t y, std::int32_t c) {
                return static_cast<float>(src.Rgba[(static_cast<std::size_t>(y) * src.Width + x) * 4 + c]);
            };
            for (std::int32_t c = 0; c < 4; ++c) {
                const float tl = at(sx.i0, sy.i0, c), tr = at(sx.i1, sy.i0, c);
                const float bl = at(sx.i0, sy.i1, c), br = at(sx.i1, sy.i1, c);
                const float a = tl + (tr - tl) * sx.f;
                const float b = bl + (br - bl) * sx.f;
                out.Rgba[(static_cast<std::size_t>(i) * width + j) * 4 + c] =
                    static_cast<std::uint8_t>(a + (b - a) * sy.f);
            }
        }
    }
    return out;
}

std::int32_t CeilPowerOfTwo(std::int32_t v) {
    std::int32_t p = 1;
    while (p < v) p *= 2;
    return p;
}

// One sprite as a band draws it: where its first pixel is, how many pixels
// it covers, its phases and its colour.
struct TSplat {
    std::int32_t Column;    // from -RowBytes to the image's width
    std::int32_t Row;       // from -RowBytes to the image's height
    std::uint16_t Columns;  // at most RowBytes
    std::uint16_t Rows;
    std::uint8_t PhaseX;
    std::uint8_t PhaseY;
    std::array<std::uint8_t, 3> Colour;
};

// A pixel range [First, End) of a quad edge pair, snapped.
struct TSpan {
    std::int32_t First;
    std::int32_t End;
};

// Pixel columns whose centre lies in [left, right).
inline TSpan Columns(float left, float right) {
    return {FloorDiv256(Snap(left) - 128 + 255), FloorDiv256(Snap(right) - 128 + 255)};
}

// Pixel rows whose centre lies in (top, bottom].
inline TSpan Rows(float top, float bottom) {
    return {FloorDiv256(Snap(top) - 128) + 1, FloorDiv256(Snap(bottom) - 128) + 1};
}

}  // namespace

struct TCpuRenderer::TState {
    std::vector<TLevel> Levels;

    // Everything below follows from the sprite size, built by Prepare.
    float SpriteSize = -1;      // half the edge, screen pixels; 0 draws nothing
    std::int32_t RowBytes = 0;  // bytes of one table row: the widest sprite, rounded up to CHUNKs
    std::int32_t TexelsX = 0;   // texels across the finer sampled level
    std::int32_t TexelsY = 0;
    std::array<std::vector<std::uint8_t>, 3> Sample;  // [channel][texel y × TexelsX + x]
    std::vector<std::int32_t> ColumnTexel;            // [phase × RowBytes + column]
    std::vector<std::int32_t> RowTexel;               // [phase × RowBytes + row]
    std::vector<std::uint8_t> Masks;                  // [columns × RowBytes + column]: 0xFF where drawn
    // [channel][colour byte]: BINS × TexelsY rows of RowBytes; empty until needed.
    std::array<std::array<std::vector<std::uint8_t>, 256>, 3> Tables;

    // The frame.
    std::int32_t Width = 0;
    std::int32_t Height = 0;
    std::int32_t Stride = 0;  // plane bytes per row: the margins and the width
    std::array<std::vector<std::uint8_t>, 3> Planes;
    std::vector<std::uint8_t> Image;
    std::array<std::uint8_t, 256> Sharpened{};

    std::vector<TSplat> Unsorted;
    std::vector<TSplat> Sorted;
    std::vector<std::int32_t> RowStart;  // [top row + RowBytes]: first sorted splat; one more entry at the end

    void SetSpriteSize(float size);
    void SetFrameSize(std::int32_t width, std::int32_t height);
    const std::uint8_t* Table(std::int32_t channel, std::uint8_t byte);
    void Gather(const TSPH& world);
    void DrawBand(const TSPH& world, std::int32_t y0, std::int32_t y1);
};

void TCpuRenderer::TState::SetSpriteSize(float size) {
    SpriteSize = size;
    const float edge = 2 * size;
    RowBytes = std::max(CHUNK, (static_cast<std::int32_t>(std::ceil(edge)) + 2 + CHUNK - 1) / CHUNK * CHUNK);

    // The level of detail, log2 of texels per pixel, as Mesa's software
    // rasterizer approximates it: from the squared scale, with the mantissa
    // taken as linear. It samples the nearest texel of levels floor(lod) and
    // floor(lod) + 1 and blends them in 8 bits.
    const TLevel& base = Levels.front();
    const float rho = static_cast<float>(std::max(base.Width, base.Height)) / std::max(edge, 1e-6f);
    const float lod = FastLog2(rho * rho) / 2;
    const auto last = static_cast<std::int32_t>(Levels.size()) - 1;
    std::int32_t fine = 0;
    std::int32_t weight = 0;  // of the coarser level, in 256ths
    if (lod > 0) {
        fine = std::min(static_cast<std::int32_t>(std::floor(lod)), last);
        if (fine < last) weight = static_cast<std::int32_t>((lod - static_cast<float>(fine)) * 256.0f);
    }
    const TLevel& a = Levels[static_cast<std::size_t>(fine)];
    const TLevel& b = Levels[static_cast<std::size_t>(std::min(fine + 1, last))];
    TexelsX = a.Width;
    TexelsY = a.Height;
    for (auto& channel : Sample) channel.assign(static_cast<std::size_t>(TexelsX) * TexelsY, 0);
    auto blend = [weight](std::int32_t fineTexel, std::int32_t coarseTexel) {
        return fineTexel + (((coarseTexel - fineTexel) * weight + 128) >> 8);
    };
    for (std::int32_t y = 0; y < TexelsY; ++y) {
        for (std::int32_t x = 0; x < TexelsX; ++x) {
            const std::uint8_t* ta = &a.Rgba[(static_cast<std::size_t>(y) * a.Width + x) * 4];
            const std::uint8_t* tb =
                &b.Rgba[(static_cast<std::size_t>(y * b.Height / a.Height) * b.Width + x * b.Width / a.Width) * 4];
            // Fragments of alpha 0 are discarded.
            if (blend(ta[3], tb[3]) == 0) continue;
            for (std::int32_t c = 0; c < 3; ++c)
                Sample[c][static_cast<std::size_t>(y) * TexelsX + x] = static_cast<std::uint8_t>(blend(ta[c], tb[c]));
        }
    }

    // Which texel each column and row of a sprite shows, per phase. The
    // texture repeats, as the GL's does by default.
    // The remainder is taken in float, exactly, so that a sprite of size 0,
    // which shows nothing, still gets texels that lie in the image.
    auto phaseTexels = [&](std::vector<std::int32_t>& out, std::int32_t texels) {
        out.assign(static_cast<std::size_t>(BINS) * RowBytes, 0);
        for (std::int32_t bin = 0; bin < BINS; ++bin) {
            const float d = (static_cast<float>(bin - 1) + 0.5f) / PHASES;
            for (std::int32_t i = 0; i < RowBytes; ++i) {
                const float u = (d + static_cast<float>(i)) / std::max(edge, 1e-6f);
                const float texel = std::fmod(std::floor(u * static_cast<float>(texels)), static_cast<float>(texels));
                auto t = static_cast<std::int32_t>(texel);
                if (t < 0) t += texels;
                out[static_cast<std::size_t>(bin) * RowBytes + i] = t;
            }
        }
    };
    phaseTexels(ColumnTexel, TexelsX);
    phaseTexels(RowTexel, TexelsY);

    Masks.assign(static_cast<std::size_t>(RowBytes + 1) * RowBytes, 0);
    for (std::int32_t n = 0; n <= RowBytes; ++n)
        std::fill_n(&Masks[static_cast<std::size_t>(n) * RowBytes], n, std::uint8_t{0xFF});
    for (auto& channel : Tables)
        for (auto& table : channel) table.clear();
}

const std::uint8_t* TCpuRenderer::TState::Table(std::int32_t channel, std::uint8_t byte) {
    std::vector<std::uint8_t>& table = Tables[static_cast<std::size_t>(channel)][byte];
    if (table.empty()) {
        // The GL's fragment: colour byte / 256 times the sampled texel, into 8 bits.
        const float colour = static_cast<float>(byte) / 256.0f;
        const std::vector<std::uint8_t>& sample = Sample[static_cast<std::size_t>(channel)];
        table.resize(static_cast<std::size_t>(BINS) * TexelsY * RowBytes);
        std::uint8_t* out = table.data();
        for (std::int32_t bin = 0; bin < BINS; ++bin) {
            const std::int32_t* columns = &ColumnTexel[static_cast<std::size_t>(bin) * RowBytes];
            for (std::int32_t y = 0; y < TexelsY; ++y) {
                const std::uint8_t* texelRow = &sample[static_cast<std::size_t>(y) * TexelsX];
                for (std::int32_t i = 0; i < RowBytes; ++i)
                    *out++ = static_cast<std::uint8_t>(std::lround(colour * texelRow[columns[i]]));
            }
        }
    }
    return table.data();
}

void TCpuRenderer::TState::SetFrameSize(std::int32_t width, std::int32_t height) {
    Width = std::max(width, 0);
    Height = std::max(height, 0);
    Stride = (Width + 2 * RowBytes + CHUNK - 1) / CHUNK * CHUNK;
    for (auto& plane : Planes) plane.assign(static_cast<std::size_t>(Stride) * Height, 0);
    Image.assign(static_cast<std::size_t>(Width) * Height * 4, 0);
    RowStart.assign(static_cast<std::size_t>(Height + RowBytes + 1), 0);
}

// Splats of every visible sprite, sorted by top row; builds missing tables.
void TCpuRenderer::TState::Gather(const TSPH& world) {
    Unsorted.clear();
    std::fill(RowStart.begin(), RowStart.end(), 0);
    const float s = SpriteSize;
    auto add = [&](TSPH::ParticleView particles) {
        for (const TParticle* particle : particles) {
            const TParticle& p = *particle;
            if ((p.ColorR == 0 && p.ColorG == 0 && p.ColorB == 0) || !Near(p)) continue;
            const float left = p.ScreenX - s;
            const float top = p.ScreenY - s;
            const TSpan columns = Columns(left, p.ScreenX + s);
            const TSpan rows = Rows(top, p.ScreenY + s);
            // A sprite row is added whole, RowBytes bytes from its first
            // column: the margins take it only from -RowBytes on.
            if (columns.End <= 0 || columns.First >= Width || rows.End <= 0 || rows.First >= Height ||
                columns.End <= columns.First || rows.End <= rows.First || columns.First < -RowBytes)
                continue;
            TSplat splat;
            splat.Column = columns.First;
            splat.Row = std::max(rows.First, -RowBytes);
            splat.Columns = static_cast<std::uint16_t>(std::min(columns.End - columns.First, RowBytes));
            splat.Rows = static_cast<std::uint16_t>(std::min(rows.End - splat.Row, RowBytes));
            splat.PhaseX = static_cast<std::uint8_t>(PhaseBin(static_cast<float>(columns.First) + 0.5f - left, 0));
            splat.PhaseY =
                static_cast<std::uint8_t>(PhaseBin(static_cast<float>(rows.First) + 0.5f - top, ROW_TIE_BIAS));
            splat.Colour = {p.ColorR, p.ColorG, p.ColorB};
            Unsorted.push_back(splat);
            ++RowStart[static_cast<std::size_t>(splat.Row + RowBytes + 1)];
        }
    };
    add(world.GetFluidParticles());
    add(world.GetSolidParticles());
    add(world.GetRigidParticles());

    for (std::size_t i = 1; i < RowStart.size(); ++i) RowStart[i] += RowStart[i - 1];
    Sorted.resize(Unsorted.size());
    std::vector<std::int32_t>& next = RowStart;  // advanced while placing, then moved back
    for (const TSplat& splat : Unsorted) Sorted[static_cast<std::size_t>(next[splat.Row + RowBytes]++)] = splat;
    for (std::size_t i = RowStart.size() - 1; i > 0; --i) RowStart[i] = RowStart[i - 1];
    RowStart[0] = 0;

    for (const TSplat& splat : Sorted)
        for (std::int32_t c = 0; c < 3; ++c)
            if (splat.Colour[c] != 0) Table(c, splat.Colour[c]);
}

void TCpuRenderer::TState::DrawBand(const TSPH& world, std::int32_t y0, std::int32_t y1) {
    for (auto& plane : Planes)
        std::memset(&plane[static_cast<std::size_t>(y0) * Stride], 0, static_cast<std::size_t>(y1 - y0) * Stride);

    // Sprites whose top row lies up to a sprite's height above the band.
    const std::int32_t first = RowStart[static_cast<std::size_t>(std::max(y0 - RowBytes + 1, -RowBytes) + RowBytes)];
    const std::int32_t end = RowStart[static_cast<std::size_t>(y1 + RowBytes)];
    const std::int32_t chunks = RowBytes / CHUNK;
    const std::size_t tableRows = static_cast<std::size_t>(TexelsY);
    for (std::int32_t k = first; k < end; ++k) {
        const TSplat& splat = Sorted[static_cast<std::size_t>(k)];
        const std::int32_t rowFirst = std::max<std::int32_t>(splat.Row, y0);
        const std::int32_t rowEnd = std::min<std::int32_t>(splat.Row + splat.Rows, y1);
        if (rowFirst >= rowEnd) continue;
        const std::uint8_t* mask = &Masks[static_cast<std::size_t>(splat.Columns) * RowBytes];
        const std::int32_t* texelRows = &RowTexel[static_cast<std::size_t>(splat.PhaseY) * RowBytes];
        for (std::int32_t c = 0; c < 3; ++c) {
            if (splat.Colour[c] == 0) continue;
            const std::uint8_t* table =
                Tables[static_cast<std::size_t>(c)][splat.Colour[c]].data() + splat.PhaseX * tableRows * RowBytes;
            std::uint8_t* out = Planes[static_cast<std::size_t>(c)].data() + RowBytes + splat.Column;
            for (std::int32_t y = rowFirst; y < rowEnd; ++y) {
                const std::uint8_t* src = table + static_cast<std::size_t>(texelRows[y - splat.Row]) * RowBytes;
                std::uint8_t* dst = out + static_cast<std::size_t>(y) * Stride;
                for (std::int32_t i = 0; i < chunks; ++i) {
                    const TBytes add = Load(src + i * CHUNK) & Load(mask + i * CHUNK);
                    Store(dst + i * CHUNK, AddSaturated(Load(dst + i * CHUNK), add));
                }
            }
        }
    }

    // The sum, sharpened, as RGBA.
    for (std::int32_t y = y0; y < y1; ++y) {
        const std::size_t at = static_cast<std::size_t>(y) * Stride + RowBytes;
        const std::uint8_t* r = &Planes[0][at];
        const std::uint8_t* g = &Planes[1][at];
        const std::uint8_t* b = &Planes[2][at];
        std::uint8_t* out = &Image[static_cast<std::size_t>(y) * Width * 4];
        std::int32_t x = 0;
        for (; x + CHUNK <= Width; x += CHUNK) SharpenToRgba(r + x, g + x, b + x, out + 4 * x);
        for (; x < Width; ++x) {
            out[4 * x] = Sharpened[r[x]];
            out[4 * x + 1] = Sharpened[g[x]];
            out[4 * x + 2] = Sharpened[b[x]];
            out[4 * x + 3] = 255;
        }
    }

    // Walls, opaque, in their order: a later one covers an earlier one.
    const float s = SpriteSize;
    for (const TParticle* wall : world.GetBoundaryParticles()) {
        if (!Near(*wall)) continue;
        const TParticle& p = *wall;
        const TSpan rows = Rows(p.ScreenY - s, p.ScreenY + s);
        const std::int32_t rowFirst = std::max(rows.First, y0);
        const std::int32_t rowEnd = std::min(rows.End, y1);
        if (rowFirst >= rowEnd) continue;
        const TSpan columns = Columns(p.ScreenX - s, p.ScreenX + s);
        const std::int32_t columnFirst = std::max(columns.First, 0);
        const std::int32_t columnEnd = std::min(columns.End, Width);
        if (columnFirst >= columnEnd) continue;
        const std::array<std::uint8_t, 4> colour = {ColourByte(p.ColorR), ColourByte(p.ColorG), ColourByte(p.ColorB),
                                                    255};
        for (std::int32_t y = rowFirst; y < rowEnd; ++y) {
            std::uint8_t* out = &Image[(static_cast<std::size_t>(y) * Width + columnFirst) * 4];
            for (std::int32_t x = columnFirst; x < columnEnd; ++x, out += 4) std::memcpy(out, colour.data(), 4);
        }
    }
}

TCpuRenderer::TCpuRenderer(const std::uint8_t* rgba, std::int32_t width, std::int32_t height, std::int32_t pitch)
    : State(std::make_unique<TState>()) {
    // Checked before anything is copied: sides up to 2^31 - 1 stretch to 2^31.
    auto stretched = [](std::int32_t side) {
        std::int64_t p = 1;
        while (p < side) p *= 2;
        return p;
    };
    if (stretched(width) * stretched(height) > MAX_SPRITE_PIXELS)
        throw std::length_error("the " + std::to_string(width) + " x " + std::to_string(height) +
                                " sprite image, stretched to powers of two, has " + std::to_string(stretched(width)) +
                                " x " + std::to_string(stretched(height)) + " pixels: more than the " +
                                std::to_string(MAX_SPRITE_PIXELS) + " the CPU renderer holds");
    TLevel image{std::max(width, 1), std::max(height, 1), {}};
    image.Rgba.assign(static_cast<std::size_t>(image.Width) * image.Height * 4, 0);
    if (rgba != nullptr && width > 0)
        for (std::int32_t y = 0; y < height; ++y)
            std::memcpy(&image.Rgba[static_cast<std::size_t>(y) * image.Width * 4],
                        rgba + static_cast<std::ptrdiff_t>(y) * pitch, static_cast<std::size_t>(width) * 4);
    // Stretched to powers of two, then halved down to one texel.
    const std::int32_t w = CeilPowerOfTwo(image.Width);
    const std::int32_t h = CeilPowerOfTwo(image.Height);
    State->Levels.push_back(w == image.Width && h == image.Height ? std::move(image) : Resample(image, w, h));
    for (;;) {
        const TLevel& last = State->Levels.back();
        if (last.Width == 1 && last.Height == 1) break;
        State->Levels.push_back(Resample(last, std::max(last.Width / 2, 1), std::max(last.Height / 2, 1)));
    }
    for (std::int32_t c = 0; c < 256; ++c)
        State->Sharpened[static_cast<std::size_t>(c)] = Sharpen(static_cast<std::uint8_t>(c));
}

TCpuRenderer::~TCpuRenderer() = default;

std::uint8_t TCpuRenderer::Sharpen(std::uint8_t c) {
    auto square = [](std::int32_t v) { return (v * v + 127) / 255; };
    return static_cast<std::uint8_t>(square(square(c)));
}

void TCpuRenderer::Draw(const TSPH& world, const TSprites& sprites, TTaskRunner* runner) {
    // Refused before anything changes, so that the last picture stays.
    const std::int32_t width = std::max(sprites.Width, 0);
    const std::int32_t height = std::max(sprites.Height, 0);
    if (width > MAX_SIDE || height > MAX_SIDE || std::int64_t{width} * height > MAX_PIXELS)
        throw std::length_error("TCpuRenderer: the image must have at most " + std::to_string(MAX_SIDE) +
                                " pixels a side and " + std::to_string(MAX_PIXELS) + " in all (got " +
                                std::to_string(width) + " x " + std::to_string(height) + ")");
    if (sprites.Size > MAX_PARTICLE_SIZE) {
        char size[32];
        std::snprintf(size, sizeof size, "%g", static_cast<double>(sprites.Size));
        throw std::length_error("TCpuRenderer: the particle size must be at most " +
                                std::to_string(static_cast<std::int32_t>(MAX_PARTICLE_SIZE)) + " (got " + size + ")");
    }

    TState& s = *State;
    // A size that is not positive (NaN included) makes every span empty.
    const float size = sprites.Size > 0 ? sprites.Size : 0.0f;
    const bool resized = size != s.SpriteSize;
    if (resized) s.SetSpriteSize(size);
    // The planes' margins and the rows of the sort are as wide as a sprite.
    if (resized || width != s.Width || height != s.Height || s.RowStart.empty()) s.SetFrameSize(width, height);
    if (s.Width == 0 || s.Height == 0) return;
    s.Gather(world);

    // A band per task; a few per thread so that an uneven scene still shares out.
    const std::int32_t threads = runner != nullptr ? runner->ThreadCount() : 1;
    const std::size_t work = s.Sorted.size() + world.GetBoundaryParticles().size();
    const std::int32_t bands = threads > 1 && work >= 256 ? threads * 4 : 1;
    auto band = [&](std::int32_t k) {
        s.DrawBand(world, static_cast<std::int32_t>(static_cast<std::int64_t>(s.Height) * k / bands),
                   static_cast<std::int32_t>(static_cast<std::int64_t>(s.Height) * (k + 1) / bands));
    };
    if (bands == 1)
        band(0);
    else
        runner->Run(bands, band);
}

std::int32_t TCpuRenderer::Width() const { return State->Width; }
std::int32_t TCpuRenderer::Height() const { return State->Height; }
std::uint8_t* TCpuRenderer::Pixels() { return State->Image.empty() ? nullptr : State->Image.data(); }
const std::uint8_t* TCpuRenderer::Pixels() const { return State->Image.empty() ? nullptr : State->Image.data(); }
