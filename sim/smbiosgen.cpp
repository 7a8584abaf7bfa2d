#include "sim/smbiosgen.h"

#include <algorithm>
#include <string>

namespace {

constexpr size_t kEntryPointSize = 0x1F;

void Put16(std::vector<uint8_t>& bytes, size_t at, uint16_t value) {
  bytes[at] = static_cast<uint8_t>(value);
  bytes[at + 1] = static_cast<uint8_t>(value >> 8);
}

void Put32(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

uint8_t ChecksumOf(const std::vector<uint8_t>& bytes, size_t from, size_t length) {
  uint8_t sum = 0;
  for (size_t i = from; i < from + length; ++i) sum = static_cast<uint8_t>(sum + bytes[i]);
  return static_cast<uint8_t>(0x100 - sum);
}

// One structure under construction: the formatted part and its string set. An empty string is
// not stored; its field holds string number 0.
class TStructure {
 public:
  TStructure(uint8_t type, uint8_t length, uint16_t handle) : Formatted_(length, 0) {
    Formatted_[0] = type;
    Formatted_[1] = length;
    Put16(Formatted_, 2, handle);
  }
  void Byte(size_t at, uint8_t value) { Formatted_[at] = value; }
  void Word(size_t at, uint16_t value) { Put16(Formatted_, at, value); }
  void Dword(size_t at, uint32_t value) { Put32(Formatted_, at, value); }
  void String(size_t at, const std::string& text) {
    if (text.empty()) return;
    Strings_.push_back(text);
    Formatted_[at] = static_cast<uint8_t>(Strings_.size());
  }
  std::vector<uint8_t> Bytes() const {
    std::vector<uint8_t> bytes = Formatted_;
    for (const std::string& text : Strings_) {
      bytes.insert(bytes.end(), text.begin(), text.end());
      bytes.push_back(0);
    }
    if (Strings_.empty()) bytes.push_back(0);
    bytes.push_back(0);
    return bytes;
  }

 private:
  std::vector<uint8_t> Formatted_;
  std::vector<std::string> Strings_;
};

}  // namespace

TSmbiosTableInfo BuildSmbiosTable(const TSimSmbiosConfig& config) {
  std::vector<TStructure> structures;

  TStructure bios(0, 0x18, 0x0000);
  bios.String(4, config.BiosVendor);
  bios.String(5, config.BiosVersion);
  bios.Word(6, 0xE000);  // starting segment of the runtime image
  bios.String(8, config.BiosDate);
  bios.Byte(9, 0x0F);  // 1 MiB of flash
  // Characteristics: PCI, plug and play, APM, flashable, shadowing, boot from CD, selectable boot,
  // socketed ROM, EDD, the legacy keyboard, printer, serial and video services; then ACPI and USB
  // legacy support, and the BIOS boot specification.
  bios.Dword(10, 0x0FCB9E80);
  bios.Byte(18, 0x03);
  bios.Byte(19, 0x01);
  bios.Byte(20, 0xFF);  // no major/minor release numbers
  bios.Byte(21, 0xFF);
  bios.Byte(22, 0xFF);  // no embedded controller firmware
  bios.Byte(23, 0xFF);
  structures.push_back(bios);

  TStructure system(1, 0x1B, 0x0001);
  system.String(4, config.SystemManufacturer);
  system.String(5, config.SystemProduct);
  system.String(6, config.SystemVersion);
  system.String(7, config.SystemSerial);
  for (size_t i = 0; i < 16; ++i) system.Byte(8 + i, static_cast<uint8_t>(i * 0x11));
  system.Byte(24, 0x06);  // woken by the power switch
  structures.push_back(system);

  TStructure board(2, 0x0F, 0x0002);
  board.String(4, config.BoardManufacturer);
  board.String(5, config.BoardProduct);
  board.String(6, config.BoardVersion);
  board.String(7, config.BoardSerial);
  board.Byte(9, 0x01);     // hosting board
  board.Word(11, 0x0003);  // chassis handle
  board.Byte(13, 0x0A);    // motherboard
  structures.push_back(board);

  structures.emplace_back(127, 4, 0x0003);

  TSmbiosTableInfo table;
  for (const TStructure& structure : structures) {
    const std::vector<uint8_t> bytes = structure.Bytes();
    table.Bytes.insert(table.Bytes.end(), bytes.begin(), bytes.end());
    table.MaxStructureSize =
        std::max<uint16_t>(table.MaxStructureSize, static_cast<uint16_t>(bytes.size()));
    ++table.StructureCount;
  }
  return table;
}

std::vector<uint8_t> BuildSmbiosEntryPoint(const TSimSmbiosConfig& config,
                                           const TSmbiosTableInfo& table, uint32_t tableAddress) {
  std::vector<uint8_t> entry(kEntryPointSize, 0);
  std::copy_n("_SM_", 4, entry.begin());
  entry[5] = kEntryPointSize;
  entry[6] = config.Major;
  entry[7] = config.Minor;
  Put16(entry, 8, table.MaxStructureSize);
  std::copy_n("_DMI_", 5, entry.begin() + 0x10);
  Put16(entry, 0x16, static_cast<uint16_t>(table.Bytes.size()));
  Put32(entry, 0x18, tableAddress);
  Put16(entry, 0x1C, table.StructureCount);
  entry[0x1E] = static_cast<uint8_t>((config.Major & 0xF) << 4 | (config.Minor & 0xF));
  // The intermediate checksum covers the "_DMI_" part, the entry point checksum everything.
  entry[0x15] = ChecksumOf(entry, 0x10, 0x0F);
  entry[4] = ChecksumOf(entry, 0, kEntryPointSize);
  return entry;
}
