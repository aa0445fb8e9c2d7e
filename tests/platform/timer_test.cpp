#include "platform/input.h"
#include "platform/timer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

namespace {

// Waits until the timer thread has posted `count` notifications that nobody
// has pumped yet.
void AwaitNotifications(int count) {
    const Uint32 type = TimerNotificationType();
    while (SDL_PeepEvents(nullptr, 0, SDL_PEEKEVENT, type, type) < count) SDL_Delay(1);
}

// The schedule on a fake clock: 1000 / hertz truncated, each tick due a whole
// number of periods after the start however late the callback before it ran.
// A period of 16.67 ms, or one that drifts by the callback's latency, loses
// ticks here.
TEST(TimerSchedule, WholeMillisecondPeriodsFromTheStartWithoutDrift) {
    for (const auto& [hertz, period] :
         {std::pair{60.0f, 16u}, {500.0f, 2u}, {1000.0f, 1u}, {2000.0f, 0u}, {0.0f, 0u}, {-60.0f, 0u}})
        EXPECT_EQ(TimerPeriodMillis(hertz), period) << hertz;
    EXPECT_EQ(TTimer::Create(2000.0f, nullptr), nullptr);

    // The callback runs 0 to 4 ms late, and once stalls for 100 ms: the missed
    // ticks follow 1 ms apart. After 250 ticks the next is due at 4016 ms.
    const std::uint64_t start = 1000;
    std::uint64_t now = start + 16;
    for (std::uint64_t count = 1; count <= 250; ++count)
        now += TimerDelay(start, 16, count, now) + count % 5 + (count == 100 ? 100 : 0);
    EXPECT_GE(now, start + 4016);
    EXPECT_LE(now, start + 4020);
}

TEST(Timer, TicksAreCountedOnlyWhenTheMainThreadPumps) {
    auto timer = TTimer::Create(500.0f, nullptr);
    ASSERT_NE(timer, nullptr);
    AwaitNotifications(5);  // a stalled frame: the timer thread keeps posting
    EXPECT_EQ(timer->Ticks(), 0);
    TakeKeyHits(27);  // a query pumps, and every waiting notification is handled at once
    EXPECT_GE(timer->Ticks(), 5);
    // Wait returns at once with everything since the previous Wait...
    EXPECT_EQ(timer->Wait(), timer->Ticks());
    // ...and the next one waits for a fresh tick instead of working off a
    // backlog: it returns what came since.
    const std::int32_t before = timer->Ticks();
    const std::int32_t next = timer->Wait();
    EXPECT_GE(next, 1);
    EXPECT_EQ(next, timer->Ticks() - before);
}

// The millisecond clock is the host's monotonic clock, cut to 32 bits.
TEST(Timer, SystemMillisReadsTheMonotonicClock) {
    const auto steady = [] {
        const auto now = std::chrono::steady_clock::now().time_since_epoch();
        return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
    };
    const std::uint32_t from = steady();
    const auto millis = static_cast<std::uint32_t>(SystemMillis());
    const std::uint32_t to = steady();
    EXPECT_LE(millis - from, to - from);
}

// Each tick emits a TimerTick from the timer with its count, or a copy of
// the event given. A Wait from inside an event hook returns 0 at once.
TEST(Timer, TickEventsCarryTheTimerAndTheCountOrTheGivenEvent) {
    struct TLog {
        std::vector<TEvent> events;
        TTimer* timer = nullptr;  // waited on from inside the hook, once
        std::int32_t nested = -1;
    } log;
    const TEventHook hook = [](const TEvent& e, void* context) {
        auto& l = *static_cast<TLog*>(context);
        l.events.push_back(e);
        if (l.nested < 0 && l.timer != nullptr) l.nested = l.timer->Wait();
    };
    AddEventHook(hook, &log);
    auto timer = TTimer::Create(500.0f, nullptr);
    ASSERT_NE(timer, nullptr);
    log.timer = timer.get();
    while (timer->Ticks() < 3) timer->Wait();
    EXPECT_EQ(log.nested, 0);
    std::vector<std::int32_t> counts;
    for (const TEvent& e : log.events) {
        if (e.id != EventId::TimerTick) continue;
        EXPECT_EQ(e.source, timer.get());
        counts.push_back(e.data);
    }
    ASSERT_GE(counts.size(), 3u);
    for (std::size_t i = 0; i < counts.size(); ++i) EXPECT_EQ(counts[i], static_cast<std::int32_t>(i) + 1);
    timer.reset();

    log.events.clear();
    TEvent mine;
    mine.id = 4242;
    mine.data = 7;
    timer = TTimer::Create(500.0f, &mine);
    ASSERT_NE(timer, nullptr);
    mine.data = 8;  // the timer keeps its own copy
    timer->Wait();
    ASSERT_FALSE(log.events.empty());
    for (const TEvent& e : log.events) {
        EXPECT_EQ(e.id, 4242);
        EXPECT_EQ(e.data, 7);
    }
    RemoveEventHook(hook, &log);
}

// At most sixteen timers run at once; a stopped or destroyed one no longer
// counts. The notifications a stopped timer left in the queue are dropped,
// also when a new timer has taken its place.
TEST(Timer, AtMostSixteenRunAndAStoppedOneIsDone) {
    std::vector<std::unique_ptr<TTimer>> timers;
    timers.push_back(TTimer::Create(1000.0f, nullptr));
    for (int i = 1; i < TTimer::MAX_TIMERS; ++i) timers.push_back(TTimer::Create(1.0f, nullptr));
    for (const auto& timer : timers) ASSERT_NE(timer, nullptr);
    EXPECT_EQ(TTimer::Create(1.0f, nullptr), nullptr);
    AwaitNotifications(3);
    timers[0]->Stop();
    auto fresh = TTimer::Create(1.0f, nullptr);
    ASSERT_NE(fresh, nullptr);
    PollSystem();
    EXPECT_EQ(timers[0]->Ticks(), 0);
    EXPECT_EQ(fresh->Ticks(), 0);
    EXPECT_EQ(timers[0]->Wait(), 0);  // returns at once
    timers[0]->Fire();
    EXPECT_EQ(timers[0]->Ticks(), 0);
    EXPECT_EQ(TTimer::Create(1.0f, nullptr), nullptr);
    timers.pop_back();
    EXPECT_NE(TTimer::Create(1.0f, nullptr), nullptr);
}

}  // namespace
