// Compares two pictures of the same size as the test of the CPU drawing
// against the GL's does (tests/render/cpu_render_gl_test.cpp): they count as
// the same when the mean difference in the worse channel is at most 0.05 and
// at most one pixel in 10 000 is off by more than 32. A rectangle may be left
// out, e.g. the frame rate in a screenshot's corner, which no two runs share.
// Prints one line; exit status 0 for the same picture, 1 for another, 2 for
// files it cannot read.
//
// Usage: picture_difference <a.png> <b.png> [<x> <y> <width> <height> left out]
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/png.h"

int main(int argc, char** argv) {
    if (argc != 3 && argc != 7) {
        std::fprintf(stderr, "usage: %s a.png b.png [x y width height]\n", argv[0]);
        return 2;
    }
    std::array<int, 4> skip{};  // x, y, width, height
    for (int i = 0; i < 4 && argc == 7; ++i) skip[static_cast<std::size_t>(i)] = std::atoi(argv[3 + i]);
    std::string error;
    const auto a = LoadPngPixmap(argv[1], &error);
    const auto b = a ? LoadPngPixmap(argv[2], &error) : nullptr;
    if (!a || !b || a->width != b->width || a->height != b->height) {
        std::fprintf(stderr, "%s\n", error.empty() ? "the pictures differ in size" : error.c_str());
        return 2;
    }
    std::array<double, 3> sums{};
    int over32 = 0, largest = 0, counted = 0;
    for (int y = 0; y < a->height; ++y) {
        for (int x = 0; x < a->width; ++x) {
            if (x >= skip[0] && x < skip[0] + skip[2] && y >= skip[1] && y < skip[1] + skip[3]) continue;
            const auto pa = static_cast<std::uint32_t>(a->ReadPixel(x, y));
            const auto pb = static_cast<std::uint32_t>(b->ReadPixel(x, y));
            int worst = 0;
            for (int k = 0; k < 3; ++k) {
                const int diff =
                    std::abs(static_cast<int>((pa >> (8 * k)) & 255) - static_cast<int>((pb >> (8 * k)) & 255));
                sums[static_cast<std::size_t>(k)] += diff;
                worst = std::max(worst, diff);
            }
            over32 += worst > 32;
            largest = std::max(largest, worst);
            ++counted;
        }
    }
    const double mean = *std::max_element(sums.begin(), sums.end()) / std::max(counted, 1);
    std::printf("mean difference %.4f in the worse channel, %d pixels off by more than 32, largest %d\n", mean, over32,
                largest);
    return mean <= 0.05 && over32 <= counted / 10000 ? 0 : 1;
}
