// The command set of the script language: one table row per keyword, one handler per family.
// Every handler takes its operands, checks their ranges in table order, acts through TReadWrite,
// stores its value where the family produces one and leaves its output line in ResultText.
#include <cstdio>
#include <memory>
#include <new>
#include <optional>

#include "base/textfmt.h"
#include "hw/readwrite.h"
#include "script/interpreter.h"
#include "script/scriptlex.h"

namespace {

// Grouped so that the operand layout is a range check: from Or on the operands show as H8, from
// Not on there is one operand.
enum class TArith : uint8_t { None, Add, Sub, Mul, Div, Mod, And, Or, Xor, Shr, Shl, Not, Cmz };

bool ShowsOperandsWide(TArith op) {
  return op >= TArith::Or;
}
bool IsUnary(TArith op) {
  return op >= TArith::Not;
}

constexpr const char* kRuler64 =
    "63    56 55    48 47    40 39    32 31    24 23    16 15     8 7      0";
constexpr const char* kCpuIdRuler = "                 31    24 23    16 15     8 7      0";
constexpr const char* kCommandFail = "Command fail!";
// What a memory search returns when the pattern does not occur.
constexpr uint32_t kNoMatch = 0xFFFFFFFFu;

// "0x" and at least digits hex digits: H2, H4, H8 and H16 by digits.
std::string Hex(uint64_t value, int digits) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%0*llX", digits, static_cast<unsigned long long>(value));
  return text;
}
std::string H2(uint32_t value) {
  return Hex(value, 2);
}
std::string H8(uint32_t value) {
  return Hex(value, 8);
}
// The value in the form of an access of width bytes.
std::string HexWidth(uint32_t value, uint8_t width) {
  return Hex(value, width * 2);
}

std::string Decimal(uint32_t value) {
  return std::to_string(value);
}

// Four groups of eight bits, most significant first, joined by "-".
std::string Bits32(uint32_t value) {
  std::string text;
  for (int bit = 31; bit >= 0; --bit) {
    text += (value >> bit) & 1 ? '1' : '0';
    if (bit % 8 == 0 && bit > 0) text += '-';
  }
  return text;
}

// The value of an arithmetic command; nullopt for a division by 0.
std::optional<uint32_t> Compute(TArith op, uint32_t a, uint32_t b) {
  switch (op) {
    case TArith::Add:
      return a + b;
    case TArith::Sub:
      return a - b;
    case TArith::Mul:
      return a * b;
    case TArith::Div:
      return b == 0 ? std::nullopt : std::optional<uint32_t>(a / b);
    case TArith::Mod:
      return b == 0 ? std::nullopt : std::optional<uint32_t>(a % b);
    case TArith::And:
      return a & b;
    case TArith::Or:
      return a | b;
    case TArith::Xor:
      return a ^ b;
    case TArith::Shr:
      return a >> (b % 32);
    case TArith::Shl:
      return a << (b % 32);
    case TArith::Not:
      return ~a;
    case TArith::Cmz:
      return a == 0 ? 0xFFFFFFFFu : 0u;
    case TArith::None:
      break;
  }
  return 0;
}

uint32_t Low(uint64_t value) {
  return static_cast<uint32_t>(value);
}
uint32_t High(uint64_t value) {
  return static_cast<uint32_t>(value >> 32);
}

}  // namespace

struct TInterpreter::TCommand {
  std::string_view Keyword = {};
  THandler Run = nullptr;
  uint8_t Width = 1;            // bytes of the access: 1, 2 or 4
  std::string_view Label = {};  // PCI: "PCI" or "PCIE" in the output line; arithmetic: its name
  bool Express = false;         // PCI: through the memory-mapped configuration route
  bool ByClass = false;         // PCI search: by class code instead of id
  TArith Op = TArith::None;
};

