#include "sim/ichgpio.h"

#include <algorithm>

#include "base/textfmt.h"
#include "sim/pcibus.h"
#include "sim/simmachine.h"
#include "sim/simstate.h"
#include "sim/superio.h"

namespace {

constexpr uint8_t NotPerPin = 0xFF;

constexpr TSimIchGpioRegister Ich9Registers[] = {{0x00, "GPIO_USE_SEL", 0, 0xFFFFFFFF},
                                                 {0x04, "GP_IO_SEL", 0, 0xFFFFFFFF},
                                                 {0x0C, "GP_LVL", 0, 0xFFFFFFFF},
                                                 {0x18, "GPO_BLINK", 0, 0xFFFFFFFF},
                                                 {0x1C, "GP_SER_BLINK", 0, 0xFFFFFFFF},
                                                 {0x20, "GP_SB_CMDSTS", NotPerPin, 0x003F0001},
                                                 {0x24, "GP_SB_DATA", NotPerPin, 0xFFFFFFFF},
                                                 {0x2C, "GPI_INV", 0, 0x0000FFFF},
                                                 {0x30, "GPIO_USE_SEL2", 1, 0xFFFFFFFF},
                                                 {0x34, "GP_IO_SEL2", 1, 0xFFFFFFFF},
                                                 {0x38, "GP_LVL2", 1, 0xFFFFFFFF}};
constexpr TSimIchGpioRegister Ich10Registers[] = {{0x00, "GPIO_USE_SEL", 0, 0xFFFFFFFF},
                                                  {0x04, "GP_IO_SEL", 0, 0xFFFFFFFF},
                                                  {0x0C, "GP_LVL", 0, 0xFFFFFFFF},
                                                  {0x18, "GPO_BLINK", 0, 0xFFFFFFFF},
                                                  {0x1C, "GP_SER_BLINK", 0, 0xFFFFFFFF},
                                                  {0x20, "GP_SB_CMDSTS", NotPerPin, 0x003F0001},
                                                  {0x24, "GP_SB_DATA", NotPerPin, 0xFFFFFFFF},
                                                  {0x2C, "GPI_INV", 0, 0x0000FFFF},
                                                  {0x30, "GPIO_USE_SEL2", 1, 0xFFFFFFFF},
                                                  {0x34, "GP_IO_SEL2", 1, 0xFFFFFFFF},
                                                  {0x38, "GP_LVL2", 1, 0xFFFFFFFF},
                                                  {0x40, "GPIO_USE_SEL3", 2, 0xFFFFFFFF},
                                                  {0x44, "GP_IO_SEL3", 2, 0xFFFFFFFF},
                                                  {0x48, "GP_LVL3", 2, 0xFFFFFFFF},
                                                  {0x60, "GP_RST_SEL", NotPerPin, 0xFFFFFFFF}};

// The ICH10R (consumer) has the ICH10's registers but only GPIO 0..60.
constexpr TSimIchGpioSpec Specs[] = {{"ICH9", 64, 61, Ich9Registers},
                                     {"ICH10R", 128, 61, Ich10Registers},
                                     {"ICH10", 128, 72, Ich10Registers}};

// The I/O-select and level registers of each bank.
constexpr uint8_t IoSelOf[] = {0x04, 0x34, 0x44};
constexpr uint8_t UseSelOf[] = {0x00, 0x30, 0x40};
constexpr uint8_t LevelOf[] = {0x0C, 0x38, 0x48};

}  // namespace

const TSimIchGpioSpec* TSimIchGpio::FindSpec(std::string_view chip) {
  for (const TSimIchGpioSpec& spec : Specs) {
    if (EqualsNoCase(chip, spec.Name)) return &spec;
  }
  return nullptr;
}

TSimIchGpio::TSimIchGpio(TSimMachine& machine, TSimPciFunction& lpc, const TSimIchGpioSpec& spec)
    : Machine_(machine), Lpc_(lpc), Spec_(spec), Wiring_(SimWiring(machine)) {
  // GPIOBASE holds the block's base above its size; bit 0 reads 1 (I/O space).
  const uint16_t baseMask = static_cast<uint16_t>(0xFFFF & ~(spec.BlockSize - 1));
  Lpc_.SetWriteMask(GpioBaseOffset, static_cast<uint8_t>(baseMask & 0xFE));
  Lpc_.SetWriteMask(GpioBaseOffset + 1, static_cast<uint8_t>(baseMask >> 8));
  Lpc_.SetByte(GpioBaseOffset, static_cast<uint8_t>(Lpc_.Byte(GpioBaseOffset) | 1));
  Lpc_.SetWriteMask(GpioControlOffset, GpioEnable);
}

