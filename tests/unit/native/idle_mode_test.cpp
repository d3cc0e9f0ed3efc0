// The --idle mode's waiting over a scripted idle source, run and clock: when runs start (never
// while the user is active, again only after activity and a new idle), inhibitors, the source
// going away and stop requests; and GNOME's idle watches over a fake session bus.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "gnome_idle.h"
#include "idle_mode.h"

namespace {

using Event = IdleSource::Event;

// Events at given times of a clock that only waiting moves.
class ScriptedSource : public IdleSource {
 public:
  explicit ScriptedSource(std::int64_t& now) : now_(now) {}
  std::multimap<std::int64_t, Event> script;
  std::function<bool()> mayStartNow = [] { return true; };
  int inhibitorChecks = 0;

  Event wait(int timeoutMilliseconds) override {
    EXPECT_GE(timeoutMilliseconds, 0);
    auto next = script.begin();
    if (next != script.end() && next->first <= now_ + timeoutMilliseconds) {
      if (next->first > now_) now_ = next->first;
      const Event event = next->second;
      script.erase(next);
      return event;
    }
    now_ += timeoutMilliseconds;
    return Event::none;
  }
  bool mayStart() override {
    ++inhibitorChecks;
    return mayStartNow();
  }
  std::string name() const override { return "the test source"; }
  std::string reason() const override { return "its server left"; }

 private:
  std::int64_t& now_;
};

// Runs that end at the times given, in order (a run with no end left runs on).
class ScriptedRun : public IdleRun {
 public:
  explicit ScriptedRun(std::int64_t& now) : now_(now) {}
  std::vector<std::int64_t> ends;
  std::vector<std::int64_t> starts;
  bool refuse = false;
  bool stopped = false;

  bool start() override {
    EXPECT_FALSE(live_) << "a second run beside the first";
    if (refuse) return false;
    starts.push_back(now_);
    live_ = true;
    return true;
  }
  bool running() override {
    if (live_ && starts.size() <= ends.size() && now_ >= ends[starts.size() - 1]) live_ = false;
    return live_;
  }
  void stop() override {
    if (live_) stopped = true;
    live_ = false;
  }

 private:
  std::int64_t& now_;
  bool live_ = false;
};

struct Rig {
  std::int64_t now = 0;
  std::int64_t stopAt = 60000;
  ScriptedSource source{now};
  ScriptedRun run{now};
  std::vector<std::string> lines;
  IdleMode mode{source, run, [this] { return now; }, [this] { return now >= stopAt; },
                [this](const std::string& line) { lines.push_back(line); }};
};

using Times = std::vector<std::int64_t>;

}  // namespace

TEST(IdleMode, StartsOnIdleAndAgainOnlyAfterTheInputThatEndedItAndTheNextIdle) {
  // Either order of the input's two effects: the run gone first, or the source's word first.
  for (std::int64_t runEnd : {5050, 4950}) {
    Rig r;
    r.source.script = {{1000, Event::idle}, {5000, Event::active}, {9000, Event::idle}};
    r.run.ends = {runEnd};
    EXPECT_EQ(r.mode.loop(), 0);
    EXPECT_EQ(r.run.starts, (Times{1000, 9000})) << runEnd;
    EXPECT_TRUE(r.run.stopped) << "the second run is stopped with the mode";
    EXPECT_TRUE(r.lines.empty());
  }
}

TEST(IdleMode, NeverStartsWhileTheUserIsActive) {
  Rig r;
  // Active from the start (no idle word at all), then idle, active again, idle again.
  r.source.script = {{20000, Event::idle}, {20500, Event::active}, {40000, Event::idle}};
  r.run.ends = {20500};
  EXPECT_EQ(r.mode.loop(), 0);
  EXPECT_EQ(r.run.starts, (Times{20000, 40000}));
}