bool TInterpreter::Dispatch(std::string_view keyword) {
  using T = TInterpreter;
  static const TCommand kCommands[] = {
      // Ports and index/data pairs.
      {.Keyword = "I", .Run = &T::PortRead, .Width = 1},
      {.Keyword = "I16", .Run = &T::PortRead, .Width = 2},
      {.Keyword = "I32", .Run = &T::PortRead, .Width = 4},
      {.Keyword = "O", .Run = &T::PortWrite, .Width = 1},
      {.Keyword = "O16", .Run = &T::PortWrite, .Width = 2},
      {.Keyword = "O32", .Run = &T::PortWrite, .Width = 4},
      {.Keyword = "IID", .Run = &T::IndexRead, .Width = 1},
      {.Keyword = "IID16", .Run = &T::IndexRead, .Width = 2},
      {.Keyword = "IID32", .Run = &T::IndexRead, .Width = 4},
      {.Keyword = "OID", .Run = &T::IndexWrite, .Width = 1},
      {.Keyword = "OID16", .Run = &T::IndexWrite, .Width = 2},
      {.Keyword = "OID32", .Run = &T::IndexWrite, .Width = 4},
      // PCI configuration space. The WPCIE forms keep to offsets both routes reach and write
      // through the legacy mechanism.
      {.Keyword = "RPCI", .Run = &T::PciRead, .Width = 1, .Label = "PCI"},
      {.Keyword = "RPCI16", .Run = &T::PciRead, .Width = 2, .Label = "PCI"},
      {.Keyword = "RPCI32", .Run = &T::PciRead, .Width = 4, .Label = "PCI"},
      {.Keyword = "RPCIE", .Run = &T::PciRead, .Width = 1, .Label = "PCIE", .Express = true},
      {.Keyword = "RPCIE16", .Run = &T::PciRead, .Width = 2, .Label = "PCIE", .Express = true},
      {.Keyword = "RPCIE32", .Run = &T::PciRead, .Width = 4, .Label = "PCIE", .Express = true},
      {.Keyword = "ERPCI", .Run = &T::PciPackedRead, .Width = 1, .Label = "PCI"},
      {.Keyword = "ERPCI16", .Run = &T::PciPackedRead, .Width = 2, .Label = "PCI"},
      {.Keyword = "ERPCI32", .Run = &T::PciPackedRead, .Width = 4, .Label = "PCI"},
      {.Keyword = "ERPCIE", .Run = &T::PciPackedRead, .Width = 1, .Label = "PCIE", .Express = true},
      {.Keyword = "ERPCIE16",
       .Run = &T::PciPackedRead,
       .Width = 2,
       .Label = "PCIE",
       .Express = true},
      {.Keyword = "ERPCIE32",
       .Run = &T::PciPackedRead,
       .Width = 4,
       .Label = "PCIE",
       .Express = true},
      {.Keyword = "WPCI", .Run = &T::PciWrite, .Width = 1, .Label = "PCI"},
      {.Keyword = "WPCI16", .Run = &T::PciWrite, .Width = 2, .Label = "PCI"},
      {.Keyword = "WPCI32", .Run = &T::PciWrite, .Width = 4, .Label = "PCI"},
      {.Keyword = "WPCIE", .Run = &T::PciWrite, .Width = 1, .Label = "PCIE"},
      {.Keyword = "WPCIE16", .Run = &T::PciWrite, .Width = 2, .Label = "PCIE"},
      {.Keyword = "WPCIE32", .Run = &T::PciWrite, .Width = 4, .Label = "PCIE"},
      {.Keyword = "EWPCI", .Run = &T::PciPackedWrite, .Width = 1, .Label = "PCI"},
      {.Keyword = "EWPCI16", .Run = &T::PciPackedWrite, .Width = 2, .Label = "PCI"},
      {.Keyword = "EWPCI32", .Run = &T::PciPackedWrite, .Width = 4, .Label = "PCI"},
      {.Keyword = "EWPCIE",
       .Run = &T::PciPackedWrite,
       .Width = 1,
       .Label = "PCIE",
       .Express = true},
      {.Keyword = "EWPCIE16",
       .Run = &T::PciPackedWrite,
       .Width = 2,
       .Label = "PCIE",
       .Express = true},
      {.Keyword = "EWPCIE32",
       .Run = &T::PciPackedWrite,
       .Width = 4,
       .Label = "PCIE",
       .Express = true},
      {.Keyword = "FPCI", .Run = &T::FindPci},
      {.Keyword = "FPCICLASS", .Run = &T::FindPci, .ByClass = true},
      // Physical memory.
      {.Keyword = "R", .Run = &T::MemoryRead, .Width = 1},
      {.Keyword = "R16", .Run = &T::MemoryRead, .Width = 2},
      {.Keyword = "R32", .Run = &T::MemoryRead, .Width = 4},
      {.Keyword = "W", .Run = &T::MemoryWrite, .Width = 1},
      {.Keyword = "W16", .Run = &T::MemoryWrite, .Width = 2},
      {.Keyword = "W32", .Run = &T::MemoryWrite, .Width = 4},
      {.Keyword = "DMEM", .Run = &T::DumpMemory},
      {.Keyword = "FMEM", .Run = &T::FindMemory},
      // Arithmetic on 32-bit values.
      {.Keyword = "ADD", .Run = &T::Arithmetic, .Label = "Add", .Op = TArith::Add},
      {.Keyword = "SUB", .Run = &T::Arithmetic, .Label = "Sub", .Op = TArith::Sub},
      {.Keyword = "MUL", .Run = &T::Arithmetic, .Label = "Mul", .Op = TArith::Mul},
      {.Keyword = "DIV", .Run = &T::Arithmetic, .Label = "Div", .Op = TArith::Div},
      {.Keyword = "MOD", .Run = &T::Arithmetic, .Label = "Mod", .Op = TArith::Mod},
      {.Keyword = "AND", .Run = &T::Arithmetic, .Label = "And", .Op = TArith::And},
      {.Keyword = "OR", .Run = &T::Arithmetic, .Label = "Or", .Op = TArith::Or},
      {.Keyword = "XOR", .Run = &T::Arithmetic, .Label = "Xor", .Op = TArith::Xor},
      {.Keyword = "SHR", .Run = &T::Arithmetic, .Label = "Shr", .Op = TArith::Shr},
      {.Keyword = "SHL", .Run = &T::Arithmetic, .Label = "Shl", .Op = TArith::Shl},
      {.Keyword = "NOT", .Run = &T::Arithmetic, .Label = "Not", .Op = TArith::Not},
      {.Keyword = "CMZ", .Run = &T::Arithmetic, .Label = "Complement Zero", .Op = TArith::Cmz},
      // Processor.
      {.Keyword = "CPU", .Run = &T::SelectCpu},
      {.Keyword = "RDMSR", .Run = &T::ReadMsr},
      {.Keyword = "WRMSR", .Run = &T::WriteMsr},
      {.Keyword = "RDPMC", .Run = &T::ReadPmc},
      {.Keyword = "RDCR", .Run = &T::ReadCr},
      {.Keyword = "WRCR", .Run = &T::WriteCr},
      {.Keyword = "CPUID", .Run = &T::CpuId},
      // Other.
      {.Keyword = "DELAY", .Run = &T::Delay},
      {.Keyword = "LOGFILE", .Run = &T::OpenLog},
  };
  for (const TCommand& command : kCommands)
    if (command.Keyword == keyword) return (this->*command.Run)(command);
  return Fail("Unknown command!");
}

