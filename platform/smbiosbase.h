// TSmbiosBase: the SMBIOS structure table, copied once from physical memory. The entry point is
// the first "_SM_" on a 16-byte boundary from 0xF0000 whose 31 bytes sum to zero; the table it
// names is read whole and split into structures, each with its formatted part and string set.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class TReadWrite;

// One structure of the copied table: its place in the copy, formatted length and total size
// (formatted part, strings and the closing pair of zero bytes).
struct TSmbiosStructure {
  uint8_t Type = 0;
  uint8_t Length = 0;
  uint16_t Handle = 0;
  size_t Offset = 0;
  size_t Size = 0;
};

class TSmbiosBase {
 public:
  static constexpr uint32_t kSearchStart = 0xF0000;
  static constexpr uint32_t kSearchLength = 0x10000;
  static constexpr uint32_t kEntryPointSize = 31;

  explicit TSmbiosBase(TReadWrite& rw);

  bool Found() const { return Found_; }
  uint32_t EntryAddress() const { return EntryAddress_; }
  uint16_t TableLength() const { return TableLength_; }
  uint32_t TableAddress() const { return TableAddress_; }
  uint32_t Version() const { return Version_; }  // major * 16 + minor
  const std::vector<uint8_t>& Table() const { return Table_; }
  const std::vector<TSmbiosStructure>& Structures() const { return Structures_; }

  // The n-th (0-based) structure of the type; null when there are fewer.
  const TSmbiosStructure* FindStructure(uint8_t type, uint32_t n) const;
  // Byte at offset of the structure's formatted part; 0 beyond it.
  uint8_t StructureByte(const TSmbiosStructure& structure, size_t offset) const;
  // The string with this 1-based number from the structure's string set; empty for number 0 and
  // for numbers the set does not reach.
  std::string StructureString(const TSmbiosStructure& structure, uint8_t number) const;
  // The base board's product name (string number at offset 5 of the first type-2 structure)
  // without leading and trailing blanks; empty without such a structure.
  std::string BoardProduct() const;
  // BoardProduct without its trailing dots.
  std::string BoardModelName() const;

  // Frees the table copy; the structure list goes with it.
  void Release();

 private:
  bool FindEntryPoint(TReadWrite& rw);
  void Walk();

  bool Found_ = false;
  uint32_t EntryAddress_ = 0;
  uint16_t TableLength_ = 0;
  uint32_t TableAddress_ = 0;
  uint32_t Version_ = 0;
  std::vector<uint8_t> Table_;
  std::vector<TSmbiosStructure> Structures_;
};
