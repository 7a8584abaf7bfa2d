#include "sim/simsystem.h"

#include "sim/simmachine.h"

namespace {

class TSimSystem : public IOsSystem {
 public:
  TSimSystem(TSimMachine& machine, std::unique_ptr<IOsSystem> host)
      : Host_(std::move(host)), Processors_(machine.CpuCount()) {
    // The mask is 32 bits wide, as the program's is: processors beyond 32 cannot be pinned.
    AllMask_ = Processors_ >= 32 ? 0xFFFFFFFFu : (1u << Processors_) - 1;
    Affinity_ = AllMask_;
  }

  bool GetVersionInfo(TOsVersionInfo& info) override { return Host_->GetVersionInfo(info); }
  bool GetNativeSystemInfo(TOsSystemInfo& info) override {
    if (!Host_->GetNativeSystemInfo(info)) return false;
    Processors(info);
    return true;
  }
  void GetSystemInfo(TOsSystemInfo& info) override {
    Host_->GetSystemInfo(info);
    Processors(info);
  }
  bool HasIsWow64Process() override { return Host_->HasIsWow64Process(); }
  bool IsWow64Process() override { return Host_->IsWow64Process(); }
  int GetSystemMetric(int index) override { return Host_->GetSystemMetric(index); }

  bool SetProcessAffinityMask(uint32_t mask) override {
    if (mask == 0 || (mask & ~AllMask_) != 0) return false;
    Affinity_ = mask;
    return true;
  }
  uint32_t GetProcessAffinityMask() override { return Affinity_; }

 private:
  void Processors(TOsSystemInfo& info) const {
    info.NumberOfProcessors = Processors_;
    info.ActiveProcessorMask = AllMask_;
  }

  std::unique_ptr<IOsSystem> Host_;
  uint32_t Processors_;
  uint32_t AllMask_;
  uint32_t Affinity_;
};

}  // namespace

std::unique_ptr<IOsSystem> CreateSimSystem(TSimMachine& machine, std::unique_ptr<IOsSystem> host) {
  return std::make_unique<TSimSystem>(machine, std::move(host));
}
