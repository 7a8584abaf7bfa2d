#include "sim/simmemory.h"

#include <algorithm>
#include <charconv>
#include <cstring>

#include "base/textfmt.h"
#include "hw/ioctl.h"
#include "sim/simstate.h"

namespace {

// The widest naturally aligned access (4, 2 or 1 bytes) that starts at address and fits length.
uint8_t AccessWidth(uint64_t address, uint64_t length) {
  if (address % 4 == 0 && length >= 4) return 4;
  if (address % 2 == 0 && length >= 2) return 2;
  return 1;
}

constexpr std::string_view PagePrefix = "mem.";

}  // namespace

TSimMemory::TSimMemory(uint64_t ramBytes, uint64_t lowRamTop) {
  // Whatever else the board says, the first MiB is memory: firmware tables live there.
  LowRamEnd_ = std::max(std::min(ramBytes, lowRamTop), LowMemoryTop);
  HighRamEnd_ = ramBytes > LowRamEnd_ ? FourGiB + (ramBytes - LowRamEnd_) : FourGiB;
}

bool TSimMemory::IsRam(uint64_t address) const {
  return address < LowRamEnd_ || (address >= FourGiB && address < HighRamEnd_);
}

bool TSimMemory::AddRegion(uint64_t base, uint64_t size, ISimMemoryHandler* handler,
                           std::string name) {
  if (size == 0 || handler == nullptr || base + size < base) return false;
  for (const TRegion& region : Regions_) {
    if (base < region.Base + region.Size && region.Base < base + size) return false;
  }
  Regions_.push_back({base, size, handler, std::move(name)});
  std::sort(Regions_.begin(), Regions_.end(),
            [](const TRegion& a, const TRegion& b) { return a.Base < b.Base; });
  return true;
}

const TSimMemory::TRegion* TSimMemory::RegionAt(uint64_t address) const {
  for (const TRegion& region : Regions_) {
    if (address >= region.Base && address - region.Base < region.Size) return &region;
  }
  return nullptr;
}

uint64_t TSimMemory::GapLength(uint64_t address) const {
  for (const TRegion& region : Regions_) {
    if (region.Base > address) return region.Base - address;
  }
  return ~uint64_t{0} - address + 1;  // 0 only at the very top, which length limits keep away
}

void TSimMemory::Read(uint64_t address, uint8_t* data, size_t length) {
  while (length > 0) {
    if (const TRegion* region = RegionAt(address)) {
      const uint64_t offset = address - region->Base;
      const uint8_t width = AccessWidth(offset, std::min<uint64_t>(length, region->Size - offset));
      const uint32_t value = region->Handler->MemoryRead(offset, width);
      for (uint8_t i = 0; i < width; ++i) data[i] = (value >> (8 * i)) & 0xFF;
      address += width;
      data += width;
      length -= width;
      continue;
    }
    const uint64_t pageOffset = address % PageSize;
    uint64_t chunk = std::min<uint64_t>(length, PageSize - pageOffset);
    const uint64_t gap = GapLength(address);
    if (gap != 0) chunk = std::min(chunk, gap);
    const auto page = Pages_.find(address / PageSize);
    if (page != Pages_.end()) {
      std::memcpy(data, page->second->data() + pageOffset, chunk);
    } else {
      std::memset(data, IsRam(address) ? FreshByte(address) : 0xFF, chunk);
    }
    address += chunk;
    data += chunk;
    length -= chunk;
  }
}

void TSimMemory::Write(uint64_t address, const uint8_t* data, size_t length) {
  while (length > 0) {
    if (const TRegion* region = RegionAt(address)) {
      const uint64_t offset = address - region->Base;
      const uint8_t width = AccessWidth(offset, std::min<uint64_t>(length, region->Size - offset));
      uint32_t value = 0;
      for (uint8_t i = 0; i < width; ++i) value |= uint32_t{data[i]} << (8 * i);
      region->Handler->MemoryWrite(offset, width, value);
      address += width;
      data += width;
      length -= width;
      continue;
    }
    const uint64_t pageOffset = address % PageSize;
    uint64_t chunk = std::min<uint64_t>(length, PageSize - pageOffset);
    const uint64_t gap = GapLength(address);
    if (gap != 0) chunk = std::min(chunk, gap);
    if (IsRam(address)) {
      std::unique_ptr<TPage>& page = Pages_[address / PageSize];
      if (page == nullptr) {
        page = std::make_unique<TPage>();
        page->fill(FreshByte(address));
      }
      std::memcpy(page->data() + pageOffset, data, chunk);
    }
    address += chunk;
    data += chunk;
    length -= chunk;
  }
}

