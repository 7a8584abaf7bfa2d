#include "platform/smbiosbase.h"

#include <algorithm>

#include "base/textfmt.h"
#include "hw/readwrite.h"

namespace {

constexpr uint32_t kParagraph = 16;
constexpr uint8_t kBaseBoardType = 2;
constexpr size_t kBoardProductOffset = 5;
constexpr size_t kStructureHeaderSize = 4;  // type, length, handle

uint8_t ByteSum(const uint8_t* data, size_t length) {
  uint8_t sum = 0;
  for (size_t i = 0; i < length; ++i) sum = static_cast<uint8_t>(sum + data[i]);
  return sum;
}

}  // namespace

TSmbiosBase::TSmbiosBase(TReadWrite& rw) {
  Found_ = FindEntryPoint(rw);
  if (!Found_ || TableLength_ == 0) return;
  Table_.resize(TableLength_);
  if (!rw.MemoryReadBlock(TableAddress_, Table_.data(), TableLength_)) {
    Table_.clear();
    return;
  }
  Walk();
}

bool TSmbiosBase::FindEntryPoint(TReadWrite& rw) {
  for (uint32_t n = 0;; ++n) {
    const uint32_t address = rw.MemorySearch(kSearchStart, kSearchLength, "_SM_", n, kParagraph);
    if (address == kSearchNotFound) return false;
    uint8_t entry[kEntryPointSize];
    if (!rw.MemoryReadBlock(address, entry, kEntryPointSize)) continue;
    if (ByteSum(entry, kEntryPointSize) != 0) continue;
    EntryAddress_ = address;
    Version_ = entry[6] * 16u + entry[7];
    TableLength_ = static_cast<uint16_t>(entry[0x16] | entry[0x17] << 8);
    TableAddress_ = static_cast<uint32_t>(entry[0x18]) | static_cast<uint32_t>(entry[0x19]) << 8 |
                    static_cast<uint32_t>(entry[0x1A]) << 16 |
                    static_cast<uint32_t>(entry[0x1B]) << 24;
    return true;
  }
}

void TSmbiosBase::Walk() {
  size_t at = 0;
  while (at < Table_.size()) {
    const size_t remaining = Table_.size() - at;
    if (remaining < kStructureHeaderSize) break;
    const uint8_t length = Table_[at + 1];
    if (length < kStructureHeaderSize || length > remaining) break;
    // The string set ends at the first pair of zero bytes; a structure cut off by the end of the
    // table is left out.
    size_t end = at + length;
    while (end + 1 < Table_.size() && (Table_[end] != 0 || Table_[end + 1] != 0)) ++end;
    if (end + 1 >= Table_.size()) break;
    TSmbiosStructure structure;
    structure.Type = Table_[at];
    structure.Length = length;
    structure.Handle = static_cast<uint16_t>(Table_[at + 2] | Table_[at + 3] << 8);
    structure.Offset = at;
    structure.Size = end + 2 - at;
    Structures_.push_back(structure);
    at = end + 2;
  }
}

const TSmbiosStructure* TSmbiosBase::FindStructure(uint8_t type, uint32_t n) const {
  for (const TSmbiosStructure& structure : Structures_) {
    if (structure.Type != type) continue;
    if (n == 0) return &structure;
    --n;
  }
  return nullptr;
}

uint8_t TSmbiosBase::StructureByte(const TSmbiosStructure& structure, size_t offset) const {
  if (offset >= structure.Length || structure.Offset + offset >= Table_.size()) return 0;
  return Table_[structure.Offset + offset];
}

std::string TSmbiosBase::StructureString(const TSmbiosStructure& structure, uint8_t number) const {
  if (number == 0) return std::string();
  const size_t end = std::min(structure.Offset + structure.Size, Table_.size());
  size_t at = structure.Offset + structure.Length;
  for (uint8_t i = 1; at < end && Table_[at] != 0; ++i) {
    size_t stop = at;
    while (stop < end && Table_[stop] != 0) ++stop;
    if (i == number) {
      return std::string(reinterpret_cast<const char*>(&Table_[at]), stop - at);
    }
    at = stop + 1;
  }
  return std::string();
}

std::string TSmbiosBase::BoardProduct() const {
  const TSmbiosStructure* board = FindStructure(kBaseBoardType, 0);
  if (board == nullptr) return std::string();
  return TrimBlanks(StructureString(*board, StructureByte(*board, kBoardProductOffset)));
}

std::string TSmbiosBase::BoardModelName() const {
  std::string name = BoardProduct();
  while (!name.empty() && name.back() == '.') name.pop_back();
  return name;
}

void TSmbiosBase::Release() {
  Table_.clear();
  Table_.shrink_to_fit();
  Structures_.clear();
}
