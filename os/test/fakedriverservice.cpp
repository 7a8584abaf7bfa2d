#include "os/test/fakedriverservice.h"

namespace {

const char* KindName(TDriverImageKind kind) {
  switch (kind) {
    case TDriverImageKind::Vxd:
      return "Vxd";
    case TDriverImageKind::X86:
      return "X86";
    case TDriverImageKind::Ia64:
      return "Ia64";
    case TDriverImageKind::X64:
      return "X64";
  }
  return "?";
}

const char* StatusName(TServiceStatus status) {
  switch (status) {
    case TServiceStatus::Ok:
      return "ok";
    case TServiceStatus::ServiceExists:
      return "service exists";
    case TServiceStatus::ServiceAlreadyRunning:
      return "service already running";
    case TServiceStatus::Failed:
      return "failed";
  }
  return "?";
}

// The open device: forwards to the link the test made and logs its close.
class TFakeDevice : public IDriverLink {
 public:
  TFakeDevice(std::unique_ptr<IDriverLink> inner, std::shared_ptr<TFakeDriverService*> owner)
      : Inner_(std::move(inner)), Owner_(std::move(owner)) {}
  ~TFakeDevice() override {
    if (TFakeDriverService* owner = *Owner_) {
      owner->Calls.push_back("CloseDevice");
      --owner->OpenDevices;
    }
  }

  bool Control(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
               uint32_t* returned) override {
    return Inner_->Control(code, in, inSize, out, outSize, returned);
  }
  uint8_t* ResolveMapping(uint32_t mapped) override { return Inner_->ResolveMapping(mapped); }
  void ExecuteCpuId(CpuRegisters& regs) override { Inner_->ExecuteCpuId(regs); }
  IZemMachine* DirectMachine() override { return Inner_->DirectMachine(); }
  bool SetAffinityMask(uint32_t mask) override { return Inner_->SetAffinityMask(mask); }

 private:
  std::unique_ptr<IDriverLink> Inner_;
  std::shared_ptr<TFakeDriverService*> Owner_;
};

}  // namespace

bool TNullDriverLink::Control(uint32_t, const void*, uint32_t, void*, uint32_t,
                              uint32_t* returned) {
  if (returned) *returned = 0;
  return false;
}

TFakeDriverService::TFakeDriverService() : Self_(std::make_shared<TFakeDriverService*>(this)) {
  for (TDriverImageKind kind : {TDriverImageKind::Vxd, TDriverImageKind::X86,
                                TDriverImageKind::Ia64, TDriverImageKind::X64}) {
    Images[kind] = std::string("fake ") + KindName(kind) + " driver image";
  }
}

TFakeDriverService::~TFakeDriverService() {
  *Self_ = nullptr;
}

std::string_view TFakeDriverService::DriverImage(TDriverImageKind kind) {
  const auto image = Images.find(kind);
  return image == Images.end() ? std::string_view() : std::string_view(image->second);
}

TImageWriteResult TFakeDriverService::WriteImageFile(const std::string& path,
                                                     std::string_view bytes) {
  Calls.push_back("WriteImageFile " + path + " (" + std::to_string(bytes.size()) + " bytes)");
  switch (WriteResult) {
    case TImageWriteResult::Ok:
      Files[path] = std::string(bytes);
      break;
    case TImageWriteResult::ShortWrite:
      Files[path] = std::string(bytes.substr(0, bytes.size() / 2));
      break;
    case TImageWriteResult::CannotCreate:
      break;
  }
  return WriteResult;
}

bool TFakeDriverService::RemoveImageFile(const std::string& path) {
  Calls.push_back("RemoveImageFile " + path);
  return Files.erase(path) > 0;
}

TScHandle TFakeDriverService::OpenServiceManager() {
  Calls.push_back("OpenServiceManager");
  return ManagerOpens ? NewHandle("") : kNoScHandle;
}

