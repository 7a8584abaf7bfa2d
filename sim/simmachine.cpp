#include "sim/simmachine.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

constexpr uint32_t MaxCores = 64;
constexpr uint64_t MaxStateFileBytes = 1ull << 30;

}  // namespace

TSimMachine::TSimMachine(const TSimMachineConfig& config)
    : Config_(config),
      Clock_(config.ClockMode),
      Memory_(config.RamBytes, config.LowRamTop),
      PmTimer_(Clock_, config.PmTimerPort, config.PmTimerBits) {
  const uint32_t cores = std::clamp<uint32_t>(config.Processor.Cores, 1, MaxCores);
  for (uint32_t index = 0; index < cores; ++index) {
    Cpus_.push_back(std::make_unique<TSimCpu>(index, Config_.Processor, Clock_));
  }
  Pci_.SetCf8ExtendedOffsets(config.Cf8ExtendedOffsets);
  Ports_.Claim(TSimPciBus::AddressPort, 4, &Pci_, "PCI address");
  Ports_.Claim(TSimPciBus::DataPort, 4, &Pci_, "PCI data");
  if (config.EcamBase != 0 && config.EcamBuses != 0) {
    Memory_.AddRegion(config.EcamBase, uint64_t{std::min<uint32_t>(config.EcamBuses, 256)} << 20,
                      &Pci_, "ECAM");
  }
  Ports_.Claim(config.PmTimerPort, 4, &PmTimer_, "PM timer");
  Cmos_ = Add(std::make_unique<TSimCmos>());
  Ports_.Claim(TSimCmos::IndexPort, 2, Cmos_, "CMOS");
}

TSimMachine::~TSimMachine() = default;

TSimCpu& TSimMachine::Cpu(uint32_t index) {
  return *Cpus_[std::min<size_t>(index, Cpus_.size() - 1)];
}

ISimDevice* TSimMachine::AddDevice(std::unique_ptr<ISimDevice> device) {
  if (device == nullptr || FindDevice(device->DeviceName()) != nullptr) return nullptr;
  Devices_.push_back(std::move(device));
  return Devices_.back().get();
}

ISimDevice* TSimMachine::FindDevice(const std::string& name) const {
  for (const auto& device : Devices_) {
    if (device->DeviceName() == name) return device.get();
  }
  return nullptr;
}

void TSimMachine::AddMsrHandler(uint32_t first, uint32_t last, ISimMsrHandler* handler) {
  for (const auto& cpu : Cpus_) cpu->SetMsrHandler(first, last, handler);
}

void TSimMachine::SaveState(TSimState& state) const {
  state.SetText("board", Config_.BoardName);
  state.SetNumber("clock.ns", Clock_.Nanoseconds());
  for (const auto& cpu : Cpus_) cpu->SaveState(state);
  Pci_.SaveState(state);
  Memory_.SaveState(state);
  for (const auto& device : Devices_) device->SaveState(state);
}

bool TSimMachine::ApplyState(const TSimState& state, std::string* error) {
  std::string board;
  if (!state.GetText("board", &board, error)) return false;
  if (board != Config_.BoardName) {
    *error =
        "the state belongs to board '" + board + "', this machine is '" + Config_.BoardName + "'";
    return false;
  }
  uint64_t now = 0;
  if (!state.GetNumber("clock.ns", &now, error)) return false;
  // The clock goes first: counters rebase on the restored time.
  Clock_.SetNanoseconds(now);
  for (const auto& cpu : Cpus_) {
    if (!cpu->LoadState(state, error)) return false;
  }
  if (!Pci_.LoadState(state, error) || !Memory_.LoadState(state, error)) return false;
  for (const auto& device : Devices_) {
    if (!device->LoadState(state, error)) return false;
  }
  const std::vector<std::string> unused = state.UnusedKeys();
  if (!unused.empty()) {
    *error = "state entry '" + unused.front() + "' does not belong to this machine";
    return false;
  }
  return true;
}