// ---------------------------------------------------------------------------------------------
// Commands without operands

bool TInterpreter::RunResult() {
  const uint32_t value = static_cast<uint32_t>(Slots_[kUnnamedSlot]);
  Store(value);
  ResultText_ = "Last result = " + H8(value);
  return true;
}

bool TInterpreter::RunRwExit() {
  // Succeeds whether or not a running program was reached: the script asked, nothing more.
  Services_.Instance.PostRequest(TInstanceRequest::Exit);
  ResultText_ = "RW Exit";
  return true;
}

bool TInterpreter::RunReadTsc() {
  Wide_ = Services_.Rw.ReadTSC();
  Slots_[0xA] = static_cast<int32_t>(Low(Wide_));
  Slots_[0xB] = static_cast<int32_t>(High(Wide_));
  ResultText_ = "Read TSC = " + Hex(Wide_, 16);
  return true;
}

bool TInterpreter::RunCloseLog() {
  ResultText_ = LogFile_ ? "Logfile is canceled." : "Logfile is not set.";
  LogFile_.reset();
  return true;
}

// ---------------------------------------------------------------------------------------------
// Ports and index/data pairs

bool TInterpreter::PortRead(const TCommand& command) {
  if (!TakeNumbers(1) || !CheckRange(NumOps_[0], 0xFFFF)) return false;
  const auto port = static_cast<uint16_t>(NumOps_[0]);
  TReadWrite& rw = Services_.Rw;
  const uint32_t value = command.Width == 1   ? rw.IoBaseReadByte(port)
                         : command.Width == 2 ? rw.IoBaseReadWord(port)
                                              : rw.IoBaseReadDword(port);
  Store(value);
  ResultText_ = "In Port " + HexMin(port) + " = " + HexWidth(value, command.Width);
  return true;
}

