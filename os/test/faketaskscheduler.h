// In-memory double of the task scheduler: a task folder tree that a test presets and inspects,
// steps that can be made to fail, and a call log.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "os/taskscheduler.h"

// The scheduler's tasks; every connection the double hands out works on the same store.
struct TFakeTaskStore {
  struct TTask {
    TTaskDefinition Definition;
    int CreationFlags = 0;
    int LogonType = 0;
  };

  // --- set by the test ---
  bool ConnectWorks = true;
  bool DeleteWorks = true;  // false: deleting an existing task fails
  bool RegisterWorks = true;

  // --- checked by the test (and settable as the starting state) ---
  std::map<std::string, TTask> Tasks;  // by folder + name, e.g. "\KorvanZEM"
  std::vector<std::string> Calls;      // "connect", "delete \KorvanZEM", "register \KorvanZEM"
  int Connections = 0;                 // connections handed out and not released yet
};

class TFakeTaskScheduler : public IOsTaskScheduler {
 public:
  explicit TFakeTaskScheduler(TFakeTaskStore& store);
  ~TFakeTaskScheduler() override;
  TFakeTaskScheduler(const TFakeTaskScheduler&) = delete;
  TFakeTaskScheduler& operator=(const TFakeTaskScheduler&) = delete;

  bool Connect() override;
  bool DeleteTask(const std::string& folder, const std::string& name) override;
  bool RegisterTask(const std::string& folder, const std::string& name,
                    const TTaskDefinition& definition, int creationFlags, int logonType) override;

 private:
  TFakeTaskStore& Store_;
  bool Connected_ = false;
};
