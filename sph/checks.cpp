#include "sph/detail/checks.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "sph/sph.h"

namespace sph_detail {

// The fewest digits that read back as the same float: 1e-06, not
// 9.99999997e-07, so that a caller sees the number as they wrote it.
std::string Shown(double value) {
    char text[32];
    const auto single = static_cast<float>(value);
    const bool isFloat = static_cast<double>(single) == value || value != value;
    for (int digits = 1; digits <= 17; ++digits) {
        std::snprintf(text, sizeof text, "%.*g", digits, value);
        const double back = std::strtod(text, nullptr);
        if (isFloat ? static_cast<float>(back) == single : back == value) break;
    }
    return text;
}

void TCheck::Fail(const std::string& what) const { throw TSPHError(std::string(Call) + ": " + what); }

void TCheck::Finite(const char* what, float value) const {
    if (!(std::fabs(value) <= MAX_MAGNITUDE))
        Fail(std::string(what) + " must be finite and at most " + Shown(MAX_MAGNITUDE) + " either way (got " +
             Shown(value) + ")");
}

void TCheck::Positive(const char* what, float value) const {
    if (!(value >= MIN_POSITIVE && value <= MAX_MAGNITUDE))
        Fail(std::string(what) + " must lie between " + Shown(MIN_POSITIVE) + " and " + Shown(MAX_MAGNITUDE) +
             " (got " + Shown(value) + ")");
}

void TCheck::NotNegative(const char* what, float value) const {
    if (!(value >= 0 && value <= MAX_MAGNITUDE))
        Fail(std::string(what) + " must lie between 0 and " + Shown(MAX_MAGNITUDE) + " (got " + Shown(value) + ")");
}

void TCheck::Within(const char* what, std::int64_t value, std::int64_t limit) const {
    if (value < 0 || value > limit)
        Fail(std::string(what) + " must lie between 0 and " + std::to_string(limit) + " (got " + std::to_string(value) +
             ")");
}

void TCheck::Belongs(const char* what, const TWorldState& world, const TParticle* p) const {
    NotNull(what, p);
    if (!world.Owns(p)) Fail(std::string(what) + " belongs to another world");
}

}  // namespace sph_detail
