// Test doubles for the register-access service: a driver link backed by maps of ports, PCI
// functions, physical memory and processor registers that answers the control codes the way the
// driver does and logs every call; a direct machine for the 9x route over the same state; and a
// rig that builds a TReadWrite on them through the fake driver service.
#pragma once

#include <gtest/gtest.h>
#include <algorithm>

#include <array>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/trace.h"
#include "hw/driver/machine.h"
#include "hw/driverlink.h"
#include "hw/readwrite.h"
#include "os/test/fakedriverservice.h"

namespace rwtest {

inline uint16_t Bdf(uint8_t bus, uint8_t device, uint8_t function) {
  return static_cast<uint16_t>(bus << 8 | device << 3 | function);
}

struct TPortOp {
  bool Write;
  uint16_t Port;
  uint8_t Width;
  uint32_t Value;
  bool operator==(const TPortOp&) const = default;
};

struct TMapOp {
  uint32_t Address;
  uint32_t Length;
  bool operator==(const TMapOp&) const = default;
};

// The hardware behind the link.
class TFakeHardware {
 public:
  // --- ports: plain registers, plus one index/data pair and the 0xCF8/0xCFC configuration ports
  std::map<uint16_t, uint32_t> Ports;
  uint16_t IndexPort = 0x2E;
  uint16_t DataPort = 0x2F;
  std::array<uint8_t, 256> IndexedRegs{};
  std::vector<TPortOp> PortLog;

  // --- PCI configuration space of the present functions; absent ones read all ones
  std::map<uint16_t, std::array<uint8_t, 4096>> Pci;
  // --- physical memory: sparse RAM in the listed ranges, and the memory-mapped configuration
  // window at EcamBase when set
  std::map<uint32_t, uint8_t> Memory;
  std::vector<std::pair<uint32_t, uint32_t>> Ram;  // [start, end)
  uint32_t EcamBase = 0;
  bool HasEcam = false;
  std::vector<TMapOp> MapLog;
  std::vector<uint32_t> UnmapLog;  // mapped values given back
  bool UnmapWorks = true;
  bool ResolveWorks = true;

  // --- processor
  std::map<uint32_t, uint64_t> Msrs;  // missing: the access faults
  std::map<uint32_t, uint64_t> Crs;
  std::map<uint32_t, uint64_t> Pmcs;
  bool TscWorks = true;
  uint64_t Tsc = 0;
  std::map<uint32_t, CpuRegisters> CpuIdLeaves;
  std::vector<uint32_t> AffinityMasks;

  // Adds a function with its id (device << 16 | vendor), revision/class dword and header type.
  void AddFunction(uint8_t bus, uint8_t device, uint8_t function, uint32_t id,
                   uint32_t revisionClass, uint8_t headerType = 0) {
    auto& space = Pci[Bdf(bus, device, function)];
    space.fill(0);
    Put(space, 0, id);
    Put(space, 8, revisionClass);
    space[0x0E] = headerType;
  }
  void PutConfig(uint16_t bdf, uint16_t offset, uint32_t value) { Put(Pci.at(bdf), offset, value); }
  uint32_t ConfigDword(uint16_t bdf, uint16_t offset) const {
    uint32_t value;
    std::memcpy(&value, Pci.at(bdf).data() + offset, 4);
    return value;
  }

  uint32_t ConfigRead(uint16_t bdf, uint16_t offset, uint8_t width) const {
    const auto space = Pci.find(bdf);
    uint32_t value = 0;
    for (uint8_t i = 0; i < width; ++i) {
      const uint32_t byte = space == Pci.end() ? 0xFF : space->second[(offset + i) & 0xFFF];
      value |= byte << (8 * i);
    }
    return value;
  }
  void ConfigWrite(uint16_t bdf, uint16_t offset, uint8_t width, uint32_t value) {
    const auto space = Pci.find(bdf);
    if (space == Pci.end()) return;
    for (uint8_t i = 0; i < width; ++i)
      space->second[(offset + i) & 0xFFF] = static_cast<uint8_t>(value >> (8 * i));
  }