TScHandle TFakeDriverService::CreateDriverService(TScHandle manager, const std::string& name,
                                                  const std::string& displayName,
                                                  const std::string& imagePath,
                                                  TServiceStatus* status) {
  Calls.push_back("CreateDriverService " + name + " " + displayName + " " + imagePath);
  if (!Handles_.count(manager) || !ServiceName(manager).empty()) {
    *status = TServiceStatus::Failed;
  } else if (Services.count(name)) {
    *status = TServiceStatus::ServiceExists;
  } else {
    *status = CreateFailure;
  }
  if (*status != TServiceStatus::Ok) {
    Calls.back() += std::string(" -> ") + StatusName(*status);
    return kNoScHandle;
  }
  Services[name] = TService{displayName, imagePath, false};
  return NewHandle(name);
}

TScHandle TFakeDriverService::OpenDriverService(TScHandle manager, const std::string& name,
                                                TServiceStatus* status) {
  Calls.push_back("OpenDriverService " + name);
  if (!Handles_.count(manager) || !ServiceName(manager).empty() || !Services.count(name)) {
    *status = TServiceStatus::Failed;
  } else {
    *status = OpenFailure;
  }
  if (*status != TServiceStatus::Ok) {
    Calls.back() += std::string(" -> ") + StatusName(*status);
    return kNoScHandle;
  }
  return NewHandle(name);
}

bool TFakeDriverService::StartDriverService(TScHandle handle) {
  const std::string name = ServiceName(handle);
  Calls.push_back("StartDriverService " + name);
  const auto service = Services.find(name);
  if (service == Services.end() || service->second.Running) return false;
  service->second.Running = true;
  // The system loads the driver from the image path given at creation.
  if (StartLoadsDriver && Files.count(service->second.ImagePath)) DriverLoaded = true;
  return true;
}

bool TFakeDriverService::StopDriverService(TScHandle handle) {
  const std::string name = ServiceName(handle);
  Calls.push_back("StopDriverService " + name);
  const auto service = Services.find(name);
  if (service == Services.end() || !service->second.Running) return false;
  service->second.Running = false;
  DriverLoaded = false;
  return true;
}

bool TFakeDriverService::DeleteDriverService(TScHandle handle) {
  const std::string name = ServiceName(handle);
  Calls.push_back("DeleteDriverService " + name);
  return Services.erase(name) > 0;
}

void TFakeDriverService::CloseScHandle(TScHandle handle) {
  Calls.push_back("CloseScHandle " + HandleText(handle));
  if (Handles_.erase(handle) > 0) --OpenScHandles;
}

std::unique_ptr<IDriverLink> TFakeDriverService::OpenDevice(const std::string& path,
                                                            TDeviceOpenMode mode) {
  const bool nt = mode == TDeviceOpenMode::ReadWrite;
  Calls.push_back("OpenDevice " + path + (nt ? " ReadWrite" : " DeleteOnClose"));
  static const std::string kPrefix = "\\\\.\\";
  bool present = false;
  if (path.compare(0, kPrefix.size(), kPrefix) == 0) {
    // The NT device exists while the driver is loaded; the 9x device is loaded from its file.
    present = nt ? DriverLoaded : Files.count(path.substr(kPrefix.size())) > 0;
  }
  if (!present || !DeviceOpens) {
    Calls.back() += " -> failed";
    return nullptr;
  }
  std::unique_ptr<IDriverLink> inner =
      MakeDevice ? MakeDevice() : std::make_unique<TNullDriverLink>();
  ++OpenDevices;
  return std::make_unique<TFakeDevice>(std::move(inner), Self_);
}

void TFakeDriverService::ErrorMessageBox(const std::string& text) {
  Calls.push_back("ErrorMessageBox");
  MessageBoxes.push_back(text);
}

TScHandle TFakeDriverService::NewHandle(const std::string& service) {
  const TScHandle handle = NextHandle_++;
  Handles_[handle] = service;
  ++OpenScHandles;
  return handle;
}

std::string TFakeDriverService::ServiceName(TScHandle handle) const {
  const auto entry = Handles_.find(handle);
  return entry == Handles_.end() ? std::string() : entry->second;
}

std::string TFakeDriverService::HandleText(TScHandle handle) const {
  const auto entry = Handles_.find(handle);
  if (entry == Handles_.end()) return "unknown";
  return entry->second.empty() ? "manager" : entry->second;
}
