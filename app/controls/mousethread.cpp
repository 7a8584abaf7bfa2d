#include "app/controls/mousethread.h"

#include <algorithm>

TMouseThread::TMouseThread(IMessageTarget& owner, IMainThread& mainThread)
    : Owner_(owner), Main_(mainThread) {}

TMouseThread::~TMouseThread() {
  {
    std::lock_guard lock(Mutex_);
    State_ = TState::Terminated;
    StopDelivery();
  }
  Wake_.notify_all();
  if (Thread_.joinable()) Thread_.join();
}

void TMouseThread::Resume(int delayBeforeRepeatMs, int repeatRateMs) {
  {
    std::lock_guard lock(Mutex_);
    if (State_ != TState::Suspended) return;
    Delay_ = std::chrono::milliseconds(std::max(delayBeforeRepeatMs, 0));
    Rate_ = std::chrono::milliseconds(std::max(repeatRateMs, 1));
    State_ = TState::Running;
    ++Generation_;
    Delivery_ = std::stop_source();
    if (!Thread_.joinable()) Thread_ = std::thread([this] { Loop(); });
  }
  Wake_.notify_all();
}

void TMouseThread::Suspend() {
  {
    std::lock_guard lock(Mutex_);
    if (State_ != TState::Running) return;
    State_ = TState::Suspended;
    StopDelivery();
  }
  Wake_.notify_all();
}

bool TMouseThread::Running() const {
  std::lock_guard lock(Mutex_);
  return State_ == TState::Running;
}

void TMouseThread::StopDelivery() {
  Delivery_.request_stop();
}

bool TMouseThread::WaitWhileRunning(std::unique_lock<std::mutex>& lock,
                                    std::chrono::milliseconds timeout, uint64_t generation) {
  const bool ended = Wake_.wait_for(
      lock, timeout, [&] { return State_ != TState::Running || Generation_ != generation; });
  return !ended;
}

void TMouseThread::Loop() {
  std::unique_lock lock(Mutex_);
  for (;;) {
    Wake_.wait(lock, [&] { return State_ != TState::Suspended; });
    if (State_ == TState::Terminated) return;
    const uint64_t generation = Generation_;
    if (!WaitWhileRunning(lock, Delay_, generation)) continue;
    for (;;) {
      const std::stop_token delivery = Delivery_.get_token();
      lock.unlock();
      const bool delivered = Main_.Send([this] { Owner_.Perform(ImageEnRepeatClick); }, delivery);
      lock.lock();
      if (State_ != TState::Running || Generation_ != generation) break;
      if (!delivered) {
        // The main thread takes no more work (shutting down): stop rather than retry forever.
        State_ = TState::Suspended;
        break;
      }
      if (!WaitWhileRunning(lock, Rate_, generation)) break;
    }
  }
}