TEST(IdleMode, ARunThatEndsWithTheUserStillIdleWaitsForActivityAndANewIdle) {
  // Ended by itself (a failed start, a compositor that took no frames) with nobody there.
  Rig r;
  r.source.script = {{1000, Event::idle}, {12000, Event::active}, {15000, Event::idle}};
  r.run.ends = {3000};
  EXPECT_EQ(r.mode.loop(), 0);
  EXPECT_EQ(r.run.starts, (Times{1000, 15000}));

  // Activity that did not end the run (g, r, s, a small jolt) and a new idle during it: once the
  // run ends, still only after the next activity and idle.
  Rig during;
  during.source.script = {{1000, Event::idle}, {2000, Event::active}, {4000, Event::idle},
                          {20000, Event::active}, {23000, Event::idle}};
  during.run.ends = {6000};
  EXPECT_EQ(during.mode.loop(), 0);
  EXPECT_EQ(during.run.starts, (Times{1000, 23000}));
}

TEST(IdleMode, AHeldInhibitorKeepsTheRunAwayAndIsLookedAtAgainUntilItGoes) {
  Rig r;
  r.source.script = {{1000, Event::idle}};
  r.source.mayStartNow = [&r] { return r.now >= 12000; };
  EXPECT_EQ(r.mode.loop(), 0);
  ASSERT_EQ(r.run.starts.size(), 1u);
  // Looked at on idle and every 5 s after: at 1000, 6000, 11000, then free at 16000.
  EXPECT_EQ(r.run.starts[0], 1000 + 3 * IdleMode::kInhibitorPollMilliseconds);
  EXPECT_EQ(r.source.inhibitorChecks, 4);

  // The user back while it is held: no start at the next look, only after a new idle.
  Rig back;
  back.source.script = {{1000, Event::idle}, {3000, Event::active}, {30000, Event::idle}};
  back.source.mayStartNow = [&back] { return back.now >= 4000; };
  EXPECT_EQ(back.mode.loop(), 0);
  EXPECT_EQ(back.run.starts, (Times{30000}));
}

TEST(IdleMode, TheSourceGoneEndsTheModeWithOneLineAndItsRun) {
  Rig r;
  r.source.script = {{1000, Event::idle}, {2000, Event::gone}};
  EXPECT_EQ(r.mode.loop(), 1);
  EXPECT_EQ(r.now, 2000);
  EXPECT_TRUE(r.run.stopped);
  ASSERT_EQ(r.lines.size(), 1u);
  EXPECT_EQ(r.lines[0], "the test source: its server left: the idle mode ends");
}

TEST(IdleMode, AStopEndsItWithZeroWhetherWaitingOrRunning) {
  Rig running;
  running.source.script = {{1000, Event::idle}};
  running.stopAt = 3000;
  EXPECT_EQ(running.mode.loop(), 0);
  EXPECT_TRUE(running.run.stopped);
  // Seen within one poll of the run.
  EXPECT_LE(running.now, 3000 + IdleMode::kRunPollMilliseconds);

  Rig waiting;
  waiting.stopAt = 2500;
  EXPECT_EQ(waiting.mode.loop(), 0);
  EXPECT_TRUE(waiting.run.starts.empty());
  EXPECT_FALSE(waiting.run.stopped);
}

TEST(IdleMode, ARunThatCannotStartIsSaidAndTriedAgainOnlyAfterTheNextIdle) {
  Rig r;
  r.run.refuse = true;
  r.source.script = {{1000, Event::idle}, {4000, Event::active}, {9000, Event::idle}};
  r.stopAt = 8000;
  EXPECT_EQ(r.mode.loop(), 0);
  EXPECT_EQ(r.lines, (std::vector<std::string>{"cannot start the screensaver"}));
  r.run.refuse = false;
  r.stopAt = 20000;
  EXPECT_EQ(r.mode.loop(), 0);
  EXPECT_EQ(r.run.starts, (Times{9000}));
}

namespace {

// GNOME's idle monitor and session manager as the bus would answer.
class FakeMutter : public MutterIdleBus {
 public:
  std::uint32_t nextId = 10;
  std::uint64_t idle = 0;
  bool refuseActiveWatch = false;
  bool inhibited = false;
  std::vector<std::uint32_t> inhibitFlags;
  std::vector<std::uint64_t> idleWatches;
  std::vector<std::uint32_t> activeWatches, removed;