bool TInterpreter::PortWrite(const TCommand& command) {
  if (!TakeNumbers(2) || !CheckRange(NumOps_[0], 0xFFFF)) return false;
  const auto port = static_cast<uint16_t>(NumOps_[0]);
  const uint32_t value = NumOps_[1];
  TReadWrite& rw = Services_.Rw;
  if (command.Width == 1)
    rw.IoBaseWriteByte(port, static_cast<uint8_t>(value));
  else if (command.Width == 2)
    rw.IoBaseWriteWord(port, static_cast<uint16_t>(value));
  else
    rw.IoBaseWriteDword(port, value);
  ResultText_ = "Out port " + HexMin(port) + " = " + HexWidth(value, command.Width);
  return true;
}

bool TInterpreter::IndexRead(const TCommand& command) {
  if (!TakeNumbers(3) || !CheckRange(NumOps_[0], 0xFFFF) || !CheckRange(NumOps_[1], 0xFFFF) ||
      !CheckRange(NumOps_[2], 0xFF))
    return false;
  const auto index = static_cast<uint16_t>(NumOps_[0]);
  const auto data = static_cast<uint16_t>(NumOps_[1]);
  const auto reg = static_cast<uint8_t>(NumOps_[2]);
  TReadWrite& rw = Services_.Rw;
  const uint32_t value = command.Width == 1   ? rw.IoIndexReadByte(index, data, reg)
                         : command.Width == 2 ? rw.IoIndexReadWord(index, data, reg)
                                              : rw.IoIndexReadDword(index, data, reg);
  Store(value);
  ResultText_ = "In Index/Data/Offset " + HexMin(index) + "/" + HexMin(data) + "/" + H2(reg) +
                " = " + HexWidth(value, command.Width);
  return true;
}

bool TInterpreter::IndexWrite(const TCommand& command) {
  if (!TakeNumbers(4) || !CheckRange(NumOps_[0], 0xFFFF) || !CheckRange(NumOps_[1], 0xFFFF) ||
      !CheckRange(NumOps_[2], 0xFF))
    return false;
  const auto index = static_cast<uint16_t>(NumOps_[0]);
  const auto data = static_cast<uint16_t>(NumOps_[1]);
  const auto reg = static_cast<uint8_t>(NumOps_[2]);
  const uint32_t value = NumOps_[3];
  TReadWrite& rw = Services_.Rw;
  if (command.Width == 1) {
    rw.IoIndexWriteByte(index, data, reg, static_cast<uint8_t>(value));
  } else {
    rw.IoIndexWriteWord(index, data, reg, static_cast<uint16_t>(value));
    if (command.Width == 4)
      rw.IoIndexWriteWord(index, data, static_cast<uint8_t>(reg + 2),
                          static_cast<uint16_t>(value >> 16));
  }
  ResultText_ = "Out Index/Data/Offset " + HexMin(index) + "/" + HexMin(data) + "/" + H2(reg) +
                " = " + HexWidth(value, command.Width);
  return true;
}

// ---------------------------------------------------------------------------------------------
// PCI configuration space

uint32_t TInterpreter::PciValueRead(const TCommand& command, uint8_t bus, uint8_t device,
                                    uint8_t function, uint16_t offset) {
  TReadWrite& rw = Services_.Rw;
  if (command.Express) {
    return command.Width == 1   ? rw.PcieReadByte(bus, device, function, offset)
           : command.Width == 2 ? rw.PcieReadWord(bus, device, function, offset)
                                : rw.PcieReadDword(bus, device, function, offset);
  }
  return command.Width == 1   ? rw.PciReadByte(bus, device, function, offset)
         : command.Width == 2 ? rw.PciReadWord(bus, device, function, offset)
                              : rw.PciReadDword(bus, device, function, offset);
}

