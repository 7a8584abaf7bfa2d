#include "app/controls/eventqueue.h"

#include <utility>

TMainThreadQueue::TMainThreadQueue() : MainThread_(std::this_thread::get_id()) {}

TMainThreadQueue::~TMainThreadQueue() {
  Shutdown();
}

bool TMainThreadQueue::Send(std::function<void()> fn, std::stop_token stop) {
  if (OnMainThread()) {
    // Waiting for ourselves would never end: run in place, as the framework's synchronise does.
    if (IsShutDown() || stop.stop_requested()) return false;
    fn();
    return true;
  }
  auto sync = std::make_shared<TSendState>();
  {
    std::lock_guard lock(Mutex_);
    if (ShutDown_ || stop.stop_requested()) return false;
    Items_.push_back(TItem{std::move(fn), sync, stop});
  }
  Enqueued();
  std::unique_lock lock(Mutex_);
  Changed_.wait(lock, stop, [&] { return sync->Finished || sync->Cancelled; });
  if (!sync->Finished && !sync->Cancelled) {
    // Stop was requested. Work that has not started is withdrawn; work already running on the
    // main thread cannot be, so wait for it to end.
    if (!sync->Started) {
      sync->Cancelled = true;
      return false;
    }
    Changed_.wait(lock, [&] { return sync->Finished; });
  }
  return sync->Finished;
}

bool TMainThreadQueue::Post(std::function<void()> fn) {
  {
    std::lock_guard lock(Mutex_);
    if (ShutDown_) return false;
    Items_.push_back(TItem{std::move(fn), nullptr, {}});
  }
  Enqueued();
  return true;
}

void TMainThreadQueue::Enqueued() {
  Changed_.notify_all();
  std::function<void()> wake;
  {
    std::lock_guard lock(Mutex_);
    wake = Wake_;
  }
  if (wake) wake();
}

size_t TMainThreadQueue::RunPending() {
  size_t queued;
  {
    std::lock_guard lock(Mutex_);
    queued = Items_.size();
  }
  size_t ran = 0;
  for (size_t i = 0; i < queued; ++i) {
    TItem item;
    {
      std::lock_guard lock(Mutex_);
      if (ShutDown_ || Items_.empty()) break;
      item = std::move(Items_.front());
      Items_.pop_front();
      if (item.Sync) {
        // A stop requested on this thread must hold even before the waiting sender woke.
        if (item.Stop.stop_requested()) item.Sync->Cancelled = true;
        if (item.Sync->Cancelled) {
          Changed_.notify_all();
          continue;
        }
        item.Sync->Started = true;
      }
    }
    item.Fn();
    ++ran;
    if (item.Sync) {
      {
        std::lock_guard lock(Mutex_);
        item.Sync->Finished = true;
      }
      Changed_.notify_all();
    }
  }
  return ran;
}

bool TMainThreadQueue::WaitForWork(std::chrono::milliseconds timeout) {
  std::unique_lock lock(Mutex_);
  Changed_.wait_for(lock, timeout, [&] { return !Items_.empty() || ShutDown_; });
  return !Items_.empty() && !ShutDown_;
}

void TMainThreadQueue::Shutdown() {
  {
    std::lock_guard lock(Mutex_);
    if (ShutDown_) return;
    ShutDown_ = true;
    for (TItem& item : Items_) {
      if (item.Sync) item.Sync->Cancelled = true;
    }
    Items_.clear();
  }
  Changed_.notify_all();
}

bool TMainThreadQueue::IsShutDown() const {
  std::lock_guard lock(Mutex_);
  return ShutDown_;
}

void TMainThreadQueue::SetWakeHandler(std::function<void()> wake) {
  std::lock_guard lock(Mutex_);
  Wake_ = std::move(wake);
}