  std::uint32_t addIdleWatch(std::uint64_t milliseconds) override {
    idleWatches.push_back(milliseconds);
    return nextId++;
  }
  std::uint32_t addUserActiveWatch() override {
    if (refuseActiveWatch) return 0;
    activeWatches.push_back(nextId);
    return nextId++;
  }
  void removeWatch(std::uint32_t id) override { removed.push_back(id); }
  bool idleTime(std::uint64_t& milliseconds) override {
    milliseconds = idle;
    return true;
  }
  bool isInhibited(std::uint32_t flags) override {
    inhibitFlags.push_back(flags);
    return inhibited;
  }
};

}  // namespace

TEST(GnomeIdleWatches, IdleThenActiveFromTheirWatchesAndOthersIgnored) {
  FakeMutter bus;
  GnomeIdleWatches watches(bus, 300000);
  Event initial = Event::gone;
  ASSERT_TRUE(watches.start(initial));
  EXPECT_EQ(initial, Event::none);
  EXPECT_EQ(bus.idleWatches, (std::vector<std::uint64_t>{300000}));
  const std::uint32_t idleWatch = 10;
  EXPECT_EQ(watches.fired(99), Event::none);  // another client's watch
  EXPECT_TRUE(bus.activeWatches.empty());

  for (int round = 0; round < 2; ++round) {
    bus.idle = 300004;
    EXPECT_EQ(watches.fired(idleWatch), Event::idle);
    ASSERT_EQ(bus.activeWatches.size(), std::size_t(round + 1));
    bus.idle = 0;
    // The active watch fires once; a fresh one comes with the next idle.
    EXPECT_EQ(watches.fired(bus.activeWatches.back()), Event::active);
    EXPECT_EQ(watches.fired(bus.activeWatches.back()), Event::none);
  }
  watches.stop();
  EXPECT_EQ(bus.removed, (std::vector<std::uint32_t>{idleWatch}));
}

TEST(GnomeIdleWatches, AlreadyIdleAtTheStartIsIdleAndTheUserBackMeanwhileIsNot) {
  FakeMutter already;
  already.idle = 900000;
  GnomeIdleWatches watches(already, 300000);
  Event initial = Event::none;
  ASSERT_TRUE(watches.start(initial));
  EXPECT_EQ(initial, Event::idle);
  EXPECT_EQ(already.activeWatches.size(), 1u);
  watches.stop();
  EXPECT_EQ(already.removed.size(), 2u);  // both watches let go

  // The idle watch fired, but input came before the active watch stood: it would wait for the
  // next input while the user types, so this idle is not taken.
  FakeMutter back;
  GnomeIdleWatches late(back, 300000);
  ASSERT_TRUE(late.start(initial));
  back.idle = 40;
  EXPECT_EQ(late.fired(10), Event::none);
  ASSERT_EQ(back.activeWatches.size(), 1u);
  EXPECT_EQ(back.removed, (std::vector<std::uint32_t>{back.activeWatches[0]}));
}

TEST(GnomeIdleWatches, RefusedWatchesAndTheIdleInhibitor) {
  FakeMutter bus;
  bus.refuseActiveWatch = true;
  GnomeIdleWatches watches(bus, 5000);
  Event initial = Event::none;
  ASSERT_TRUE(watches.start(initial));
  bus.idle = 5000;
  // Without a watch for the user's return a run could never be followed by the next one.
  EXPECT_EQ(watches.fired(10), Event::gone);

  EXPECT_TRUE(watches.mayStart());
  bus.inhibited = true;
  EXPECT_FALSE(watches.mayStart());
  EXPECT_EQ(bus.inhibitFlags, (std::vector<std::uint32_t>{8, 8}));

  class Refusing : public FakeMutter {
    std::uint32_t addIdleWatch(std::uint64_t) override { return 0; }
  } refusing;
  GnomeIdleWatches none(refusing, 5000);
  EXPECT_FALSE(none.start(initial));
}