void TInterpreter::PciValueWrite(const TCommand& command, uint8_t bus, uint8_t device,
                                 uint8_t function, uint16_t offset, uint32_t value) {
  TReadWrite& rw = Services_.Rw;
  const auto byte = static_cast<uint8_t>(value);
  const auto word = static_cast<uint16_t>(value);
  if (command.Express) {
    if (command.Width == 1)
      rw.PcieWriteByte(bus, device, function, offset, byte);
    else if (command.Width == 2)
      rw.PcieWriteWord(bus, device, function, offset, word);
    else
      rw.PcieWriteDword(bus, device, function, offset, value);
    return;
  }
  if (command.Width == 1)
    rw.PciWriteByte(bus, device, function, offset, byte);
  else if (command.Width == 2)
    rw.PciWriteWord(bus, device, function, offset, word);
  else
    rw.PciWriteDword(bus, device, function, offset, value);
}

namespace {

std::string PciLine(std::string_view verb, std::string_view label, uint32_t bus, uint32_t device,
                    uint32_t function, uint32_t offset, uint32_t value, uint8_t width) {
  return std::string(verb) + " " + std::string(label) + " Bus/Dev/Fun/Offset " + H2(bus) + "/" +
         H2(device) + "/" + H2(function) + "/" + H2(offset) + " = " + HexWidth(value, width);
}

// The packed address of the E-forms: bits 15-8 bus, 7-3 device, 2-0 function.
struct TPacked {
  uint8_t Bus, Device, Function;
};
TPacked Unpack(uint32_t packed) {
  return {static_cast<uint8_t>(packed >> 8), static_cast<uint8_t>((packed >> 3) & 0x1F),
          static_cast<uint8_t>(packed & 7)};
}

}  // namespace

bool TInterpreter::PciRead(const TCommand& command) {
  if (!TakeNumbers(4) || !CheckRange(NumOps_[0], 0xFF) || !CheckRange(NumOps_[1], 0x1F) ||
      !CheckRange(NumOps_[2], 7) || !CheckRange(NumOps_[3], 0xFF))
    return false;
  const uint32_t value =
      PciValueRead(command, static_cast<uint8_t>(NumOps_[0]), static_cast<uint8_t>(NumOps_[1]),
                   static_cast<uint8_t>(NumOps_[2]), static_cast<uint16_t>(NumOps_[3]));
  Store(value);
  ResultText_ = PciLine("Read", command.Label, NumOps_[0], NumOps_[1], NumOps_[2], NumOps_[3],
                        value, command.Width);
  return true;
}

bool TInterpreter::PciWrite(const TCommand& command) {
  if (!TakeNumbers(5) || !CheckRange(NumOps_[0], 0xFF) || !CheckRange(NumOps_[1], 0x1F) ||
      !CheckRange(NumOps_[2], 7) || !CheckRange(NumOps_[3], 0xFF))
    return false;
  PciValueWrite(command, static_cast<uint8_t>(NumOps_[0]), static_cast<uint8_t>(NumOps_[1]),
                static_cast<uint8_t>(NumOps_[2]), static_cast<uint16_t>(NumOps_[3]), NumOps_[4]);
  ResultText_ = PciLine("Write", command.Label, NumOps_[0], NumOps_[1], NumOps_[2], NumOps_[3],
                        NumOps_[4], command.Width);
  return true;
}

bool TInterpreter::PciPackedRead(const TCommand& command) {
  if (!TakeNumbers(2)) return false;
  const TPacked at = Unpack(NumOps_[0]);
  const uint32_t value =
      PciValueRead(command, at.Bus, at.Device, at.Function, static_cast<uint16_t>(NumOps_[1]));
  Store(value);
  ResultText_ = PciLine("Read", command.Label, at.Bus, at.Device, at.Function, NumOps_[1], value,
                        command.Width);
  return true;
}