  uint32_t PortRead(uint16_t port, uint8_t width) {
    uint32_t value;
    if (port == DataPort) {
      value = IndexedRegs[Selected_];
    } else if (port >= 0xCFC && port <= 0xCFF && (Cf8_ & 0x80000000u)) {
      value = ConfigRead(Cf8Bdf(), Cf8Offset(port), width);
    } else {
      const auto it = Ports.find(port);
      value = it == Ports.end() ? 0xFFFFFFFF : it->second;
    }
    if (width < 4) value &= (1u << (8 * width)) - 1;
    PortLog.push_back({false, port, width, value});
    return value;
  }
  void PortWrite(uint16_t port, uint8_t width, uint32_t value) {
    PortLog.push_back({true, port, width, value});
    if (port == IndexPort) {
      Selected_ = static_cast<uint8_t>(value);
    } else if (port == DataPort) {
      IndexedRegs[Selected_] = static_cast<uint8_t>(value);
    } else if (port == 0xCF8 && width == 4) {
      Cf8_ = value;
    } else if (port >= 0xCFC && port <= 0xCFF && (Cf8_ & 0x80000000u)) {
      ConfigWrite(Cf8Bdf(), Cf8Offset(port), width, value);
    } else {
      Ports[port] = value;
    }
  }

  bool Mappable(uint32_t address, uint32_t length) const {
    const uint64_t end = uint64_t{address} + length;
    if (HasEcam && address >= EcamBase && end <= uint64_t{EcamBase} + 0x10000000) return true;
    for (const auto& [from, to] : Ram)
      if (address >= from && end <= to) return true;
    return false;
  }
  uint8_t PhysRead(uint32_t address) const {
    if (HasEcam && address >= EcamBase && address - EcamBase < 0x10000000) {
      const uint32_t at = address - EcamBase;
      const auto bdf = static_cast<uint16_t>(at >> 12);
      return static_cast<uint8_t>(ConfigRead(bdf, at & 0xFFF, 1));
    }
    const auto it = Memory.find(address);
    return it == Memory.end() ? 0 : it->second;
  }
  void PhysWrite(uint32_t address, uint8_t value) {
    if (HasEcam && address >= EcamBase && address - EcamBase < 0x10000000) {
      const uint32_t at = address - EcamBase;
      ConfigWrite(static_cast<uint16_t>(at >> 12), at & 0xFFF, 1, value);
      return;
    }
    Memory[address] = value;
  }
  void PutMemory(uint32_t address, std::string_view bytes) {
    for (size_t i = 0; i < bytes.size(); ++i)
      Memory[address + static_cast<uint32_t>(i)] = static_cast<uint8_t>(bytes[i]);
  }

  // A mapping: a copy of the range, written back when it is given back.
  uint32_t Map(uint32_t address, uint32_t length) {
    MapLog.push_back({address, length});
    if (!Mappable(address, length)) return 0;
    const uint32_t handle = NextHandle_++;
    TMapped& mapped = Mappings_[handle];
    mapped.Address = address;
    mapped.Bytes.resize(length);
    for (uint32_t i = 0; i < length; ++i) mapped.Bytes[i] = PhysRead(address + i);
    return handle;
  }
  bool Unmap(uint32_t handle) {
    UnmapLog.push_back(handle);
    const auto it = Mappings_.find(handle);
    if (!UnmapWorks || it == Mappings_.end()) return false;
    for (size_t i = 0; i < it->second.Bytes.size(); ++i) {
      const uint32_t address = it->second.Address + static_cast<uint32_t>(i);
      if (PhysRead(address) != it->second.Bytes[i]) PhysWrite(address, it->second.Bytes[i]);
    }
    Mappings_.erase(it);
    return true;
  }
  uint8_t* Resolve(uint32_t handle) {
    const auto it = Mappings_.find(handle);
    return ResolveWorks && it != Mappings_.end() ? it->second.Bytes.data() : nullptr;
  }
  size_t OpenMappings() const { return Mappings_.size(); }

 private:
  struct TMapped {
    uint32_t Address = 0;
    std::vector<uint8_t> Bytes;
  };
  static void Put(std::array<uint8_t, 4096>& space, uint16_t offset, uint32_t value) {
    std::memcpy(space.data() + offset, &value, 4);
  }
  uint16_t Cf8Bdf() const { return static_cast<uint16_t>((Cf8_ >> 8) & 0xFFFF); }
  uint16_t Cf8Offset(uint16_t port) const {
    return static_cast<uint16_t>(((Cf8_ >> 16) & 0xF00) | (Cf8_ & 0xFC) | (port & 3));
  }

