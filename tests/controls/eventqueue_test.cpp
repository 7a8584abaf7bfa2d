#include "app/controls/eventqueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

// Waits (bounded, so a fault fails instead of hanging) until the queue holds work.
void AwaitWork(TMainThreadQueue& queue) {
  ASSERT_TRUE(queue.WaitForWork(20s));
}

}  // namespace

TEST(MainThreadQueueTest, SendRunsOnTheMainThreadAndReturnsAfterIt) {
  TMainThreadQueue queue;
  std::thread::id ranOn;
  int value = 0;  // written on the main thread, read by the worker after Send returned
  int seenByWorker = -1;
  bool sent = false;
  std::thread worker([&] {
    sent = queue.Send([&] {
      ranOn = std::this_thread::get_id();
      value = 42;
    });
    seenByWorker = value;
  });
  AwaitWork(queue);
  EXPECT_EQ(queue.RunPending(), 1u);
  worker.join();
  EXPECT_TRUE(sent);
  EXPECT_EQ(ranOn, std::this_thread::get_id());
  EXPECT_EQ(seenByWorker, 42);
  // On the main thread itself Send runs at once instead of waiting for itself.
  bool inline_ran = false;
  EXPECT_TRUE(queue.Send([&] { inline_ran = true; }));
  EXPECT_TRUE(inline_ran);
}

TEST(MainThreadQueueTest, PostedWorkRunsInOrderAndWorkAddedMeanwhileWaits) {
  TMainThreadQueue queue;
  int wakes = 0;
  queue.SetWakeHandler([&] { ++wakes; });
  std::vector<int> order;
  queue.Post([&] { order.push_back(1); });
  queue.Post([&] {
    order.push_back(2);
    queue.Post([&] { order.push_back(3); });
  });
  EXPECT_EQ(wakes, 2);
  EXPECT_EQ(queue.RunPending(), 2u);
  EXPECT_EQ(order, (std::vector<int>{1, 2}));
  EXPECT_EQ(queue.RunPending(), 1u);
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(queue.RunPending(), 0u);
}

TEST(MainThreadQueueTest, ShutdownReleasesAWaitingSenderWithoutRunningItsWork) {
  TMainThreadQueue queue;
  std::atomic<bool> ran = false;
  std::atomic<int> result = -1;
  std::thread worker([&] { result = queue.Send([&] { ran = true; }) ? 1 : 0; });
  AwaitWork(queue);
  queue.Shutdown();
  worker.join();
  EXPECT_EQ(result, 0);
  EXPECT_EQ(queue.RunPending(), 0u);
  EXPECT_FALSE(ran);
  EXPECT_FALSE(queue.Post([] {}));
  std::thread late([&] { result = queue.Send([&] { ran = true; }) ? 1 : 0; });
  late.join();
  EXPECT_EQ(result, 0);
  EXPECT_FALSE(ran);
}

TEST(MainThreadQueueTest, StopRequestedOnTheMainThreadWithdrawsWorkNotYetRun) {
  TMainThreadQueue queue;
  std::stop_source stop;
  std::atomic<bool> ran = false;
  std::atomic<int> result = -1;
  std::thread worker([&] { result = queue.Send([&] { ran = true; }, stop.get_token()) ? 1 : 0; });
  AwaitWork(queue);
  // The sender may not have woken yet: the main thread must still not run the withdrawn work.
  stop.request_stop();
  queue.RunPending();
  worker.join();
  EXPECT_FALSE(ran);
  EXPECT_EQ(result, 0);
  // Queue keeps working for others.
  bool other = false;
  queue.Post([&] { other = true; });
  queue.RunPending();
  EXPECT_TRUE(other);
}
