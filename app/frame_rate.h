// The frame-rate counter of the status line.
#pragma once

#include <cstdint>

// Frames per second over the last completed period of more than a second,
// rounded down: the frames of the period divided by its length, which ends
// with the first frame past the second. At 16 ms a frame a period holds 63
// frames in 1008 ms, 62.5 a second, shown as 62 (the frames alone would say
// 63, or 64 when a frame came late).
class TFrameRateCounter {
public:
    explicit TFrameRateCounter(std::int32_t nowMillis) : _reference(nowMillis) {}
    // Counts a frame that ends now; `clock` gives the milliseconds now.
    template <class Clock>
    std::int32_t GetFrameRate(Clock&& clock) {
        ++_frames;
        _periodEnded = false;
        const std::int32_t now = clock();
        // Differences of the wrapping millisecond clock stay right across a wrap.
        const auto elapsed =
            static_cast<std::int32_t>(static_cast<std::uint32_t>(now) - static_cast<std::uint32_t>(_reference));
        if (elapsed > 1000) {
            _rate = static_cast<std::int32_t>(static_cast<std::int64_t>(_frames) * 1000 / elapsed);
            _periodEnded = true;
            _frames = 0;
            _reference = now;
        }
        return _rate;
    }
    // Whether the last GetFrameRate ended a period, giving a new rate.
    bool PeriodEnded() const { return _periodEnded; }

private:
    std::int32_t _frames = 0;
    std::int32_t _rate = 0;
    std::int32_t _reference;
    bool _periodEnded = false;
};