TSimIchGpio::~TSimIchGpio() {
  Machine_.Ports().Release(this);
}

const TSimIchGpioRegister* TSimIchGpio::Find(uint8_t offset) const {
  for (const TSimIchGpioRegister& reg : Spec_.Registers) {
    if (reg.Offset == offset) return &reg;
  }
  return nullptr;
}

uint32_t TSimIchGpio::Implemented(uint8_t bank) const {
  const int first = 32 * bank;
  if (Spec_.Pins <= first) return 0;
  return Spec_.Pins - first >= 32 ? 0xFFFFFFFFu : (1u << (Spec_.Pins - first)) - 1;
}

uint32_t TSimIchGpio::InputLevels(uint8_t bank) const {
  uint32_t levels = 0;
  for (uint8_t bit = 0; bit < 32; ++bit) {
    const int pin = 32 * bank + bit;
    if (pin >= Spec_.Pins) break;
    // Unwired inputs read high, as the board's pull-ups hold them.
    if (Wiring_.InputLevel("ICH", "GPIO" + std::to_string(pin)).value_or(true)) {
      levels |= 1u << bit;
    }
  }
  return levels;
}

uint32_t TSimIchGpio::Register(uint8_t offset) const {
  return Find(offset) != nullptr ? Regs_[offset / 4] : 0;
}

uint32_t TSimIchGpio::ReadRegister(uint8_t offset) const {
  const uint32_t stored = Register(offset);
  for (uint8_t bank = 0; bank < 3; ++bank) {
    if (offset != LevelOf[bank] || Find(offset) == nullptr) continue;
    const uint32_t inputs = Register(UseSelOf[bank]) & Register(IoSelOf[bank]);
    return (stored & ~inputs) | (InputLevels(bank) & inputs);
  }
  return stored;
}

void TSimIchGpio::WriteRegister(uint8_t offset, uint32_t value, uint32_t lanes) {
  const TSimIchGpioRegister* reg = Find(offset);
  if (reg == nullptr) return;
  uint32_t writable = reg->WriteMask & lanes;
  if (reg->Bank != NotPerPin) writable &= Implemented(reg->Bank);
  for (uint8_t bank = 0; bank < 3; ++bank) {
    // Inputs keep their output latch.
    if (offset == LevelOf[bank]) writable &= ~Register(IoSelOf[bank]);
  }
  uint32_t& slot = Regs_[offset / 4];
  slot = (slot & ~writable) | (value & writable);
}

bool TSimIchGpio::SetRegister(uint8_t offset, uint32_t value) {
  const TSimIchGpioRegister* reg = Find(offset);
  if (reg == nullptr) return false;
  Regs_[offset / 4] = reg->Bank != NotPerPin ? value & Implemented(reg->Bank) : value;
  return true;
}

void TSimIchGpio::FollowBase() {
  const uint16_t base =
      (Lpc_.Byte(GpioControlOffset) & GpioEnable) != 0
          ? static_cast<uint16_t>(Lpc_.Word(GpioBaseOffset) & ~(Spec_.BlockSize - 1))
          : 0;
  if (base == Claimed_) return;
  if (Claimed_ != 0) Machine_.Ports().Release(Claimed_);
  Claimed_ = 0;
  // A block that overlaps another device's ports stays silent, as a decode conflict would.
  if (base != 0 &&
      Machine_.Ports().Claim(base, Spec_.BlockSize, this, std::string(Spec_.Name) + " GPIO")) {
    Claimed_ = base;
  }
}

bool TSimIchGpio::PinIndex(std::string_view pin, uint8_t* index) const {
  const std::optional<unsigned> number = SimGpioNumber(pin);
  if (!number || *number >= Spec_.Pins) return false;
  *index = static_cast<uint8_t>(*number);
  return true;
}

bool TSimIchGpio::HasPin(std::string_view pin) const {
  uint8_t index = 0;
  return PinIndex(pin, &index);
}

TSimPinDrive TSimIchGpio::PinDrive(std::string_view pin) const {
  uint8_t index = 0;
  if (!PinIndex(pin, &index)) return TSimPinDrive::Floating;
  const uint8_t bank = index / 32;
  const uint32_t mask = 1u << (index % 32);
  if ((Register(UseSelOf[bank]) & mask) == 0 || (Register(IoSelOf[bank]) & mask) != 0) {
    return TSimPinDrive::Floating;
  }
  return (Register(LevelOf[bank]) & mask) != 0 ? TSimPinDrive::High : TSimPinDrive::Low;
}

