// The drawing loop's watchdog on a fake clock: quiet while armed turns come, fires once after
// the stall limit, sooner once a stop was asked for, never while disarmed.
#include "watchdog.h"

#include <gtest/gtest.h>

namespace {

std::int64_t fakeNow = 0;
bool fakeStop = false;
std::int64_t readFake() { return fakeNow; }
bool stopFake() { return fakeStop; }

TEST(Watchdog, FiresOnceWhenTheLoopStallsAndSoonerWhenAStopIsPending) {
  fakeNow = 0;
  fakeStop = false;
  int fired = 0;
  Watchdog dog({3000, 1000}, readFake, stopFake, [&] { ++fired; });
  fakeNow = 10000;
  EXPECT_FALSE(dog.check());  // not armed yet: the start-up has limits of its own
  dog.arm();
  for (int turn = 0; turn < 10; ++turn) {
    fakeNow += 2900;
    EXPECT_FALSE(dog.check());
    dog.beat();
  }
  fakeNow += 3000;
  EXPECT_TRUE(dog.check());
  EXPECT_FALSE(dog.check());
  EXPECT_EQ(fired, 1);

  dog.arm();
  fakeStop = true;
  fakeNow += 999;
  EXPECT_FALSE(dog.check());
  fakeNow += 1;
  EXPECT_TRUE(dog.check());
  EXPECT_EQ(fired, 2);

  dog.arm();
  dog.disarm();
  fakeNow += 100000;
  EXPECT_FALSE(dog.check());
  EXPECT_EQ(fired, 2);
}

TEST(Watchdog, ItsThreadLooksUntilStopped) {
  std::atomic<int> fired{0};
  fakeNow = 0;
  fakeStop = false;
  Watchdog dog({5, 5}, readFake, stopFake, [&] { ++fired; });
  dog.arm();
  fakeNow = 100;
  dog.start(1000000);  // a millisecond
  while (fired.load() == 0) std::this_thread::yield();
  dog.stop();
  EXPECT_EQ(fired.load(), 1);
}

}  // namespace
