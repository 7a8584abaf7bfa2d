#include "sim/nvsmbusgpio.h"

#include "base/textfmt.h"
#include "sim/pcibus.h"
#include "sim/simmachine.h"
#include "sim/simstate.h"
#include "sim/superio.h"

namespace {

constexpr uint16_t NvidiaVendor = 0x10DE;
constexpr uint32_t SmbusClass = 0x0C05;  // serial bus, SMBus

}  // namespace

TSimNvSmbusGpio::TSimNvSmbusGpio(TSimMachine& machine, TSimPciFunction& smbus, uint8_t pins)
    : Machine_(machine), Smbus_(smbus), Wiring_(SimWiring(machine)), Bytes_(pins, 0) {
  Smbus_.SetWriteMask(BaseOffset + 1, 0xFF);
}

TSimNvSmbusGpio::~TSimNvSmbusGpio() {
  Machine_.Ports().Release(this);
}

uint8_t TSimNvSmbusGpio::PinByte(uint8_t number) const {
  return number >= 1 && number <= Bytes_.size() ? Bytes_[number - 1] : 0xFF;
}

uint8_t TSimNvSmbusGpio::ReadPinByte(uint8_t number) const {
  const uint8_t stored = PinByte(number);
  if (number < 1 || number > Bytes_.size() || (stored & ModeMask) != ModeInput) return stored;
  // Unwired inputs read high, as the board's pull-ups hold them.
  const bool level = Wiring_.InputLevel("MCP", "GPIO" + std::to_string(number)).value_or(true);
  return static_cast<uint8_t>((stored & ~1) | (level ? 1 : 0));
}

bool TSimNvSmbusGpio::SetPinByte(uint8_t number, uint8_t value) {
  if (number < 1 || number > Bytes_.size()) return false;
  Bytes_[number - 1] = value;
  return true;
}

void TSimNvSmbusGpio::FollowBase() {
  const auto base = static_cast<uint16_t>(Smbus_.Word(BaseOffset) & 0xFF00);
  if (base == Claimed_) return;
  if (Claimed_ != 0) Machine_.Ports().Release(static_cast<uint16_t>(Claimed_ + GpioOffset));
  Claimed_ = 0;
  // Ports another device holds stay with it, as a decode conflict would leave them.
  if (base != 0 && Machine_.Ports().Claim(static_cast<uint16_t>(base + GpioOffset),
                                          static_cast<uint32_t>(Bytes_.size()), this, "MCP GPIO")) {
    Claimed_ = base;
  }
}

bool TSimNvSmbusGpio::PinNumber(std::string_view pin, uint8_t* number) const {
  const std::optional<unsigned> value = SimGpioNumber(pin);
  if (!value || *value < 1 || *value > Bytes_.size()) return false;
  *number = static_cast<uint8_t>(*value);
  return true;
}

bool TSimNvSmbusGpio::HasPin(std::string_view pin) const {
  uint8_t number = 0;
  return PinNumber(pin, &number);
}

TSimPinDrive TSimNvSmbusGpio::PinDrive(std::string_view pin) const {
  uint8_t number = 0;
  if (!PinNumber(pin, &number)) return TSimPinDrive::Floating;
  const uint8_t byte = Bytes_[number - 1];
  if ((byte & ModeMask) != ModeOutput) return TSimPinDrive::Floating;
  return (byte & 1) != 0 ? TSimPinDrive::High : TSimPinDrive::Low;
}

uint32_t TSimNvSmbusGpio::PortRead(uint16_t port, uint8_t width) {
  uint32_t value = 0;
  for (uint8_t i = 0; i < width; ++i) {
    const auto number = static_cast<uint8_t>(port + i - Claimed_ - GpioOffset + 1);
    value |= uint32_t{ReadPinByte(number)} << (8 * i);
  }
  return value;
}