bool TInterpreter::PciPackedWrite(const TCommand& command) {
  if (!TakeNumbers(3)) return false;
  const TPacked at = Unpack(NumOps_[0]);
  PciValueWrite(command, at.Bus, at.Device, at.Function, static_cast<uint16_t>(NumOps_[1]),
                NumOps_[2]);
  ResultText_ = PciLine("Write", command.Label, at.Bus, at.Device, at.Function, NumOps_[1],
                        NumOps_[2], command.Width);
  return true;
}

bool TInterpreter::FindPci(const TCommand& command) {
  if (!TakeNumbers(1, {0}) || !CheckRange(NumOps_[1], 0xFF)) return false;
  const uint32_t id = NumOps_[0];
  const uint32_t index = NumOps_[1];
  TReadWrite& rw = Services_.Rw;
  const uint16_t found =
      command.ByClass ? rw.FindPciDeviceByClass(id, index) : rw.FindPciDeviceById(id, index);
  Store(found);
  ResultText_ = std::string(command.ByClass ? "Find PCI Class: " : "Find PCI Device: ") +
                HexMin(id) + " Index " + HexMin(index) + " = " + Hex(found, 4);
  return true;
}

// ---------------------------------------------------------------------------------------------
// Physical memory

bool TInterpreter::MemoryRead(const TCommand& command) {
  if (!TakeNumbers(1)) return false;
  const uint32_t address = NumOps_[0];
  TReadWrite& rw = Services_.Rw;
  const uint32_t value = command.Width == 1   ? rw.MemoryReadByte(address)
                         : command.Width == 2 ? rw.MemoryReadWord(address)
                                              : rw.MemoryReadDword(address);
  Store(value);
  ResultText_ = "Read Memory Address " + HexMin(address) + " = " + HexWidth(value, command.Width);
  return true;
}

bool TInterpreter::MemoryWrite(const TCommand& command) {
  if (!TakeNumbers(2)) return false;
  const uint32_t address = NumOps_[0];
  const uint32_t value = NumOps_[1];
  TReadWrite& rw = Services_.Rw;
  if (command.Width == 1)
    rw.MemoryWriteByte(address, static_cast<uint8_t>(value));
  else if (command.Width == 2)
    rw.MemoryWriteWord(address, static_cast<uint16_t>(value));
  else
    rw.MemoryWriteDword(address, value);
  ResultText_ = "Write Memory Address " + HexMin(address) + " = " + HexWidth(value, command.Width);
  return true;
}

void TInterpreter::AddDump(const uint8_t* data, size_t length) {
  HexDump(data, length, true, [this](const std::string& line) { OutputLines_.push_back(line); });
}

bool TInterpreter::DumpMemory(const TCommand&) {
  if (!TakeNumbers(1, {256}) || !TakeOptionalText(0)) return false;
  const uint32_t address = NumOps_[0];
  const uint32_t size = NumOps_[1];
  const std::string& fileName = TextOps_[0];
  ResultText_ = "Dump Memory: Address=" + HexMin(address) + ", Size=" + HexMin(size);

  // The size is the script's to choose: a buffer, or the dump text (about five times the size),
  // that cannot be had fails the command instead of the program.
  std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[size]());
  if (!buffer) return Fail(ResultText_ + " - Allocate buffer error");
  Services_.Rw.MemoryReadBlock(address, buffer.get(), size);
  try {
    AddDump(buffer.get(), size);
    buffer.reset();
    if (!fileName.empty()) {
      const std::string name = AsWritten(fileName);
      if (std::unique_ptr<IOsFile> file = Services_.CreateFile(name, false)) {
        std::string bytes;
        for (const std::string& line : OutputLines_) bytes += line + "\r\n";
        if (file->Write(bytes)) ResultText_ += ", File=" + name;
      }
    }
  } catch (const std::bad_alloc&) {
    std::vector<std::string>().swap(OutputLines_);
    return Fail(ResultText_ + " - Allocate buffer error");
  }
  return true;
}

