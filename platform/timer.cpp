#include "platform/timer.h"

#include <array>
#include <chrono>
#include <cmath>
#include <mutex>

#ifdef __EMSCRIPTEN__
#include <emscripten.h>
#endif

namespace {

// When the tick after `count` posted ones is due: count + 1 periods after the
// start, however late the earlier ones ran.
std::uint64_t DueAt(std::uint64_t start, std::uint32_t period, std::uint64_t count) {
    return start + (count + 1) * period;
}

// What the timer thread needs to schedule a timer's ticks. One per slot of
// the table of running timers, never freed: SDL may still be inside a
// callback of a timer that the main thread has just stopped, so the callback
// must never see freed memory. The generation tells it whether the timer it
// was started for still owns the slot.
struct TSchedule {
    std::mutex mutex;
    std::uint32_t generation = 0;
    std::uint64_t start = 0;   // SDL_GetTicks64() when the timer started
    std::uint32_t period = 0;  // milliseconds
    std::uint64_t count = 0;   // ticks posted so far

    // When the next tick is due, on SDL_GetTicks64()'s clock; under the mutex.
    std::uint64_t NextDue() const { return DueAt(start, period, count); }
};

std::array<TSchedule, TTimer::MAX_TIMERS> gSchedules;

// The running timers, by slot. Main thread only.
struct TSlot {
    TTimer* timer = nullptr;
    std::uint32_t generation = 0;
};
std::array<TSlot, TTimer::MAX_TIMERS> gSlots;

// The generation is kept small enough to travel in a pointer with the slot.
constexpr std::uint32_t kGenerationMask = 0x00FFFFFF;

void* PackKey(int slot, std::uint32_t generation) {
    return reinterpret_cast<void*>(static_cast<std::uintptr_t>(generation) << 8 | static_cast<std::uintptr_t>(slot));
}

// Runs on SDL's timer thread: posts a notification and says when to run next.
Uint32 TimerCallback(Uint32 /*interval*/, void* param) {
    const auto key = reinterpret_cast<std::uintptr_t>(param);
    const int slot = static_cast<int>(key & 0xFF);
    const auto generation = static_cast<std::uint32_t>(key >> 8);
    TSchedule& s = gSchedules[static_cast<std::size_t>(slot)];
    Uint32 next = 0;
    int ticks = 1;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        if (s.generation != generation) return 0;  // stopped: SDL drops the timer
        ++s.count;
        const std::uint64_t now = SDL_GetTicks64();
#ifdef __EMSCRIPTEN__
        // In a browser this runs only while the frame loop waits: the ticks that
        // fell due during a slow frame are posted together now, as a timer thread
        // would have posted them meanwhile, so that the frame loop does not make
        // them up later.
        for (; s.NextDue() <= now; ++s.count) ++ticks;
#endif
        next = TimerDelay(s.start, s.period, s.count, now);
    }
    SDL_Event event{};
    event.type = TimerNotificationType();
    event.user.code = slot;
    event.user.data1 = reinterpret_cast<void*>(static_cast<std::uintptr_t>(generation));
    for (int i = 0; i < ticks; ++i) SDL_PushEvent(&event);
    return next;
}

#ifdef __EMSCRIPTEN__

// Milliseconds until the timer in `slot` is due to post its next tick; 0 if
// it is due already.
std::int32_t MillisToNextTick(int slot) {
    TSchedule& s = gSchedules[static_cast<std::size_t>(slot)];
    std::lock_guard<std::mutex> lock(s.mutex);
    const std::uint64_t due = s.NextDue();
    const std::uint64_t now = SDL_GetTicks64();
    return due > now ? static_cast<std::int32_t>(due - now) : 0;
}

// Gives control back to the browser for `ms` milliseconds, or when 0 for just
// long enough to run what is due (the timer's callback, showing the canvas).
// SDL's own wait polls in 1 ms sleeps, and a browser stretches nested timeouts
// to 4 ms each: a frame lost up to 4 ms that way, idle. A message to ourselves
// is not stretched.
EM_ASYNC_JS(void, SleepInBrowser, (int ms), {
    await new Promise(function(resolve) {
        if (ms > 0) {
            setTimeout(resolve, ms);
        } else {
            const channel = new MessageChannel();
            channel.port1.onmessage = function() { resolve(); };
            channel.port2.postMessage(0);
        }
    });
});

