// The main thread's work queue. Every window object lives on the main thread; other threads (the
// held-button repeat threads) hand work to it through this queue, and the shell's loop drains it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <thread>

// What a worker thread needs of the main thread: run a piece of work there and wait for it.
class IMainThread {
 public:
  virtual ~IMainThread() = default;
  // Runs fn on the main thread and returns once it ran (true). Returns false without running fn
  // when the main thread no longer takes work or when stop is requested before fn started, so a
  // worker can always be released at exit. Called on the main thread itself, fn runs at once.
  virtual bool Send(std::function<void()> fn, std::stop_token stop) = 0;
  bool Send(std::function<void()> fn) { return Send(std::move(fn), std::stop_token()); }
};

class TMainThreadQueue : public IMainThread {
 public:
  // The constructing thread is the main thread.
  TMainThreadQueue();
  ~TMainThreadQueue() override;
  TMainThreadQueue(const TMainThreadQueue&) = delete;
  TMainThreadQueue& operator=(const TMainThreadQueue&) = delete;

  using IMainThread::Send;
  bool Send(std::function<void()> fn, std::stop_token stop) override;
  // Queues fn without waiting; false (dropped) once shut down.
  bool Post(std::function<void()> fn);

  // Main thread: runs the work queued before the call, oldest first, and returns how many ran.
  // Work queued while it runs waits for the next call, so work that re-posts itself cannot
  // starve the caller's loop.
  size_t RunPending();
  // Main thread: blocks until work is queued, the queue is shut down or the timeout passed;
  // true when work is pending.
  bool WaitForWork(std::chrono::milliseconds timeout);
  // Stops taking work: queued work is dropped and waiting senders return false.
  void Shutdown();
  bool IsShutDown() const;
  // Called (on the posting thread, outside the queue's lock) after work was queued, so a shell
  // whose loop blocks elsewhere can wake itself. Set before other threads start sending.
  void SetWakeHandler(std::function<void()> wake);

  bool OnMainThread() const { return std::this_thread::get_id() == MainThread_; }

 private:
  struct TSendState {
    bool Started = false;
    bool Finished = false;
    bool Cancelled = false;
  };
  struct TItem {
    std::function<void()> Fn;
    std::shared_ptr<TSendState> Sync;  // null for posted work
    std::stop_token Stop;
  };

  void Enqueued();

  const std::thread::id MainThread_;
  mutable std::mutex Mutex_;
  std::condition_variable_any Changed_;
  std::deque<TItem> Items_;
  bool ShutDown_ = false;
  std::function<void()> Wake_;
};
