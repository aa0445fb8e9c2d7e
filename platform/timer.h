// The periodic frame timer and the millisecond clock.
//
// A timer's host callback runs on SDL's timer thread and does nothing but post
// a notification to the main thread's event queue. Ticks are counted on the
// main thread when it pumps events (PollSystem/WaitSystem, which every input
// query and every Wait does), so _ticks only ever changes between the
// statements of the frame loop that poll input or wait.
#pragma once

#include "platform/events.h"

#include <cstdint>
#include <memory>
#include <optional>

class TTimer {
public:
    // At most this many timers run at once.
    static constexpr int MAX_TIMERS = 16;

    // Starts a timer ticking every 1000 / hertz milliseconds, truncated (16 ms
    // at 60 Hz: 62.5 ticks a second). Each tick is scheduled from the moment the
    // timer started, so the rate does not drift with the callback's latency.
    // On each tick `event` (copied; may be null) is emitted, or a TimerTick
    // event if there is none. Returns null when MAX_TIMERS timers run already,
    // when the period would be under 1 ms, or when the host refuses the timer.
    // The caller owns the timer; destroying it stops it.
    static std::unique_ptr<TTimer> Create(float hertz, const TEvent* event);

    ~TTimer();
    TTimer(const TTimer&) = delete;
    TTimer& operator=(const TTimer&) = delete;

    // The ticks counted so far.
    std::int32_t Ticks();
    // Stops the host timer for good; notifications already posted are dropped.
    void Stop();
    // Counts one tick and emits the tick event; nothing once stopped. Runs on
    // the main thread for each notification the pump finds.
    void Fire();
    // Waits, pumping events, until at least one tick has been counted since the
    // previous Wait, and returns how many (ticks missed by a slow frame are
    // returned together, not made up later). Returns 0 at once when stopped,
    // or when called from inside an event hook while a pump runs.
    std::int32_t Wait();

private:
    TTimer() = default;

    std::int32_t _ticks = 0;
    std::int32_t _wticks = 0;
    [[maybe_unused]] TTimer* _cycle = nullptr;  // not used by this layer
    std::optional<TEvent> _event;
    std::int32_t _handle = 0;  // the SDL timer id; 0 when stopped
    int _slot = -1;            // index in the table of running timers

    friend void DeliverTimerNotification(std::int32_t slot, std::uint32_t generation);
};

// Runs Fire on the running timer that posted a notification: `slot` and
// `generation` name it in the table of running timers. A notification for a
// timer stopped in the meantime is dropped. Called by the pump.
void DeliverTimerNotification(std::int32_t slot, std::uint32_t generation);

// The period of a timer at `hertz`: 1000 / hertz milliseconds, truncated; 0
// when it would be under 1 ms (or hertz is not positive): no such timer runs.
std::uint32_t TimerPeriodMillis(float hertz);

// How long after `now` the timer thread next runs for a timer of `period`
// ms started at `start` that has posted `count` ticks: the next tick is due
// count + 1 periods after the start, however late this one ran; at least 1 ms,
// so that ticks missed in a stall follow 1 ms apart.
std::uint32_t TimerDelay(std::uint64_t start, std::uint32_t period, std::uint64_t count, std::uint64_t now);

// Milliseconds from an arbitrary origin (the host's monotonic clock). Wraps at
// 2^32; use differences only.
std::int32_t SystemMillis();