  uint8_t Selected_ = 0;
  uint32_t Cf8_ = 0;
  std::map<uint32_t, TMapped> Mappings_;
  uint32_t NextHandle_ = 0x100;  // handles, never the physical address
};

// The 9x route: the program's own IN/OUT. Configuration cycles take the default path through
// 0xCF8/0xCFC, so the tests see the port sequence itself.
class TFakeDirectMachine : public IZemMachine {
 public:
  explicit TFakeDirectMachine(TFakeHardware& hw) : Hw_(hw) {}
  virtual ~TFakeDirectMachine() = default;
  uint32_t PortIn(uint16_t port, uint8_t width) override { return Hw_.PortRead(port, width); }
  void PortOut(uint16_t port, uint8_t width, uint32_t value) override {
    Hw_.PortWrite(port, width, value);
  }
  // Everything else belongs to the driver on every route.
  bool ReadMsr(uint32_t, uint64_t*) override { return Unexpected(); }
  bool WriteMsr(uint32_t, uint64_t) override { return Unexpected(); }
  uint64_t ReadTsc() override { return Unexpected(); }
  bool ReadPmc(uint32_t, uint64_t*) override { return Unexpected(); }
  bool ReadCr(uint32_t, uint64_t*) override { return Unexpected(); }
  bool WriteCr(uint32_t, uint64_t) override { return Unexpected(); }
  uint32_t MapPhysical(uint64_t, uint32_t, uint32_t*) override { return Unexpected(); }
  uint32_t UnmapPhysical(uint32_t) override { return Unexpected(); }
  void BusyWaitMicroseconds(uint32_t) override { Unexpected(); }

 private:
  bool Unexpected() {
    ADD_FAILURE() << "the direct machine only serves ports and configuration cycles";
    return false;
  }
  TFakeHardware& Hw_;
};

// The driver: answers the control codes with buffered semantics and logs each code.
class TFakeDriverLink : public IDriverLink {
 public:
  explicit TFakeDriverLink(TFakeHardware& hw) : Hw_(hw), Direct_(hw) {}

  std::vector<uint32_t> Codes;
  std::vector<uint32_t> InSizes;
  bool OfferDirect = true;
  std::vector<uint32_t> Refused;  // codes the driver completes with a failure status

  bool Control(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
               uint32_t* returned) override {
    Codes.push_back(code);
    InSizes.push_back(inSize);
    if (std::find(Refused.begin(), Refused.end(), code) != Refused.end()) {
      if (returned) *returned = 0;
      return false;
    }
    std::vector<uint8_t> buffer(std::max<uint32_t>(std::max(inSize, outSize), 32), 0);
    if (in && inSize) std::memcpy(buffer.data(), in, inSize);
    uint32_t answered = 0;
    const bool ok = Dispatch(code, inSize, buffer.data(), &answered);
    const uint32_t copied = std::min(answered, outSize);
    if (ok && out && copied) std::memcpy(out, buffer.data(), copied);
    if (returned) *returned = ok ? copied : 0;
    return ok;
  }
  uint8_t* ResolveMapping(uint32_t mapped) override { return Hw_.Resolve(mapped); }
  void ExecuteCpuId(CpuRegisters& regs) override {
    const auto it = Hw_.CpuIdLeaves.find(regs.EAX);
    regs = it == Hw_.CpuIdLeaves.end() ? CpuRegisters{} : it->second;
  }
  IZemMachine* DirectMachine() override { return OfferDirect ? &Direct_ : nullptr; }
  bool SetAffinityMask(uint32_t mask) override {
    Hw_.AffinityMasks.push_back(mask);
    return true;
  }

  size_t Count(uint32_t code) const {
    size_t n = 0;
    for (uint32_t c : Codes) n += c == code;
    return n;
  }

 private:
  template <typename T>
  static T& As(uint8_t* buffer) {
    return *reinterpret_cast<T*>(buffer);
  }

