// The platform's locks, conditions, one-time initialisation and threads.
#include "charset/threads.h"

#include <gtest/gtest.h>

#include <vector>

TEST(Threads, LockedCountsAddUpOnceRunsUntilItSucceedsAndConditionsWake) {
  CLock lock;
  CCondition condition;
  CRunOnce once;
  long counted = 0;
  int runs = 0;
  auto init = [](void *context) { return ++*static_cast<int *>(context) == 2; };
  EXPECT_FALSE(once.Run(init, &runs));  // failed: the next caller runs it again
  std::vector<CThread> threads(4);
  for (CThread &t : threads)
    ASSERT_TRUE(t.Start([&] {
      EXPECT_TRUE(once.Run(init, &runs));
      for (int i = 0; i < 10000; ++i) {
        CLockHold hold(lock);
        if (++counted == 40000) condition.WakeAll();
      }
    }));
  CLockHold hold(lock);
  for (int slices = 0; counted < 40000 && slices < 100; ++slices) condition.Wait(hold, 100);
  EXPECT_EQ(counted, 40000);
  EXPECT_EQ(runs, 2);
  EXPECT_FALSE(condition.Wait(hold, 10));  // no one wakes it: the time-out
}