bool TInterpreter::FindMemory(const TCommand&) {
  if (!TakeNumbers(4) || !TakeText(0)) return false;
  const uint32_t start = NumOps_[0];
  const uint32_t length = NumOps_[1];
  const uint32_t step = NumOps_[2];
  const uint32_t index = NumOps_[3];
  // "/S" may only follow the pattern: the first four tokens are always numbers.
  bool asText = false;
  for (size_t i = NextToken_; i < Tokens_.size(); ++i) asText = asText || Tokens_[i] == "/S";

  std::string pattern;
  if (asText || !script::ParseByteList(TextOps_[0], pattern)) pattern = TextOps_[0];
  TReadWrite& rw = Services_.Rw;
  const uint32_t found = rw.MemorySearch(start, length, pattern, index, step);
  Store(found);

  ResultText_ = "Find Memory: " + HexMin(start) + ", " + HexMin(length) + ", " + HexMin(step) +
                ", " + HexMin(index) + " - " + (found == kNoMatch ? "not found" : HexMin(found));
  if (found != kNoMatch) {
    uint8_t window[256] = {};
    rw.MemoryReadBlock(found, window);
    AddDump(window, sizeof window);
  }
  return true;
}

// ---------------------------------------------------------------------------------------------
// Arithmetic

bool TInterpreter::Arithmetic(const TCommand& command) {
  const TArith op = command.Op;
  if (!TakeNumbers(IsUnary(op) ? 1 : 2)) return false;
  const uint32_t a = NumOps_[0];
  const uint32_t b = NumOps_[1];
  const std::optional<uint32_t> result = Compute(op, a, b);
  if (!result) return Fail("Division by zero!");
  const uint32_t value = *result;
  Store(value);

  const std::string label(command.Label);
  if (op == TArith::Cmz)
    ResultText_ = label + " (" + HexMin(a) + ") = " + HexMin(value);
  else if (IsUnary(op))
    ResultText_ = label + " (" + H8(a) + ") = " + H8(value);
  else if (ShowsOperandsWide(op))
    ResultText_ = label + " (" + H8(a) + ", " + H8(b) + ") = " + H8(value);
  else
    ResultText_ = label + " (" + HexMin(a) + ", " + HexMin(b) + ") = " + H8(value);
  return true;
}

// ---------------------------------------------------------------------------------------------
// Processor

void TInterpreter::AddRuler64(uint64_t value) {
  OutputLines_.push_back(kRuler64);
  OutputLines_.push_back(Bits32(High(value)) + "-" + Bits32(Low(value)));
}

bool TInterpreter::SelectCpu(const TCommand&) {
  if (!TakeNumbers(1)) return false;
  const uint32_t cpu = NumOps_[0];
  // On one processor there is nothing to switch to, so no switch is attempted.
  if (Services_.ProcessorCount <= 1) return Fail("Error: single CPU system!");
  // A processor the system does not have is refused there: reporting it as current would let the
  // MSR reads that follow run on the previous one unnoticed.
  if (!Services_.Rw.SetCpuAffinity(cpu)) return Fail("Error to switch CPU!");
  ResultText_ = "Current CPU = CPU" + Decimal(cpu);
  return true;
}

bool TInterpreter::ReadMsr(const TCommand&) {
  if (!TakeNumbers(1)) return false;
  const uint32_t msr = NumOps_[0];
  CpuRegisters regs = RegSet_;
  regs.ECX = msr;
  if (!Services_.Rw.ReadCpuMsr(regs)) return Fail(kCommandFail);
  RegSet_.EAX = regs.EAX;
  RegSet_.ECX = msr;
  RegSet_.EDX = regs.EDX;
  Slots_[0xA] = static_cast<int32_t>(regs.EAX);
  Slots_[0xC] = static_cast<int32_t>(msr);
  Slots_[0xD] = static_cast<int32_t>(regs.EDX);
  ResultText_ = "Read MSR " + HexMin(msr) + " : High 32bit(EDX) = " + H8(regs.EDX) +
                ", Low 32bit(EAX) = " + H8(regs.EAX);
  AddRuler64(uint64_t{regs.EDX} << 32 | regs.EAX);
  return true;
}