uint8_t TSimMemory::ReadByte(uint64_t address) {
  uint8_t value = 0;
  Read(address, &value, 1);
  return value;
}

uint16_t TSimMemory::ReadWord(uint64_t address) {
  uint8_t bytes[2];
  Read(address, bytes, 2);
  return static_cast<uint16_t>(bytes[0] | bytes[1] << 8);
}

uint32_t TSimMemory::ReadDword(uint64_t address) {
  uint8_t bytes[4];
  Read(address, bytes, 4);
  return uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 |
         uint32_t{bytes[3]} << 24;
}

void TSimMemory::WriteByte(uint64_t address, uint8_t value) {
  Write(address, &value, 1);
}

void TSimMemory::WriteWord(uint64_t address, uint16_t value) {
  const uint8_t bytes[2] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)};
  Write(address, bytes, 2);
}

void TSimMemory::WriteDword(uint64_t address, uint32_t value) {
  const uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                            static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
  Write(address, bytes, 4);
}

uint32_t TSimMemory::Map(uint64_t address, uint32_t length, uint32_t* handle) {
  if (length == 0 || address + length < address) return ZEM_STATUS_INVALID_PARAMETER;
  if (length > MaxMappingLength) return ZEM_STATUS_INSUFFICIENT_RESOURCES;
  // Handles look like page addresses so a trace of them reads naturally; 0 is never one.
  while (NextHandle_ == 0 || Mappings_.count(NextHandle_) != 0) NextHandle_ += PageSize;
  const uint32_t id = NextHandle_;
  NextHandle_ += PageSize;
  TMapping& mapping = Mappings_[id];
  mapping.Address = address;
  mapping.Buffer.resize(length);
  Read(address, mapping.Buffer.data(), length);
  mapping.Original = mapping.Buffer;
  *handle = id;
  return ZEM_STATUS_SUCCESS;
}

uint8_t* TSimMemory::Resolve(uint32_t handle) {
  const auto it = Mappings_.find(handle);
  return it == Mappings_.end() ? nullptr : it->second.Buffer.data();
}

uint32_t TSimMemory::Unmap(uint32_t handle) {
  const auto it = Mappings_.find(handle);
  if (it == Mappings_.end()) return ZEM_STATUS_INVALID_PARAMETER;
  const TMapping mapping = std::move(it->second);
  Mappings_.erase(it);
  // Only changed bytes go back: rewriting unchanged ones would hit device registers (and
  // write-one-to-clear bits) the program never touched.
  const size_t length = mapping.Buffer.size();
  size_t start = 0;
  while (start < length) {
    if (mapping.Buffer[start] == mapping.Original[start]) {
      ++start;
      continue;
    }
    size_t end = start;
    while (end < length && mapping.Buffer[end] != mapping.Original[end]) ++end;
    Write(mapping.Address + start, mapping.Buffer.data() + start, end - start);
    start = end;
  }
  return ZEM_STATUS_SUCCESS;
}

void TSimMemory::SaveState(TSimState& state) const {
  for (const auto& [number, page] : Pages_) {
    const std::string address = HexQword(number * PageSize).substr(2);
    state.SetBytes(std::string(PagePrefix) + address, page->data(), page->size());
  }
}

bool TSimMemory::LoadState(const TSimState& state, std::string* error) {
  std::map<uint64_t, std::unique_ptr<TPage>> pages;
  for (const std::string& key : state.KeysWithPrefix(PagePrefix)) {
    const std::string_view text = std::string_view(key).substr(PagePrefix.size());
    uint64_t address = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), address, 16);
    if (text.empty() || result.ec != std::errc() || result.ptr != text.data() + text.size() ||
        address % PageSize != 0 || !IsRam(address)) {
      *error = "state entry '" + key + "' does not name a RAM page";
      return false;
    }
    auto page = std::make_unique<TPage>();
    if (!state.GetBytes(key, page->data(), page->size(), error)) return false;
    pages[address / PageSize] = std::move(page);
  }
  Pages_ = std::move(pages);
  return true;
}