uint32_t TSimIchGpio::PortRead(uint16_t port, uint8_t width) {
  uint32_t value = 0;
  for (uint8_t i = 0; i < width; ++i) {
    const auto offset = static_cast<uint8_t>(port + i - Claimed_);
    const uint32_t reg = ReadRegister(offset & ~3);
    value |= ((reg >> (8 * (offset & 3))) & 0xFF) << (8 * i);
  }
  return value;
}

void TSimIchGpio::PortWrite(uint16_t port, uint8_t width, uint32_t value) {
  for (uint8_t i = 0; i < width; ++i) {
    const auto offset = static_cast<uint8_t>(port + i - Claimed_);
    const uint32_t shift = 8 * (offset & 3);
    WriteRegister(offset & ~3, ((value >> (8 * i)) & 0xFF) << shift, 0xFFu << shift);
  }
}

void TSimIchGpio::SaveState(TSimState& state) const {
  std::array<uint8_t, sizeof Regs_> bytes{};
  for (size_t i = 0; i < Regs_.size(); ++i) {
    for (size_t b = 0; b < 4; ++b) bytes[i * 4 + b] = static_cast<uint8_t>(Regs_[i] >> (8 * b));
  }
  state.SetBytes(std::string(Name) + ".regs", bytes.data(), bytes.size());
}

bool TSimIchGpio::LoadState(const TSimState& state, std::string* error) {
  std::array<uint8_t, sizeof Regs_> bytes{};
  if (!state.GetBytes(std::string(Name) + ".regs", bytes.data(), bytes.size(), error)) {
    return false;
  }
  for (size_t i = 0; i < Regs_.size(); ++i) {
    Regs_[i] = 0;
    for (size_t b = 0; b < 4; ++b) Regs_[i] |= uint32_t{bytes[i * 4 + b]} << (8 * b);
  }
  FollowBase();
  return true;
}

bool BuildSimIchGpio(TSimMachine& machine, const TIniFile& ini, const std::string& section,
                     std::string* error) {
  const TSimSectionReader reader(ini, section, error);
  const TSimIchGpioSpec* spec =
      TSimIchGpio::FindSpec(reader.Has("Chip") ? reader.Text("Chip") : "ICH9");
  if (spec == nullptr) return reader.Fail("Chip", "expected ICH9, ICH10R or ICH10");
  for (const std::string& key : reader.Keys()) {
    const bool known = EqualsNoCase(key, "Chip") || EqualsNoCase(key, "Function") ||
                       std::any_of(spec->Registers.begin(), spec->Registers.end(),
                                   [&](const auto& reg) { return EqualsNoCase(key, reg.Name); });
    if (!known) return reader.Fail(key, "unknown key");
  }
  const std::string where =
      reader.Has("Function") ? TrimBlanks(reader.Text("Function")) : "00:1f.0";
  uint8_t bus = 0, device = 0, function = 0;
  if (!reader.PciAddress("Function", "00:1f.0", &bus, &device, &function)) return false;
  TSimPciFunction* lpc = machine.Pci().Function(bus, device, function);
  if (lpc == nullptr) {
    return reader.Fail("Function",
                       "no PCI function " + where + " (its [PCI] section comes before this one)");
  }
  auto* gpio = machine.Add(std::make_unique<TSimIchGpio>(machine, *lpc, *spec));
  if (gpio == nullptr) return reader.Fail("", "the board already has an ICH GPIO block");
  if (!SimWiring(machine).AddChip("ICH", gpio)) return reader.Fail("", "pin prefix ICH is taken");
  for (const TSimIchGpioRegister& reg : spec->Registers) {
    uint64_t value = 0;
    if (!reader.Number(reg.Name, &value, 0xFFFFFFFF)) return false;
    gpio->SetRegister(reg.Offset, static_cast<uint32_t>(value));
  }
  lpc->AddListener([gpio](TSimPciFunction&, uint16_t offset, uint8_t width) {
    // width 0: the whole space was restored.
    if (width == 0 || (offset <= TSimIchGpio::GpioControlOffset &&
                       offset + width > TSimIchGpio::GpioBaseOffset)) {
      gpio->FollowBase();
    }
  });
  gpio->FollowBase();
  const bool enabled = (lpc->Byte(TSimIchGpio::GpioControlOffset) & TSimIchGpio::GpioEnable) != 0;
  if (enabled && (lpc->Word(TSimIchGpio::GpioBaseOffset) & ~1) != 0 && gpio->Base() == 0) {
    return reader.Fail("", "the GPIO block's ports are taken by another device");
  }
  return true;
}