void TSimNvSmbusGpio::PortWrite(uint16_t port, uint8_t width, uint32_t value) {
  for (uint8_t i = 0; i < width; ++i) {
    const auto number = static_cast<uint8_t>(port + i - Claimed_ - GpioOffset + 1);
    SetPinByte(number, static_cast<uint8_t>(value >> (8 * i)));
  }
}

void TSimNvSmbusGpio::SaveState(TSimState& state) const {
  state.SetBytes(std::string(Name) + ".pins", Bytes_.data(), Bytes_.size());
}

bool TSimNvSmbusGpio::LoadState(const TSimState& state, std::string* error) {
  std::vector<uint8_t> bytes(Bytes_.size(), 0);
  if (!state.GetBytes(std::string(Name) + ".pins", bytes.data(), bytes.size(), error)) {
    return false;
  }
  Bytes_ = bytes;
  FollowBase();
  return true;
}

bool BuildSimNvSmbusGpio(TSimMachine& machine, const TIniFile& ini, const std::string& section,
                         std::string* error) {
  const TSimSectionReader reader(ini, section, error);
  if (!reader.CheckKeys({"Function", "Pins", "SysCtrlBase"}, {"GPIO"})) return false;
  const std::string where =
      reader.Has("Function") ? TrimBlanks(reader.Text("Function")) : "00:01.1";
  uint64_t pins = 64;
  uint8_t bus = 0, device = 0, function = 0;
  if (!reader.PciAddress("Function", "00:01.1", &bus, &device, &function)) return false;
  TSimPciFunction* smbus = machine.Pci().Function(bus, device, function);
  if (smbus == nullptr) {
    return reader.Fail("Function",
                       "no PCI function " + where + " (its [PCI] section comes before this one)");
  }
  if (smbus->Word(0x00) != NvidiaVendor || (smbus->Dword(0x08) >> 16) != SmbusClass) {
    return reader.Fail("Function", where + " is not an NVIDIA SMBus controller");
  }
  if (!reader.Number("Pins", &pins, 64)) return false;
  if (pins < 1) return reader.Fail("Pins", "at least 1");
  auto* gpio =
      machine.Add(std::make_unique<TSimNvSmbusGpio>(machine, *smbus, static_cast<uint8_t>(pins)));
  if (gpio == nullptr) return reader.Fail("", "the board already has NVIDIA GPIO bytes");
  if (!SimWiring(machine).AddChip("MCP", gpio)) return reader.Fail("", "pin prefix MCP is taken");
  for (const std::string& key : reader.Keys()) {
    if (!StartsWithNoCase(key, "GPIO")) continue;
    uint64_t number = 0, byte = 0;
    if (!TSimSectionReader::ParseNumber(key.substr(4), &number) || number < 1 || number > pins) {
      return reader.Fail(key, "no such GPIO");
    }
    if (!reader.Number(key, &byte, 0xFF)) return false;
    gpio->SetPinByte(static_cast<uint8_t>(number), static_cast<uint8_t>(byte));
  }
  uint64_t base = 0;
  if (reader.Has("SysCtrlBase")) {
    if (!reader.Number("SysCtrlBase", &base, 0xFF00)) return false;
    if (base % 0x100 != 0) return reader.Fail("SysCtrlBase", "expected a multiple of 0x100");
    smbus->SetWord(TSimNvSmbusGpio::BaseOffset, static_cast<uint16_t>(base));
  }
  smbus->AddListener([gpio](TSimPciFunction&, uint16_t offset, uint8_t width) {
    // width 0: the whole space was restored.
    if (width == 0 || (offset <= TSimNvSmbusGpio::BaseOffset + 1 &&
                       offset + width > TSimNvSmbusGpio::BaseOffset)) {
      gpio->FollowBase();
    }
  });
  gpio->FollowBase();
  if ((smbus->Word(TSimNvSmbusGpio::BaseOffset) & 0xFF00) != 0 && gpio->Base() == 0) {
    return reader.Fail("", "the GPIO bytes' ports are taken by another device");
  }
  return true;
}