bool TInterpreter::WriteMsr(const TCommand&) {
  if (!TakeNumbers(3)) return false;
  const uint32_t msr = NumOps_[0];
  const uint32_t high = NumOps_[1];
  const uint32_t low = NumOps_[2];
  RegSet_.EAX = low;
  RegSet_.ECX = msr;
  RegSet_.EDX = high;
  if (!Services_.Rw.WriteCpuMsr(RegSet_)) return Fail(kCommandFail);
  ResultText_ = "Write MSR " + HexMin(msr) + " : High 32bit(EDX) = " + H8(high) +
                ", Low 32bit(EAX) = " + H8(low);
  AddRuler64(uint64_t{high} << 32 | low);
  return true;
}

bool TInterpreter::ReadPmc(const TCommand&) {
  if (!TakeNumbers(1)) return false;
  const uint32_t counter = NumOps_[0];
  Wide_ = Services_.Rw.ReadPMC(counter);
  Slots_[0xA] = static_cast<int32_t>(Low(Wide_));
  Slots_[0xB] = static_cast<int32_t>(High(Wide_));
  ResultText_ = "Read PMC " + Decimal(counter) + " : High 32bit = " + H8(High(Wide_)) +
                ", Low 32bit = " + H8(Low(Wide_));
  AddRuler64(Wide_);
  return true;
}

bool TInterpreter::ReadCr(const TCommand&) {
  if (!TakeNumbers(1)) return false;
  const uint32_t number = NumOps_[0];
  const uint64_t value = Services_.Rw.ReadCR(number);
  if (value == ~uint64_t{0}) return Fail(kCommandFail);
  Wide_ = value;
  Slots_[0xA] = static_cast<int32_t>(Low(value));
  Slots_[0xB] = static_cast<int32_t>(High(value));
  ResultText_ = "Read CR" + Decimal(number) + " : High 32bit = " + H8(High(value)) +
                ", Low 32bit = " + H8(Low(value));
  AddRuler64(value);
  return true;
}

bool TInterpreter::WriteCr(const TCommand&) {
  if (!TakeNumbers(3)) return false;
  const uint32_t number = NumOps_[0];
  const uint32_t high = NumOps_[1];
  const uint32_t low = NumOps_[2];
  const uint64_t value = uint64_t{high} << 32 | low;
  if (!Services_.Rw.WriteCR(number, value)) return Fail(kCommandFail);
  ResultText_ =
      "Write CR" + Decimal(number) + " : High 32bit = " + H8(high) + ", Low 32bit = " + H8(low);
  AddRuler64(value);
  return true;
}

bool TInterpreter::CpuId(const TCommand&) {
  if (!TakeNumbers(1)) return false;
  const uint32_t leaf = NumOps_[0];
  // The sub-leaf register is left as it is: CPUID runs with the leaf only.
  RegSet_.EAX = leaf;
  Services_.Rw.ExecuteCpuId(RegSet_);
  const uint32_t registers[4] = {RegSet_.EAX, RegSet_.EBX, RegSet_.ECX, RegSet_.EDX};
  const char* const names[4] = {"EAX = ", "EBX = ", "ECX = ", "EDX = "};
  OutputLines_.push_back(kCpuIdRuler);
  for (int i = 0; i < 4; ++i) {
    Slots_[static_cast<size_t>(0xA + i)] = static_cast<int32_t>(registers[i]);
    OutputLines_.push_back(names[i] + H8(registers[i]) + " " + Bits32(registers[i]));
  }
  ResultText_ = "CPUID " + HexMin(leaf);
  return true;
}

// ---------------------------------------------------------------------------------------------
// Other

bool TInterpreter::Delay(const TCommand&) {
  if (!TakeNumbers(1)) return false;
  Services_.Sleep(NumOps_[0]);
  ResultText_ = "Delay " + Decimal(NumOps_[0]) + " ms";
  return true;
}

bool TInterpreter::OpenLog(const TCommand&) {
  if (!TakeText(0)) return false;
  const std::string name = AsWritten(TextOps_[0]);
  LogFile_.reset();
  LogFile_ = Services_.CreateFile(name, true);
  if (!LogFile_) return Fail("Logfile cannot be created: " + name);
  ResultText_ = "Logfile = " + name;
  return true;
}
