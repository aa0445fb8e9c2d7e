// The frame-rate counter of the status line.
#pragma once

#include <cstdint>

// Frames per second over the last completed period of more than a second.
class TFrameRateCounter {
public:
    explicit TFrameRateCounter(std::int32_t nowMillis) : _reference(nowMillis) {}
    // Counts this frame; `clock` is read again when a period ends.
    template <class Clock>
    std::int32_t GetFrameRate(Clock&& clock) {
        ++_frames;
        _periodEnded = false;
        // Differences of the wrapping millisecond clock stay right across a wrap.
        if (static_cast<std::int32_t>(static_cast<std::uint32_t>(clock()) - static_cast<std::uint32_t>(_reference)) >
            1000) {
            _rate = _frames;
            _periodEnded = true;
            _frames = 0;
            _reference = clock();
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
