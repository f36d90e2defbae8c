#include "WorkerThread.h"

#include <gtest/gtest.h>

#include <vector>

namespace {
// Fills a buffer front to back, publishing each filled slot, until told to stop or full.
struct Filler {
  std::vector<uint32_t> slots = std::vector<uint32_t>(200000);
  uint32_t stopAt = 0xFFFFFFFFu;

  static void Work(WorkerThread& thread, void* context) {
    Filler& filler = *static_cast<Filler*>(context);
    for (uint32_t i = 0; i < filler.slots.size() && i < filler.stopAt && !thread.StopRequested(); ++i) {
      filler.slots[i] = i * 2654435761u;
      thread.Publish(i + 1);
    }
  }
};
}  // namespace

TEST(WorkerThread, TheCallerSeesEveryPublishedByteAndAWaitPastTheEndReturnsWhenTheWorkEnds) {
  Filler filler;
  WorkerThread thread;
  ASSERT_TRUE(thread.Start(Filler::Work, &filler));
  for (uint32_t target : {1u, 1000u, 99999u, 200000u}) {
    thread.WaitFor(target);
    uint32_t reached = thread.Reached();
    ASSERT_GE(reached, target);
    for (uint32_t i = reached > 5000 ? reached - 5000 : 0; i < reached; ++i)
      ASSERT_EQ(filler.slots[i], i * 2654435761u) << i;
  }
  // Nothing will ever reach this point: the wait ends with the work instead of hanging.
  thread.WaitFor(300000);
  EXPECT_EQ(thread.Reached(), 200000u);
  thread.Stop();
  EXPECT_FALSE(thread.Started());

  // Work that gives up early (a damaged stream) ends the wait short of its target.
  Filler shortFiller;
  shortFiller.stopAt = 777;
  ASSERT_TRUE(thread.Start(Filler::Work, &shortFiller));
  thread.WaitFor(200000);
  EXPECT_EQ(thread.Reached(), 777u);
}

TEST(WorkerThread, StopEndsWorkThatIsStillRunningAndTheThreadCanBeStartedAgain) {
  struct Endless {
    static void Work(WorkerThread& thread, void*) {
      for (uint32_t i = 1; !thread.StopRequested(); ++i) thread.Publish(i);
    }
  };
  WorkerThread thread;
  ASSERT_TRUE(thread.Start(Endless::Work, nullptr));
  thread.WaitFor(10);
  thread.Stop();
  EXPECT_FALSE(thread.Started());
  EXPECT_GE(thread.Reached(), 10u);

  Filler filler;
  ASSERT_TRUE(thread.Start(Filler::Work, &filler));
  EXPECT_TRUE(thread.Started());
  thread.WaitFor(200000);
  EXPECT_EQ(thread.Reached(), 200000u);
  // Stop twice, and the destructor after it, do nothing more.
  thread.Stop();
  thread.Stop();
}
