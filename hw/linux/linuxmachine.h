// The machine for root on Linux: the driver's operations through the kernel's device files
// (/dev/port, /dev/cpu/N/msr and cpuid, /dev/mem) and sysfs (PCI configuration, firmware tables).
// What the kernel does not offer degrades per feature with a message instead of failing the whole:
// without /dev/mem (or on a UEFI machine) the BIOS area is rebuilt from the exported firmware
// tables; without a PM timer one is derived from CLOCK_MONOTONIC.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "hw/inprocessmachine.h"
#include "hw/linux/firmwareimage.h"
#include "hw/linux/physmem.h"
#include "hw/linux/sysfiles.h"
#include "hw/linux/sysfspci.h"

// Where reads of the BIOS area (0xE0000-0xFFFFF) come from.
enum class TBiosAreaSource {
  Auto,     // /dev/mem when it shows an RSDP and a "_SM_" entry point there, else Rebuilt
  Memory,   // /dev/mem only
  Rebuilt,  // the tables from /sys/firmware, laid out in memory
};

struct TLinuxMachineOptions {
  // The root under which /sys, /proc and /dev are found; tests point it at a captured tree.
  std::string SysRoot = "/";
  // Load the msr module when /dev/cpu/N/msr is missing, with this command.
  bool AllowModprobe = true;
  std::vector<std::string> ModprobeMsr = {"modprobe", "msr"};
  // SelectCpu pins the calling thread, so that the instructions run on the selected processor.
  bool PinThread = true;
  TBiosAreaSource BiosArea = TBiosAreaSource::Auto;
  // Nanoseconds of a monotonic clock; empty: CLOCK_MONOTONIC.
  std::function<uint64_t()> MonotonicNanoseconds;
};

class TLinuxMachine final : public IInProcessMachine {
 public:
  ~TLinuxMachine() override = default;
  TLinuxMachine(const TLinuxMachine&) = delete;
  TLinuxMachine& operator=(const TLinuxMachine&) = delete;

  uint32_t PortIn(uint16_t port, uint8_t width) override;
  void PortOut(uint16_t port, uint8_t width, uint32_t value) override;
  uint32_t PciConfigRead(uint32_t address, uint8_t lane, uint8_t width) override;
  void PciConfigWrite(uint32_t address, uint8_t lane, uint8_t width, uint32_t value) override;
  bool ReadMsr(uint32_t msr, uint64_t* value) override;
  bool WriteMsr(uint32_t msr, uint64_t value) override;
  uint64_t ReadTsc() override;
  bool ReadPmc(uint32_t counter, uint64_t* value) override;
  bool ReadCr(uint32_t number, uint64_t* value) override;
  bool WriteCr(uint32_t number, uint64_t value) override;
  uint32_t MapPhysical(uint64_t address, uint32_t length, uint32_t* mapped) override;
  uint32_t UnmapPhysical(uint32_t mapped) override;
  void BusyWaitMicroseconds(uint32_t microseconds) override;
  uint32_t ReadPmTimer(uint16_t port) override;

  uint8_t* ResolveMapping(uint32_t mapped) override;
  void ExecuteCpuId(CpuRegisters& regs) override;
  void SelectCpu(uint32_t index) override;
  uint32_t CpuCount() override;

  // The message of the most recent failure.
  const std::string& LastError() const { return LastError_; }
  // Features that work in a reduced way, and why; set when the machine is opened.
  const std::vector<std::string>& Notes() const { return Notes_; }
  // Present PCI functions of domain 0000 as sysfs lists them (bus << 8 | device << 3 | function),
  // in bus order.
  std::vector<uint32_t> ListSysfsPciFunctions();
  bool BiosAreaRebuilt() const { return BiosAreaRebuilt_; }
  // Where the rebuilt tables lie (its Regions are handed to the memory map, so empty).
  const TFirmwareLayout& FirmwareLayout() const { return Layout_; }
  bool PmTimerSynthesised() const { return !PmTimerFromPort_; }
  // The Linux number of the selected processor.
  uint32_t SelectedCpuNumber() const { return Cpus_[Selected_]; }

 private:
  friend std::unique_ptr<TLinuxMachine> OpenLinuxMachine(const TLinuxMachineOptions& options,
                                                         std::string* error);
  struct TCpuFile {
    TFd Fd;
    bool Writable = false;
    std::string Problem;  // why Fd is empty
  };

  explicit TLinuxMachine(const TLinuxMachineOptions& options);
  bool Open(std::string* error);
  void OpenCpus();
  void OpenPhysicalMemory();
  void OpenFirmware();
  void OpenRdpmc();
  TCpuFile* CpuFile(std::map<uint32_t, TCpuFile>& files, const std::string& name);
  std::string RunModprobe();
  bool PmcExists(uint32_t counter);
  uint64_t Now() const;
  bool WidePortsByInstruction() const;

  TLinuxMachineOptions Options_;
  TFd Port_;
  bool PortWritable_ = false;
  bool PortIsDevice_ = false;
  TSysfsPci Pci_;
  TPhysicalMemory Memory_;
  TFirmwareLayout Layout_;
  bool BiosAreaRebuilt_ = false;
  std::vector<uint32_t> Cpus_{0};
  uint32_t Selected_ = 0;
  std::map<uint32_t, TCpuFile> MsrFiles_;
  std::map<uint32_t, TCpuFile> CpuidFiles_;
  bool ModprobeTried_ = false;
  std::string ModprobeResult_;
  TPmTimerInfo PmTimer_;
  bool PmTimerFromPort_ = false;
  bool RdpmcAllowed_ = false;
  std::string RdpmcProblem_;
  std::string LastError_;
  std::vector<std::string> Notes_;
};

// Opens the machine; null with a message when /dev/port cannot be opened.
std::unique_ptr<TLinuxMachine> OpenLinuxMachine(const TLinuxMachineOptions& options,
                                                std::string* error);

// The same list as TLinuxMachine::ListSysfsPciFunctions, without opening a machine.
std::vector<uint32_t> ListSysfsPciFunctions(const std::string& sysRoot, std::string* error);