#endif

}  // namespace

std::unique_ptr<TTimer> TTimer::Create(float hertz, const TEvent* event) {
    const std::uint32_t period = TimerPeriodMillis(hertz);
    if (period == 0) return nullptr;
    if (!PlatformStarted()) return nullptr;

    int slot = -1;
    for (int i = 0; i < MAX_TIMERS; ++i) {
        if (gSlots[static_cast<std::size_t>(i)].timer == nullptr) {
            slot = i;
            break;
        }
    }
    if (slot < 0) return nullptr;

    TSchedule& s = gSchedules[static_cast<std::size_t>(slot)];
    std::uint32_t generation = 0;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        s.generation = (s.generation + 1) & kGenerationMask;
        generation = s.generation;
        s.start = SDL_GetTicks64();
        s.period = period;
        s.count = 0;
    }
    const SDL_TimerID id = SDL_AddTimer(period, TimerCallback, PackKey(slot, generation));
    if (id == 0) {
        std::lock_guard<std::mutex> lock(s.mutex);
        s.generation = (s.generation + 1) & kGenerationMask;
        return nullptr;
    }

    std::unique_ptr<TTimer> timer(new TTimer());
    timer->_handle = id;
    timer->_slot = slot;
    if (event != nullptr) timer->_event = *event;
    gSlots[static_cast<std::size_t>(slot)] = {timer.get(), generation};
    return timer;
}

TTimer::~TTimer() { Stop(); }

std::int32_t TTimer::Ticks() { return _ticks; }

void TTimer::Stop() {
    if (_handle == 0) return;
    TSchedule& s = gSchedules[static_cast<std::size_t>(_slot)];
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        s.generation = (s.generation + 1) & kGenerationMask;
    }
    gSlots[static_cast<std::size_t>(_slot)] = {};
    // After SDL has been shut down at exit its timers are gone already.
    if (PlatformStarted()) SDL_RemoveTimer(_handle);
    _handle = 0;
    _slot = -1;
    _event.reset();
}

void TTimer::Fire() {
    if (_handle == 0) return;
    _ticks = static_cast<std::int32_t>(static_cast<std::uint32_t>(_ticks) + 1u);  // wraps, never overflows
    if (_event) {
        _event->Emit();
        return;
    }
    TEvent tick;
    tick.id = EventId::TimerTick;
    tick.source = this;
    tick.data = _ticks;
    tick.Emit();
}

std::int32_t TTimer::Wait() {
    if (_handle == 0 || SystemPumping()) return 0;
    while (_ticks == _wticks) {
#ifdef __EMSCRIPTEN__
        SleepInBrowser(MillisToNextTick(_slot));
        PollSystem();
#else
        WaitSystem();
#endif
        if (_handle == 0) return 0;  // stopped by an event hook
    }
    const auto ticks =
        static_cast<std::int32_t>(static_cast<std::uint32_t>(_ticks) - static_cast<std::uint32_t>(_wticks));
    _wticks = _ticks;
    return ticks;
}

void DeliverTimerNotification(std::int32_t slot, std::uint32_t generation) {
    if (slot < 0 || slot >= TTimer::MAX_TIMERS) return;
    const TSlot& s = gSlots[static_cast<std::size_t>(slot)];
    if (s.timer == nullptr || s.generation != generation) return;
    s.timer->Fire();
}

std::uint32_t TimerPeriodMillis(float hertz) {
    if (!(hertz > 0.0f)) return 0;
    const double period = std::trunc(1000.0 / static_cast<double>(hertz));
    return period >= 1.0 ? static_cast<std::uint32_t>(period) : 0;
}

std::uint32_t TimerDelay(std::uint64_t start, std::uint32_t period, std::uint64_t count, std::uint64_t now) {
    const std::uint64_t due = DueAt(start, period, count);
    return due > now ? static_cast<std::uint32_t>(due - now) : 1;
}

std::int32_t SystemMillis() {
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch());
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(ms.count()));
}
