#include "sph/detail/lattice.h"

#include <cmath>

#include "sph/detail/state_access.h"
#include "sph/sph.h"

namespace sph_detail {

TSceneRect SceneRect(const TCheck& check, const TSPH* world, float x, float y, float width, float height) {
    check.NotNull("the world", world);
    for (const float v : {x, y, width, height})
        if (!std::isfinite(v)) check.Fail("the rectangle must be finite (got " + Shown(v) + ")");
    if (width < 0 || height < 0)
        check.Fail("the rectangle's width and height must not be negative (got " + Shown(width) + " × " +
                   Shown(height) + ")");
    const float toScene = StateOf(*world).InvWorldScale;
    const TSceneRect rect{x * toScene, y * toScene, width * toScene, height * toScene};
    for (const double v : {static_cast<double>(rect.X), static_cast<double>(rect.X) + rect.Width,
                           static_cast<double>(rect.Y), static_cast<double>(rect.Y) + rect.Height})
        if (!(std::fabs(v * TSPH::UNIT_SCALE) <= MAX_MAGNITUDE))
            check.Fail("the rectangle reaches " + Shown(v * TSPH::UNIT_SCALE) + " simulation units, past " +
                       Shown(MAX_MAGNITUDE));
    return rect;
}

std::int32_t LatticeCount(const TCheck& check, const TSceneRect& rect, float spacing) {
    constexpr std::int64_t limit = TSPH::MAX_BLOCK_PARTICLES;
    auto count = [&](float start, float extent) {
        std::int64_t n = 0;
        ForEachLatticeCoordinate(start, static_cast<double>(start) + extent, spacing, [&](float) { ++n; });
        return n;
    };
    const std::int64_t columns = count(rect.X, rect.Width);
    const std::int64_t rows = count(rect.Y, rect.Height);
    if (columns > 0 && rows > limit / columns)
        check.Fail("the rectangle would lay " + std::to_string(columns) + " × " + std::to_string(rows) +
                   " particles, more than " + std::to_string(limit));
    return static_cast<std::int32_t>(columns * rows);
}

}  // namespace sph_detail
