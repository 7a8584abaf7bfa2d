#include "os/test/faketaskscheduler.h"

namespace {

std::string TaskPath(const std::string& folder, const std::string& name) {
  return folder.ends_with('\\') ? folder + name : folder + "\\" + name;
}

}  // namespace

TFakeTaskScheduler::TFakeTaskScheduler(TFakeTaskStore& store) : Store_(store) {}

TFakeTaskScheduler::~TFakeTaskScheduler() {
  if (Connected_) --Store_.Connections;
}

bool TFakeTaskScheduler::Connect() {
  Store_.Calls.push_back("connect");
  if (!Store_.ConnectWorks) return false;
  if (!Connected_) ++Store_.Connections;
  Connected_ = true;
  return true;
}

bool TFakeTaskScheduler::DeleteTask(const std::string& folder, const std::string& name) {
  const std::string path = TaskPath(folder, name);
  Store_.Calls.push_back("delete " + path);
  if (!Connected_ || !Store_.DeleteWorks) return false;
  return Store_.Tasks.erase(path) == 1;
}

bool TFakeTaskScheduler::RegisterTask(const std::string& folder, const std::string& name,
                                      const TTaskDefinition& definition, int creationFlags,
                                      int logonType) {
  const std::string path = TaskPath(folder, name);
  Store_.Calls.push_back("register " + path);
  if (!Connected_ || !Store_.RegisterWorks) return false;
  // TASK_CREATE (2) alone refuses to replace; TASK_UPDATE (4) alone refuses to create.
  const bool exists = Store_.Tasks.contains(path);
  if ((exists && !(creationFlags & 4)) || (!exists && !(creationFlags & 2))) return false;
  Store_.Tasks[path] = TFakeTaskStore::TTask{definition, creationFlags, logonType};
  return true;
}
