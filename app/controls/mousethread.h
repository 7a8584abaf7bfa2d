// The thread behind a held button: while running it delivers the repeat-click message to its
// control on the main thread, first after the delay before repeat, then once per repeat interval.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <stop_token>
#include <thread>

#include "app/controls/eventqueue.h"

// The private message the thread sends to its control (WM_APP + 0x190).
constexpr uint32_t ImageEnRepeatClick = 0x8190;

// A control that takes messages on the main thread.
class IMessageTarget {
 public:
  virtual ~IMessageTarget() = default;
  virtual void Perform(uint32_t message) = 0;
};

class TMouseThread {
 public:
  // Created suspended; the thread itself starts with the first Resume.
  TMouseThread(IMessageTarget& owner, IMainThread& mainThread);
  // Terminates the thread and joins it; a repeat it was waiting to deliver is withdrawn.
  ~TMouseThread();
  TMouseThread(const TMouseThread&) = delete;
  TMouseThread& operator=(const TMouseThread&) = delete;

  // Starts repeating: the first message after delayBeforeRepeatMs, then every repeatRateMs
  // (at least 1 ms, so a zero rate cannot flood the main thread). Ignored while running.
  void Resume(int delayBeforeRepeatMs, int repeatRateMs);
  // Stops repeating without waiting for the thread: a message not yet delivered is withdrawn,
  // so nothing reaches the control after Suspend returns.
  void Suspend();
  bool Running() const;

 private:
  enum class TState { Suspended, Running, Terminated };
  void Loop();
  // Waits up to timeout; false when the run that began at generation ended meanwhile.
  bool WaitWhileRunning(std::unique_lock<std::mutex>& lock, std::chrono::milliseconds timeout,
                        uint64_t generation);
  void StopDelivery();

  IMessageTarget& Owner_;
  IMainThread& Main_;
  mutable std::mutex Mutex_;
  std::condition_variable Wake_;
  TState State_ = TState::Suspended;
  uint64_t Generation_ = 0;  // counts resumes: a suspend-resume pair during a wait restarts it
  std::chrono::milliseconds Delay_{0};
  std::chrono::milliseconds Rate_{1};
  std::stop_source Delivery_;  // stopped on suspend and terminate, renewed on resume
  std::thread Thread_;
};