  bool Dispatch(uint32_t code, uint32_t inSize, uint8_t* buffer, uint32_t* answered) {
    switch (code) {
      case CTL_READ_IO_BYTE:
      case CTL_READ_IO_WORD:
      case CTL_READ_IO_DWORD: {
        auto& request = As<IoRequest>(buffer);
        request.Value = Hw_.PortRead(static_cast<uint16_t>(request.Port), IoWidth(code));
        *answered = 8;
        return true;
      }
      case CTL_WRITE_IO_BYTE:
      case CTL_WRITE_IO_WORD:
      case CTL_WRITE_IO_DWORD: {
        auto& request = As<IoRequest>(buffer);
        const uint8_t width = IoWidth(code);
        const uint32_t mask = width == 4 ? 0xFFFFFFFFu : (1u << (8 * width)) - 1;
        Hw_.PortWrite(static_cast<uint16_t>(request.Port), width, request.Value & mask);
        return true;
      }
      case CTL_READ_PCI_BYTE:
      case CTL_READ_PCI_WORD:
      case CTL_READ_PCI_DWORD: {
        auto& request = As<PciRequest>(buffer);
        LastPci = request;
        request.Value = Hw_.ConfigRead(Bdf(request.Bus, request.Device, request.Function),
                                       request.Offset, PciWidth(code));
        *answered = 12;
        return true;
      }
      case CTL_WRITE_PCI_BYTE:
      case CTL_WRITE_PCI_WORD:
      case CTL_WRITE_PCI_DWORD: {
        auto& request = As<PciRequest>(buffer);
        LastPci = request;
        Hw_.ConfigWrite(Bdf(request.Bus, request.Device, request.Function), request.Offset,
                        PciWidth(code), request.Value);
        return true;
      }
      case CTL_MAP_MEMORY: {
        if (inSize == 4) {  // the 9x form: address in, mapping out, one page
          uint32_t& record = As<uint32_t>(buffer);
          record = Hw_.Map(record, 4096);
          *answered = 4;
          return record != 0;
        }
        auto& request = As<MapRequest>(buffer);
        request.Mapped = Hw_.Map(request.AddressLow, request.Length);
        *answered = 16;
        return request.Mapped != 0;
      }
      case CTL_UNMAP_MEMORY:
        return inSize >= 4 && Hw_.Unmap(As<uint32_t>(buffer));
      case CTL_READ_MSR: {
        auto& regs = As<CpuRegisters>(buffer);
        const auto it = Hw_.Msrs.find(regs.ECX);
        if (it == Hw_.Msrs.end()) return false;
        regs.EAX = static_cast<uint32_t>(it->second);
        regs.EDX = static_cast<uint32_t>(it->second >> 32);
        *answered = 16;
        return true;
      }
      case CTL_WRITE_MSR: {
        auto& regs = As<CpuRegisters>(buffer);
        if (!Hw_.Msrs.count(regs.ECX)) return false;
        Hw_.Msrs[regs.ECX] = uint64_t{regs.EDX} << 32 | regs.EAX;
        return true;
      }
      case CTL_READ_TSC:
        if (!Hw_.TscWorks) return false;
        std::memcpy(buffer, &Hw_.Tsc, 8);
        *answered = 8;
        return true;
      case CTL_READ_PMC:
      case CTL_READ_CR: {
        auto& request = As<CrRequest>(buffer);
        auto& table = code == CTL_READ_CR ? Hw_.Crs : Hw_.Pmcs;
        const auto it = table.find(request.Number);
        if (it == table.end()) return false;
        request.Value = it->second;
        *answered = 16;
        return true;
      }
      case CTL_WRITE_CR: {
        auto& request = As<CrRequest>(buffer);
        if (!Hw_.Crs.count(request.Number)) return false;
        Hw_.Crs[request.Number] = request.Value;
        return true;
      }
      case CTL_MEASURE_CLOCK:
      case CTL_MEASURE_CLOCK_AMD: {
        auto& request = As<ClockRequest>(buffer);
        request.CountHigh = 0;
        request.CountLow = code == CTL_MEASURE_CLOCK ? 2400000 : 2600000;
        request.Microseconds = 2864;
        *answered = 32;
        return true;
      }
      default:
        return false;
    }
  }
  static uint8_t IoWidth(uint32_t code) {
    return code <= CTL_WRITE_IO_BYTE ? 1 : code <= CTL_WRITE_IO_WORD ? 2 : 4;
  }
  static uint8_t PciWidth(uint32_t code) {
    return code <= CTL_WRITE_PCI_BYTE ? 1 : code <= CTL_WRITE_PCI_WORD ? 2 : 4;
  }

