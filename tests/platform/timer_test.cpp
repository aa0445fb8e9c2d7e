#include "platform/timer.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Records the events emitted while it exists.
class EventLog {
public:
    EventLog() { AddEventHook(&EventLog::Hook, this); }
    ~EventLog() { RemoveEventHook(&EventLog::Hook, this); }
    std::vector<TEvent> events;

private:
    static void Hook(const TEvent& e, void* self) { static_cast<EventLog*>(self)->events.push_back(e); }
};

TEST(Timer, TicksAreCountedOnlyWhenTheMainThreadPumps) {
    auto timer = TTimer::Create(60.0f, nullptr);
    ASSERT_NE(timer, nullptr);
    SDL_Delay(100);  // a stalled frame: the timer thread keeps posting
    EXPECT_EQ(timer->Ticks(), 0);
    PollSystem();
    // Every waiting notification is handled in one pump: 6 (or 7) ticks in
    // 100 ms, more if this machine is busy.
    EXPECT_GE(timer->Ticks(), 5);
    const std::int32_t counted = timer->Ticks();
    // Wait returns at once with everything since the previous Wait...
    EXPECT_EQ(timer->Wait(), counted);
    // ...and the next one waits for a fresh tick instead of working off a backlog.
    const std::uint64_t before = SDL_GetTicks64();
    const std::int32_t next = timer->Wait();
    EXPECT_GE(next, 1);
    EXPECT_LE(next, 3);
    EXPECT_LT(SDL_GetTicks64() - before, 200u);
}

TEST(Timer, SixtyHertzTicksEverySixteenMillisecondsWithoutDrift) {
    const std::uint64_t start = SDL_GetTicks64();
    auto timer = TTimer::Create(60.0f, nullptr);
    ASSERT_NE(timer, nullptr);
    std::int32_t waited = 0;
    while (SDL_GetTicks64() - start < 4000) waited += timer->Wait();
    PollSystem();
    const std::uint64_t elapsed = SDL_GetTicks64() - start;
    waited += timer->Wait();
    EXPECT_EQ(waited, timer->Ticks());
    // 16 ms a tick from the start: elapsed / 16, give or take the last tick,
    // with room for a timer thread that was kept waiting at the end. A period
    // of 16.67 ms (or one that drifts by the callback's latency) loses 10 ticks
    // in these 4 seconds.
    const auto expected = static_cast<std::int32_t>(elapsed / 16);
    EXPECT_LE(timer->Ticks(), expected + 1);
    EXPECT_GE(timer->Ticks(), expected - 7);
}

TEST(Timer, TickEventsCarryTheTimerAndTheCount) {
    EventLog log;
    auto timer = TTimer::Create(500.0f, nullptr);
    ASSERT_NE(timer, nullptr);
    while (timer->Ticks() < 3) timer->Wait();
    std::vector<std::int32_t> counts;
    for (const TEvent& e : log.events) {
        if (e.id != EventId::TimerTick) continue;
        EXPECT_EQ(e.source, timer.get());
        counts.push_back(e.data);
    }
    ASSERT_GE(counts.size(), 3u);
    for (std::size_t i = 0; i < counts.size(); ++i) EXPECT_EQ(counts[i], static_cast<std::int32_t>(i) + 1);
}

TEST(Timer, AGivenEventIsEmittedInsteadOfTheTick) {
    EventLog log;
    TEvent mine;
    mine.id = 4242;
    mine.data = 7;
    auto timer = TTimer::Create(500.0f, &mine);
    ASSERT_NE(timer, nullptr);
    mine.data = 8;  // the timer keeps its own copy
    timer->Wait();
    ASSERT_FALSE(log.events.empty());
    for (const TEvent& e : log.events) {
        EXPECT_EQ(e.id, 4242);
        EXPECT_EQ(e.data, 7);
    }
}

TEST(Timer, AtMostSixteenRunAtOnce) {
    std::vector<std::unique_ptr<TTimer>> timers;
    for (int i = 0; i < TTimer::MAX_TIMERS; ++i) {
        timers.push_back(TTimer::Create(1.0f, nullptr));
        ASSERT_NE(timers.back(), nullptr) << i;
    }
    EXPECT_EQ(TTimer::Create(1.0f, nullptr), nullptr);
    timers[3]->Stop();  // a stopped timer no longer counts
    EXPECT_NE(TTimer::Create(1.0f, nullptr), nullptr);
    timers.pop_back();  // nor does a destroyed one
    EXPECT_NE(TTimer::Create(1.0f, nullptr), nullptr);
}

TEST(Timer, NotificationsOfAStoppedTimerAreDropped) {
    auto old = TTimer::Create(1000.0f, nullptr);
    ASSERT_NE(old, nullptr);
    SDL_Delay(30);  // notifications are waiting in the queue
    old->Stop();
    // A new timer may take the stopped one's place; the old notifications are not its ticks.
    auto fresh = TTimer::Create(1.0f, nullptr);
    ASSERT_NE(fresh, nullptr);
    PollSystem();
    EXPECT_EQ(old->Ticks(), 0);
    EXPECT_EQ(fresh->Ticks(), 0);
    EXPECT_EQ(old->Wait(), 0);  // returns at once
    old->Fire();
    EXPECT_EQ(old->Ticks(), 0);
}

TEST(Timer, RatesWithoutAWholeMillisecondPeriodAreRefused) {
    EXPECT_EQ(TTimer::Create(0.0f, nullptr), nullptr);
    EXPECT_EQ(TTimer::Create(-60.0f, nullptr), nullptr);
    EXPECT_EQ(TTimer::Create(2000.0f, nullptr), nullptr);
    EXPECT_NE(TTimer::Create(1000.0f, nullptr), nullptr);
}

TEST(Timer, WaitInsideAnEventHookReturnsAtOnce) {
    auto timer = TTimer::Create(500.0f, nullptr);
    ASSERT_NE(timer, nullptr);
    struct Context {
        TTimer* timer;
        int calls = 0;
        std::int32_t result = -1;
    } context{timer.get()};
    auto hook = [](const TEvent& e, void* p) {
        auto* c = static_cast<Context*>(p);
        if (e.id != EventId::TimerTick || c->calls > 0) return;
        ++c->calls;
        c->result = c->timer->Wait();
    };
    AddEventHook(hook, &context);
    timer->Wait();
    RemoveEventHook(hook, &context);
    EXPECT_EQ(context.calls, 1);
    EXPECT_EQ(context.result, 0);
}

TEST(Clock, SystemMillisCountsMilliseconds) {
    const std::int32_t start = SystemMillis();
    SDL_Delay(50);
    const std::int32_t elapsed = SystemMillis() - start;
    EXPECT_GE(elapsed, 49);
    EXPECT_LT(elapsed, 1000);
}

}  // namespace
