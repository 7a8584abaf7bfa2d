#include "app/controls/mousethread.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

struct TRecorder : IMessageTarget {
  void Perform(uint32_t message) override {
    Messages.push_back(message);
    Threads.push_back(std::this_thread::get_id());
  }
  std::vector<uint32_t> Messages;  // only touched on the main thread
  std::vector<std::thread::id> Threads;
};

// Drains the queue until count messages arrived; bounded so a broken thread fails the test.
bool PumpUntil(TMainThreadQueue& queue, const TRecorder& target, size_t count) {
  for (int i = 0; i < 20000 && target.Messages.size() < count; ++i) {
    queue.WaitForWork(1ms);
    queue.RunPending();
  }
  return target.Messages.size() >= count;
}

}  // namespace

TEST(MouseThreadTest, RepeatsOnTheMainThreadUntilSuspended) {
  TMainThreadQueue queue;
  TRecorder target;
  TMouseThread thread(target, queue);
  EXPECT_FALSE(thread.Running());
  thread.Resume(0, 1);
  EXPECT_TRUE(thread.Running());
  ASSERT_TRUE(PumpUntil(queue, target, 3));
  for (size_t i = 0; i < target.Messages.size(); ++i) {
    EXPECT_EQ(target.Messages[i], ImageEnRepeatClick);
    EXPECT_EQ(target.Threads[i], std::this_thread::get_id());
  }
  thread.Suspend();
  EXPECT_FALSE(thread.Running());
  // Nothing reaches the control once Suspend returned, not even a repeat already queued.
  const size_t count = target.Messages.size();
  queue.RunPending();
  queue.WaitForWork(20ms);
  queue.RunPending();
  EXPECT_EQ(target.Messages.size(), count);
  // The same thread is reused by the next press.
  thread.Resume(0, 1);
  ASSERT_TRUE(PumpUntil(queue, target, count + 2));
}

TEST(MouseThreadTest, FirstRepeatWaitsForTheDelayAndSuspendInterruptsTheWait) {
  TMainThreadQueue queue;
  TRecorder target;
  TMouseThread thread(target, queue);
  thread.Resume(60000, 1);
  EXPECT_FALSE(queue.WaitForWork(30ms));
  queue.RunPending();
  EXPECT_TRUE(target.Messages.empty());
  thread.Suspend();  // returns although the thread is in the middle of its delay
  EXPECT_FALSE(thread.Running());
  // A new press restarts the delay rather than keeping the old one.
  thread.Resume(0, 60000);
  ASSERT_TRUE(PumpUntil(queue, target, 1));
}

TEST(MouseThreadTest, DestroyingWhileASendWaitsForTheMainThreadDoesNotDeadlock) {
  TMainThreadQueue queue;
  TRecorder target;
  {
    TMouseThread thread(target, queue);
    thread.Resume(0, 1);
    ASSERT_TRUE(queue.WaitForWork(20s));  // the thread now waits inside Send
  }
  queue.RunPending();
  EXPECT_TRUE(target.Messages.empty());
}

TEST(MouseThreadTest, AQueueShutDownSuspendsTheThread) {
  TMainThreadQueue queue;
  TRecorder target;
  TMouseThread thread(target, queue);
  thread.Resume(0, 1);
  ASSERT_TRUE(queue.WaitForWork(20s));
  queue.Shutdown();
  for (int i = 0; i < 20000 && thread.Running(); ++i) std::this_thread::sleep_for(1ms);
  EXPECT_FALSE(thread.Running());
  EXPECT_TRUE(target.Messages.empty());
}
