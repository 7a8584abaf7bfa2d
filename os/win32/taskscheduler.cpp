// The logon task on Windows: Task Scheduler 2.0 through COM (ITaskService). The object keeps the
// connected service for its lifetime; each step releases what it created, whatever its result.
#include "os/taskscheduler.h"

#include <windows.h>
// After windows.h.
#include <oleauto.h>
#include <taskschd.h>

#include "os/win32/wide.h"

namespace {

// The scheduler's class, spelled here so the program needs no import library for one GUID.
constexpr CLSID kTaskSchedulerClass = {
    0x0f87369f, 0xa4e5, 0x4cfc, {0xbd, 0x3e, 0x73, 0xe6, 0x15, 0x45, 0x72, 0xdd}};

// An owned COM interface pointer: released when it goes.
template <typename TInterface>
class TComRef {
 public:
  TComRef() = default;
  ~TComRef() { Reset(); }
  TComRef(const TComRef&) = delete;
  TComRef& operator=(const TComRef&) = delete;

  TInterface* operator->() const { return Pointer_; }
  TInterface* Get() const { return Pointer_; }
  TInterface** Out() {
    Reset();
    return &Pointer_;
  }
  void Reset() {
    if (Pointer_ != nullptr) Pointer_->Release();
    Pointer_ = nullptr;
  }

 private:
  TInterface* Pointer_ = nullptr;
};

// An owned BSTR.
class TBstr {
 public:
  explicit TBstr(const std::string& text) : Text_(::SysAllocString(WideFromUtf8(text).c_str())) {}
  ~TBstr() { ::SysFreeString(Text_); }
  TBstr(const TBstr&) = delete;
  TBstr& operator=(const TBstr&) = delete;
  operator BSTR() const { return Text_; }
  bool Valid() const { return Text_ != nullptr; }

 private:
  BSTR Text_;
};

VARIANT EmptyVariant() {
  VARIANT value;
  ::VariantInit(&value);
  return value;
}

VARIANT_BOOL VariantBool(bool value) {
  return value ? VARIANT_TRUE : VARIANT_FALSE;
}

class TWin32TaskScheduler : public IOsTaskScheduler {
 public:
  ~TWin32TaskScheduler() override {
    Service_.Reset();
    if (ComInitialized_) ::CoUninitialize();
  }

  bool Connect() override {
    Service_.Reset();
    if (!ComInitialized_) {
      const HRESULT init = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
      // A thread already in the other apartment model can still make the calls; only a
      // successful initialisation is ours to undo.
      if (FAILED(init) && init != RPC_E_CHANGED_MODE) return false;
      ComInitialized_ = SUCCEEDED(init);
    }
    // Process-wide and possible only once: a second registration in the same run finds the
    // security set by the first (RPC_E_TOO_LATE) and goes on with it.
    const HRESULT security =
        ::CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_PKT_PRIVACY,
                               RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
    if (FAILED(security) && security != RPC_E_TOO_LATE) return false;
    if (FAILED(::CoCreateInstance(kTaskSchedulerClass, nullptr, CLSCTX_INPROC_SERVER,
                                  __uuidof(ITaskService),
                                  reinterpret_cast<void**>(Service_.Out())))) {
      return false;
    }
    // Local machine, current user: all four arguments empty.
    if (FAILED(Service_->Connect(EmptyVariant(), EmptyVariant(), EmptyVariant(), EmptyVariant()))) {
      Service_.Reset();
      return false;
    }
    return true;
  }

  bool DeleteTask(const std::string& folderPath, const std::string& name) override {
    TComRef<ITaskFolder> folder;
    if (!OpenFolder(folderPath, folder)) return false;
    const TBstr taskName(name);
    return taskName.Valid() && SUCCEEDED(folder->DeleteTask(taskName, 0));
  }

  bool RegisterTask(const std::string& folderPath, const std::string& name,
                    const TTaskDefinition& definition, int creationFlags, int logonType) override {
    TComRef<ITaskFolder> folder;
    if (!OpenFolder(folderPath, folder)) return false;
    TComRef<ITaskDefinition> task;
    if (FAILED(Service_->NewTask(0, task.Out())) || !Describe(*task.Get(), definition)) {
      return false;
    }
    const TBstr taskName(name);
    if (!taskName.Valid()) return false;
    TComRef<IRegisteredTask> registered;
    return SUCCEEDED(folder->RegisterTaskDefinition(
        taskName, task.Get(), creationFlags, EmptyVariant(), EmptyVariant(),
        static_cast<TASK_LOGON_TYPE>(logonType), EmptyVariant(), registered.Out()));
  }

 private:
  bool OpenFolder(const std::string& path, TComRef<ITaskFolder>& folder) {
    if (Service_.Get() == nullptr) return false;
    const TBstr folderPath(path);
    return folderPath.Valid() && SUCCEEDED(Service_->GetFolder(folderPath, folder.Out()));
  }

  // Fills a new task definition; false at the first part the service refuses.
  static bool Describe(ITaskDefinition& task, const TTaskDefinition& definition) {
    TComRef<IRegistrationInfo> info;
    if (FAILED(task.get_RegistrationInfo(info.Out()))) return false;
    const TBstr author(definition.Author);
    if (!author.Valid() || FAILED(info->put_Author(author))) return false;

    TComRef<IPrincipal> principal;
    if (FAILED(task.get_Principal(principal.Out())) ||
        FAILED(principal->put_RunLevel(static_cast<TASK_RUNLEVEL_TYPE>(definition.RunLevel)))) {
      return false;
    }

    TComRef<ITaskSettings> settings;
    if (FAILED(task.get_Settings(settings.Out())) ||
        FAILED(settings->put_StartWhenAvailable(VariantBool(definition.StartWhenAvailable))) ||
        FAILED(settings->put_DisallowStartIfOnBatteries(
            VariantBool(definition.DisallowStartIfOnBatteries)))) {
      return false;
    }
    // Empty texts mean "never" and "no limit".
    const TBstr expiry(definition.DeleteExpiredTaskAfter);
    const TBstr limit(definition.ExecutionTimeLimit);
    if (!expiry.Valid() || !limit.Valid() || FAILED(settings->put_DeleteExpiredTaskAfter(expiry)) ||
        FAILED(settings->put_ExecutionTimeLimit(limit))) {
      return false;
    }

    TComRef<ITriggerCollection> triggers;
    TComRef<ITrigger> trigger;
    if (FAILED(task.get_Triggers(triggers.Out())) ||
        FAILED(triggers->Create(static_cast<TASK_TRIGGER_TYPE2>(definition.TriggerType),
                                trigger.Out())) ||
        FAILED(trigger->put_Enabled(VariantBool(definition.TriggerEnabled)))) {
      return false;
    }

    TComRef<IActionCollection> actions;
    TComRef<IAction> action;
    TComRef<IExecAction> exec;
    if (FAILED(task.get_Actions(actions.Out())) ||
        FAILED(
            actions->Create(static_cast<TASK_ACTION_TYPE>(definition.ActionType), action.Out())) ||
        FAILED(
            action->QueryInterface(__uuidof(IExecAction), reinterpret_cast<void**>(exec.Out())))) {
      return false;
    }
    const TBstr program(definition.ProgramPath);
    return program.Valid() && SUCCEEDED(exec->put_Path(program));
  }

  TComRef<ITaskService> Service_;
  bool ComInitialized_ = false;
};

}  // namespace

std::unique_ptr<IOsTaskScheduler> OsCreateTaskScheduler() {
  return std::make_unique<TWin32TaskScheduler>();
}