bool TSimMachine::LoadState(const TSimState& state, std::string* error) {
  TSimState before;
  SaveState(before);
  if (ApplyState(state, error)) return true;
  // Put back what was there; a state this machine wrote itself always applies.
  std::string ignored;
  ApplyState(before, &ignored);
  return false;
}

bool TSimMachine::SaveState(const std::string& path, std::string* error) const {
  TSimState state;
  SaveState(state);
  const std::string text = state.ToText();
  // Write beside the target and rename, so an interrupted save leaves the old file.
  const std::string temporary = path + ".tmp";
  {
    std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
    file.write(text.data(), static_cast<std::streamsize>(text.size()));
    if (!file.good()) {
      *error = "cannot write state file " + path;
      std::error_code ignored;
      std::filesystem::remove(temporary, ignored);
      return false;
    }
  }
  std::error_code failure;
  std::filesystem::rename(temporary, path, failure);
  if (failure) {
    *error = "cannot write state file " + path + ": " + failure.message();
    std::filesystem::remove(temporary, failure);
    return false;
  }
  return true;
}

bool TSimMachine::LoadState(const std::string& path, std::string* error) {
  std::error_code failure;
  const auto size = std::filesystem::file_size(path, failure);
  if (failure || !std::filesystem::is_regular_file(path, failure)) {
    *error = "cannot read state file " + path;
    return false;
  }
  if (size > MaxStateFileBytes) {
    *error = path + ": too large for a simulator state file";
    return false;
  }
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  if (!file.good() && !file.eof()) {
    *error = "cannot read state file " + path;
    return false;
  }
  TSimState state;
  std::string detail;
  if (!TSimState::FromText(text.str(), &state, &detail) || !LoadState(state, &detail)) {
    *error = path + ": " + detail;
    return false;
  }
  return true;
}

uint32_t TSimMachine::PortIn(uint16_t port, uint8_t width) {
  return Ports_.In(port, width);
}

void TSimMachine::PortOut(uint16_t port, uint8_t width, uint32_t value) {
  Ports_.Out(port, width, value);
}

bool TSimMachine::ReadMsr(uint32_t msr, uint64_t* value) {
  BeforeMsrAccess();
  return Cpus_[Selected_]->ReadMsr(msr, value);
}

bool TSimMachine::WriteMsr(uint32_t msr, uint64_t value) {
  BeforeMsrAccess();
  return Cpus_[Selected_]->WriteMsr(msr, value);
}

uint64_t TSimMachine::ReadTsc() {
  return Cpus_[Selected_]->ReadTsc();
}

bool TSimMachine::ReadPmc(uint32_t counter, uint64_t* value) {
  return Cpus_[Selected_]->ReadPmc(counter, value);
}

bool TSimMachine::ReadCr(uint32_t number, uint64_t* value) {
  return Cpus_[Selected_]->ReadCr(number, value);
}

bool TSimMachine::WriteCr(uint32_t number, uint64_t value) {
  return Cpus_[Selected_]->WriteCr(number, value);
}

uint32_t TSimMachine::MapPhysical(uint64_t address, uint32_t length, uint32_t* mapped) {
  return Memory_.Map(address, length, mapped);
}

uint32_t TSimMachine::UnmapPhysical(uint32_t mapped) {
  return Memory_.Unmap(mapped);
}

void TSimMachine::BusyWaitMicroseconds(uint32_t microseconds) {
  Clock_.BusyWait(microseconds);
}

uint8_t* TSimMachine::ResolveMapping(uint32_t mapped) {
  return Memory_.Resolve(mapped);
}

void TSimMachine::ExecuteCpuId(CpuRegisters& regs) {
  regs = Cpus_[Selected_]->CpuId(regs.EAX);
}

void TSimMachine::SelectCpu(uint32_t index) {
  if (index < Cpus_.size()) Selected_ = index;
}