  TFakeHardware& Hw_;
  TFakeDirectMachine Direct_;

 public:
  PciRequest LastPci{};
};

// The open device hands out the link the test holds.
class TBorrowedLink : public IDriverLink {
 public:
  explicit TBorrowedLink(IDriverLink& link) : Link_(link) {}
  bool Control(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
               uint32_t* returned) override {
    return Link_.Control(code, in, inSize, out, outSize, returned);
  }
  uint8_t* ResolveMapping(uint32_t mapped) override { return Link_.ResolveMapping(mapped); }
  void ExecuteCpuId(CpuRegisters& regs) override { Link_.ExecuteCpuId(regs); }
  IZemMachine* DirectMachine() override { return Link_.DirectMachine(); }
  bool SetAffinityMask(uint32_t mask) override { return Link_.SetAffinityMask(mask); }

 private:
  IDriverLink& Link_;
};

// The process-affinity part of the system services.
class TAffinitySystem : public IOsSystem {
 public:
  std::vector<uint32_t> Masks;
  bool GetVersionInfo(TOsVersionInfo&) override { return false; }
  bool GetNativeSystemInfo(TOsSystemInfo&) override { return false; }
  void GetSystemInfo(TOsSystemInfo&) override {}
  bool HasIsWow64Process() override { return false; }
  bool IsWow64Process() override { return false; }
  int GetSystemMetric(int) override { return 0; }
  bool SetProcessAffinityMask(uint32_t mask) override {
    Masks.push_back(mask);
    return true;
  }
  uint32_t GetProcessAffinityMask() override { return Masks.empty() ? 1 : Masks.back(); }
};

// Collects the register-access debug lines; Probe, when set, is asked for a snapshot of the
// hardware's state as each line is written (to tell a line before an access from one after it).
class TRwLines : public ITraceTap {
 public:
  TRwLines() { SetTraceTap(this); }
  ~TRwLines() override { SetTraceTap(nullptr); }
  TRwLines(const TRwLines&) = delete;
  TRwLines& operator=(const TRwLines&) = delete;

  std::vector<std::string> Lines;
  std::vector<size_t> Snapshots;
  std::function<size_t()> Probe;

  void OnTraceLine(std::string_view) override {}
  void OnRwDebugLine(std::string_view text) override {
    Lines.emplace_back(text);
    Snapshots.push_back(Probe ? Probe() : 0);
  }
  bool Has(std::string_view line) const {
    for (const auto& l : Lines)
      if (l == line) return true;
    return false;
  }
  void Clear() {
    Lines.clear();
    Snapshots.clear();
  }
};

// A TReadWrite on fake hardware, its driver already loaded.
struct TRig {
  explicit TRig(int osKind = 4, uint32_t pcieBase = kNoPcieBase, uint32_t processors = 1)
      : Link(Hw) {
    Service.DriverLoaded = true;
    Service.MakeDevice = [this] { return std::make_unique<TBorrowedLink>(Link); };
    Settings.OsKind = osKind;
    Settings.NumberOfProcessors = processors;
    Settings.DetectPCIEBase = false;
    Settings.PCIEBaseAddress = pcieBase;
  }
  TReadWrite& Build() {
    Rw = std::make_unique<TReadWrite>(Service, System, Settings, &ConfigPcieBase);
    Lines.Clear();
    Link.Codes.clear();
    Link.InSizes.clear();
    Hw.PortLog.clear();
    Hw.MapLog.clear();
    Hw.UnmapLog.clear();
    return *Rw;
  }

  TRwLines Lines;
  TFakeHardware Hw;
  TFakeDriverLink Link;
  TFakeDriverService Service;
  TAffinitySystem System;
  TReadWriteSettings Settings;
  uint32_t ConfigPcieBase = 0x12345678;  // the configuration's copy; detection overwrites it
  std::unique_ptr<TReadWrite> Rw;
};

}  // namespace rwtest
