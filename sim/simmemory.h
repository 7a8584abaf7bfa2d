// The physical address space: RAM kept as sparse 4 KiB pages allocated on first write, plus
// memory-mapped device regions (the ECAM window and later device models) that take precedence over
// RAM. Addresses that nothing backs read all ones and drop writes, like a master abort.
//
// RAM pages never written read all ones, except in the first MiB (real-mode memory, option ROM
// and BIOS area 0xE0000-0xFFFFF) which reads zeros until written: firmware tables are laid there.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "sim/simdevice.h"

class TSimMemory {
 public:
  static constexpr uint64_t PageSize = 4096;
  static constexpr uint64_t LowMemoryTop = 0x100000;
  static constexpr uint64_t BiosAreaBase = 0xE0000;
  static constexpr uint64_t FourGiB = 0x100000000ull;
  // The largest single mapping; the program maps 256-byte windows.
  static constexpr uint32_t MaxMappingLength = 16u << 20;

  // ramBytes of RAM: up to lowRamTop below 4 GiB (the rest of the space below 4 GiB belongs to
  // devices), the remainder from 4 GiB on.
  TSimMemory(uint64_t ramBytes, uint64_t lowRamTop);

  bool IsRam(uint64_t address) const;
  uint64_t LowRamTop() const { return LowRamEnd_; }

  // Puts a device at base .. base + size - 1; false when the range is empty, wraps, or overlaps
  // another region.
  bool AddRegion(uint64_t base, uint64_t size, ISimMemoryHandler* handler, std::string name);

  // Byte-exact access: device regions see naturally aligned accesses of up to 4 bytes.
  void Read(uint64_t address, uint8_t* data, size_t length);
  void Write(uint64_t address, const uint8_t* data, size_t length);
  uint8_t ReadByte(uint64_t address);
  uint16_t ReadWord(uint64_t address);
  uint32_t ReadDword(uint64_t address);
  void WriteByte(uint64_t address, uint8_t value);
  void WriteWord(uint64_t address, uint16_t value);
  void WriteDword(uint64_t address, uint32_t value);

  size_t PageCount() const { return Pages_.size(); }

  // A mapping is a copy of the range in a buffer of this process, identified by a 32-bit handle.
  // Unmap writes the bytes that changed back to the address space, so writes through a mapping
  // reach RAM and devices. Results are completion statuses (ZEM_STATUS_*).
  uint32_t Map(uint64_t address, uint32_t length, uint32_t* handle);
  uint8_t* Resolve(uint32_t handle);
  uint32_t Unmap(uint32_t handle);
  size_t MappingCount() const { return Mappings_.size(); }

  // One entry "mem.<address>" per written page; loading replaces every page.
  void SaveState(TSimState& state) const;
  bool LoadState(const TSimState& state, std::string* error);

 private:
  using TPage = std::array<uint8_t, PageSize>;
  struct TRegion {
    uint64_t Base = 0;
    uint64_t Size = 0;
    ISimMemoryHandler* Handler = nullptr;
    std::string Name;
  };
  struct TMapping {
    uint64_t Address = 0;
    std::vector<uint8_t> Buffer;
    std::vector<uint8_t> Original;
  };

  const TRegion* RegionAt(uint64_t address) const;
  // Bytes from address to the next region start, or to the end of the space.
  uint64_t GapLength(uint64_t address) const;
  uint8_t FreshByte(uint64_t address) const { return address < LowMemoryTop ? 0x00 : 0xFF; }

  uint64_t LowRamEnd_;
  uint64_t HighRamEnd_;
  std::vector<TRegion> Regions_;
  std::map<uint64_t, std::unique_ptr<TPage>> Pages_;  // by page number
  std::map<uint32_t, TMapping> Mappings_;
  uint32_t NextHandle_ = 0x00010000;
};
