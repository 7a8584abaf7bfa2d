// The logon task as the system's task service shows it after the program's calls.
#include "os/taskscheduler.h"

#include <windows.h>
// After windows.h.
#include <oleauto.h>
#include <taskschd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <initializer_list>
#include <string>

namespace {

constexpr const char* kTaskName = "KorvanZEM";
constexpr const char* kProgram = "C:\\Program Files\\KorZem\\KorZem.exe";
constexpr CLSID kTaskSchedulerClass = {
    0x0f87369f, 0xa4e5, 0x4cfc, {0xbd, 0x3e, 0x73, 0xe6, 0x15, 0x45, 0x72, 0xdd}};

TTaskDefinition LogonTask() {
  TTaskDefinition definition;
  definition.Author = "Author Name";
  definition.RunLevel = kTaskRunLevelHighest;
  definition.StartWhenAvailable = true;
  definition.DisallowStartIfOnBatteries = false;
  definition.TriggerType = kTaskTriggerLogon;
  definition.ActionType = kTaskActionExec;
  definition.ProgramPath = kProgram;
  return definition;
}

// The connected task service, or null.
ITaskService* Service() {
  ITaskService* service = nullptr;
  if (FAILED(::CoCreateInstance(kTaskSchedulerClass, nullptr, CLSCTX_INPROC_SERVER,
                                __uuidof(ITaskService), reinterpret_cast<void**>(&service)))) {
    return nullptr;
  }
  VARIANT empty;
  ::VariantInit(&empty);
  if (FAILED(service->Connect(empty, empty, empty, empty))) {
    service->Release();
    return nullptr;
  }
  return service;
}

// What the task service holds under the name, read through its own interfaces.
struct TSeenTask {
  bool Exists = false;
  std::wstring Xml;
};

TSeenTask SeeTask(const wchar_t* name) {
  TSeenTask seen;
  ITaskService* service = Service();
  if (service == nullptr) {
    ADD_FAILURE() << "no task service";
    return seen;
  }
  ITaskFolder* folder = nullptr;
  BSTR root = ::SysAllocString(L"\\");
  BSTR taskName = ::SysAllocString(name);
  IRegisteredTask* task = nullptr;
  if (SUCCEEDED(service->GetFolder(root, &folder)) && SUCCEEDED(folder->GetTask(taskName, &task))) {
    seen.Exists = true;
    BSTR xml = nullptr;
    if (SUCCEEDED(task->get_Xml(&xml)) && xml != nullptr) seen.Xml = xml;
    ::SysFreeString(xml);
    task->Release();
  }
  if (folder != nullptr) folder->Release();
  ::SysFreeString(root);
  ::SysFreeString(taskName);
  service->Release();
  return seen;
}

class Win32TaskScheduler : public ::testing::Test {
 protected:
  void SetUp() override { ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
  void TearDown() override { ::CoUninitialize(); }
};

TEST_F(Win32TaskScheduler, NothingWorksBeforeConnect) {
  auto scheduler = OsCreateTaskScheduler();
  EXPECT_FALSE(scheduler->DeleteTask("\\", kTaskName));
  EXPECT_FALSE(scheduler->RegisterTask("\\", kTaskName, LogonTask(), kTaskCreateOrUpdate,
                                       kTaskLogonInteractiveToken));
}

// Whether the service can express the logon task at all: Wine's (8.0) answers E_NOTIMPL to
// IPrincipal::put_RunLevel and to ITriggerCollection::Create for every trigger type.
bool ServiceTakesLogonTasks() {
  ITaskService* service = Service();
  bool takes = false;
  ITaskDefinition* task = nullptr;
  if (service != nullptr && SUCCEEDED(service->NewTask(0, &task))) {
    IPrincipal* principal = nullptr;
    ITriggerCollection* triggers = nullptr;
    ITrigger* trigger = nullptr;
    takes = SUCCEEDED(task->get_Principal(&principal)) &&
            SUCCEEDED(principal->put_RunLevel(TASK_RUNLEVEL_HIGHEST)) &&
            SUCCEEDED(task->get_Triggers(&triggers)) &&
            SUCCEEDED(triggers->Create(TASK_TRIGGER_LOGON, &trigger));
    if (trigger != nullptr) trigger->Release();
    if (triggers != nullptr) triggers->Release();
    if (principal != nullptr) principal->Release();
    task->Release();
  }
  if (service != nullptr) service->Release();
  return takes;
}

// Registers a task of that name as another copy of the program might have: one program action.
bool RegisterForeignTask(const wchar_t* name) {
  ITaskService* service = Service();
  if (service == nullptr) return false;
  bool registered = false;
  ITaskFolder* folder = nullptr;
  ITaskDefinition* task = nullptr;
  IActionCollection* actions = nullptr;
  IAction* action = nullptr;
  IExecAction* exec = nullptr;
  IRegisteredTask* result = nullptr;
  BSTR root = ::SysAllocString(L"\\");
  BSTR taskName = ::SysAllocString(name);
  BSTR path = ::SysAllocString(L"C:\\Other\\KorZem.exe");
  VARIANT empty;
  ::VariantInit(&empty);
  if (SUCCEEDED(service->GetFolder(root, &folder)) && SUCCEEDED(service->NewTask(0, &task)) &&
      SUCCEEDED(task->get_Actions(&actions)) &&
      SUCCEEDED(actions->Create(TASK_ACTION_EXEC, &action)) &&
      SUCCEEDED(action->QueryInterface(__uuidof(IExecAction), reinterpret_cast<void**>(&exec))) &&
      SUCCEEDED(exec->put_Path(path))) {
    registered = SUCCEEDED(
        folder->RegisterTaskDefinition(taskName, task, TASK_CREATE_OR_UPDATE, empty, empty,
                                       TASK_LOGON_INTERACTIVE_TOKEN, empty, &result));
  }
  for (IUnknown* object :
       std::initializer_list<IUnknown*>{result, exec, action, actions, task, folder, service}) {
    if (object != nullptr) object->Release();
  }
  ::SysFreeString(root);
  ::SysFreeString(taskName);
  ::SysFreeString(path);
  return registered;
}

TEST_F(Win32TaskScheduler, TheLogonTaskIsRegisteredWhereTheServiceCanExpressIt) {
  const bool takesLogonTasks = ServiceTakesLogonTasks();
  auto scheduler = OsCreateTaskScheduler();
  ASSERT_TRUE(scheduler->Connect());
  const bool registered = scheduler->RegisterTask("\\", kTaskName, LogonTask(), kTaskCreateOrUpdate,
                                                  kTaskLogonInteractiveToken);
  if (!takesLogonTasks) {
    // The refusal is a result, and nothing half made is left registered.
    EXPECT_FALSE(registered);
    EXPECT_FALSE(SeeTask(L"KorvanZEM").Exists);
    std::printf("The task service cannot express a logon task; checked the clean refusal.\n");
    return;
  }
  ASSERT_TRUE(registered);
  const TSeenTask seen = SeeTask(L"KorvanZEM");
  ASSERT_TRUE(seen.Exists);
  EXPECT_NE(seen.Xml.find(L"LogonTrigger"), std::wstring::npos);
  EXPECT_NE(seen.Xml.find(L"C:\\Program Files\\KorZem\\KorZem.exe"), std::wstring::npos);
  EXPECT_NE(seen.Xml.find(L"Author Name"), std::wstring::npos);
  EXPECT_NE(seen.Xml.find(L"HighestAvailable"), std::wstring::npos);
  // Registering again replaces it (create or update).
  EXPECT_TRUE(scheduler->RegisterTask("\\", kTaskName, LogonTask(), kTaskCreateOrUpdate,
                                      kTaskLogonInteractiveToken));
  EXPECT_TRUE(scheduler->DeleteTask("\\", kTaskName));
}

TEST_F(Win32TaskScheduler, DeleteRemovesTheTaskWhoeverRegisteredIt) {
  ASSERT_TRUE(RegisterForeignTask(L"KorvanZEM"));
  ASSERT_TRUE(SeeTask(L"KorvanZEM").Exists);
  auto scheduler = OsCreateTaskScheduler();
  ASSERT_TRUE(scheduler->Connect());
  EXPECT_TRUE(scheduler->DeleteTask("\\", kTaskName));
  EXPECT_FALSE(SeeTask(L"KorvanZEM").Exists);
  EXPECT_FALSE(scheduler->DeleteTask("\\", kTaskName));
}

TEST_F(Win32TaskScheduler, ASecondConnectionInTheSameProcessWorks) {
  // COM security can be set once per process; the second scheduler finds it set.
  auto first = OsCreateTaskScheduler();
  ASSERT_TRUE(first->Connect());
  auto second = OsCreateTaskScheduler();
  EXPECT_TRUE(second->Connect());
  EXPECT_FALSE(second->DeleteTask("\\", "KorZemNoSuchTask"));
  EXPECT_FALSE(second->DeleteTask("\\KorZemNoSuchFolder", kTaskName));
}

}  // namespace
