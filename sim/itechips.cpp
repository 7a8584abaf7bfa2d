#include "sim/itechips.h"

#include <span>

#include "base/textfmt.h"
#include "sim/analoginputs.h"
#include "sim/simmachine.h"
#include "sim/simstate.h"

// --- chip tables ---

// One GPIO set of logical device 7. Register 0: the set has none.
struct TIteGpioSet {
  uint8_t Number;        // pins GPIO<Number>0 .. GPIO<Number>7
  uint8_t Select;        // multi-function select, bit set: GPIO
  uint8_t Enable;        // simple-I/O enable
  uint8_t Polarity;      // bit set: inverted
  uint8_t PullUp;        // bit set: pulled up
  uint8_t OutputEnable;  // bit set: output
};

enum class TIteSensor : uint8_t { Volts, Temp, FanLow, FanHigh };

struct TIteSensorReg {
  uint8_t Reg;
  TIteSensor Kind;
  std::string_view Input;
  uint8_t Fan = 0;  // 1..5
};

struct TIteChipInfo {
  const TSioChipSpec& Spec;
  std::span<const TIteGpioSet> Sets;
  std::span<const TIteSensorReg> Sensors;
};

namespace {

constexpr uint8_t EcLdn = 0x04;
constexpr uint8_t GpioLdn = 0x07;
constexpr uint8_t FanDivisor = 0x0B;
constexpr uint8_t Fan16Bit = 0x0C;
constexpr uint8_t VendorId = 0x58;
constexpr double Lsb16mV = 0.016;

// Values are the datasheets' power-on defaults.
constexpr TSioRegister FdcRegs[] = {{0x30, 0x00, 0x01}, {0x60, 0x03, 0xFF}, {0x61, 0xF0, 0xF8},
                                    {0x70, 0x06, 0x0F}, {0x74, 0x02, 0x07}, {0xF0, 0x00, 0xFF},
                                    {0xF1, 0x00, 0xFF}};
constexpr TSioRegister Uart1Regs[] = {{0x30, 0x00, 0x01}, {0x60, 0x03, 0xFF}, {0x61, 0xF8, 0xF8},
                                      {0x70, 0x04, 0x0F}, {0xF0, 0x00, 0xFF}, {0xF1, 0x50, 0xFF},
                                      {0xF2, 0x00, 0xFF}, {0xF3, 0x7F, 0xFF}};
constexpr TSioRegister Uart2Regs[] = {{0x30, 0x00, 0x01}, {0x60, 0x02, 0xFF}, {0x61, 0xF8, 0xF8},
                                      {0x70, 0x03, 0x0F}, {0xF0, 0x00, 0xFF}, {0xF1, 0x50, 0xFF},
                                      {0xF2, 0x00, 0xFF}, {0xF3, 0x7F, 0xFF}};
constexpr TSioRegister LptRegs[] = {{0x30, 0x00, 0x01}, {0x60, 0x03, 0xFF}, {0x61, 0x78, 0xFC},
                                    {0x62, 0x07, 0xFF}, {0x63, 0x78, 0xFC}, {0x70, 0x07, 0x0F},
                                    {0x74, 0x03, 0x07}, {0xF0, 0x03, 0xFF}};
// The environment controller's base is eight ports; 0x62/0x63 is the PME base.
constexpr TSioRegister EcRegs[] = {{0x30, 0x00, 0x01}, {0x60, 0x02, 0xFF}, {0x61, 0x90, 0xF8},
                                   {0x62, 0x02, 0xFF}, {0x63, 0x30, 0xF8}, {0x70, 0x09, 0x0F},
                                   {0xF0, 0x00, 0xFF}, {0xF1, 0x00, 0xFF}, {0xF2, 0x00, 0xFF},
                                   {0xF3, 0x00, 0xFF}, {0xF4, 0x00, 0xFF}};
constexpr TSioRegister KbcRegs[] = {{0x30, 0x01, 0x01}, {0x60, 0x00, 0xFF}, {0x61, 0x60, 0xFF},
                                    {0x62, 0x00, 0xFF}, {0x63, 0x64, 0xFF}, {0x70, 0x01, 0x0F},
                                    {0x71, 0x02, 0x03}, {0xF0, 0x08, 0xFF}};
constexpr TSioRegister MouseRegs[] = {
    {0x30, 0x00, 0x01}, {0x70, 0x0C, 0x0F}, {0x71, 0x02, 0x03}, {0xF0, 0x00, 0xFF}};

// Logical device 7 as far as both chips share it; the simple-I/O base (0x62/0x63) is eight
// ports.
#define ITE_GPIO_COMMON                                                               \
  {0x25, 0x01, 0xFF}, {0x26, 0x00, 0xFF}, {0x27, 0x00, 0xFF}, {0x28, 0x40, 0xFF},     \
      {0x29, 0x00, 0xFF}, {0x2A, 0x00, 0xFF}, {0x2B, 0x00, 0xFF}, {0x2C, 0x00, 0xFF}, \
      {0x60, 0x00, 0xFF}, {0x61, 0x00, 0xF8}, {0x62, 0x00, 0xFF}, {0x63, 0x00, 0xF8}, \
      {0x64, 0x00, 0xFF}, {0x65, 0x00, 0xF8}, {0x70, 0x00, 0x0F}, {0x71, 0x30, 0xFF}, \
      {0x72, 0x38, 0xFF}, {0x73, 0x00, 0xFF}, {0x74, 0x00, 0xFF}, {0xB0, 0x00, 0xFF}, \
      {0xB1, 0x00, 0xFF}, {0xB2, 0x00, 0xFF}, {0xB3, 0x00, 0xFF}, {0xB4, 0x00, 0xFF}, \
      {0xB8, 0x00, 0xFF}, {0xB9, 0x00, 0xFF}, {0xBA, 0x00, 0xFF}, {0xBB, 0x00, 0xFF}, \
      {0xBC, 0x00, 0xFF}, {0xC0, 0x01, 0xFF}, {0xC1, 0x00, 0xFF}, {0xC2, 0x00, 0xFF}, \
      {0xC3, 0x40, 0xFF}, {0xC4, 0x00, 0xFF}, {0xC8, 0x01, 0xFF}, {0xC9, 0x00, 0xFF}, \
      {0xCA, 0x00, 0xFF}, {0xCB, 0x40, 0xFF}, {0xCC, 0x00, 0xFF}, {0xE0, 0x00, 0xFF}, \
      {0xE1, 0x00, 0xFF}, {0xE2, 0x00, 0xFF}, {0xE3, 0x00, 0xFF}, {0xE4, 0x00, 0xFF}, \
      {0xF0, 0x00, 0xFF}, {0xF1, 0x00, 0xFF}, {0xF2, 0x00, 0xFF}, {0xF3, 0x00, 0xFF}, \
      {0xF4, 0x00, 0xFF}, {0xF5, 0x00, 0xFF}, {                                       \
    0xF6, 0x00, 0xFF                                                                  \
  }
constexpr TSioRegister It8712GpioRegs[] = {ITE_GPIO_COMMON};
// The IT8720F adds sets 6 to 8, which have only their output enables.
constexpr TSioRegister It8720GpioRegs[] = {
    ITE_GPIO_COMMON, {0xCD, 0x00, 0xFF}, {0xCE, 0x00, 0xFF}, {0xCF, 0x00, 0xFF}};
#undef ITE_GPIO_COMMON

constexpr TSioDevice It8720Devices[] = {{0x00, "FDC", FdcRegs},
                                        {0x01, "UART 1", Uart1Regs},
                                        {0x02, "UART 2", Uart2Regs},
                                        {0x03, "Parallel port", LptRegs},
                                        {EcLdn, "Environment controller", EcRegs},
                                        {0x05, "Keyboard", KbcRegs},
                                        {0x06, "Mouse", MouseRegs},
                                        {GpioLdn, "GPIO", It8720GpioRegs}};
constexpr TSioDevice It8712Devices[] = {{0x00, "FDC", FdcRegs},
                                        {0x01, "UART 1", Uart1Regs},
                                        {0x02, "UART 2", Uart2Regs},
                                        {0x03, "Parallel port", LptRegs},
                                        {EcLdn, "Environment controller", EcRegs},
                                        {0x05, "Keyboard", KbcRegs},
                                        {0x06, "Mouse", MouseRegs},
                                        {GpioLdn, "GPIO", It8712GpioRegs}};

constexpr TSioRegister It8720Global[] = {{0x20, 0x87, 0x00},
                                         {0x21, 0x20, 0x00},
                                         {0x22, 0x02, 0x00},
                                         {0x23, 0x00, 0xFF},
                                         {0x24, 0x00, 0xFF}};
constexpr TSioRegister It8712Global[] = {{0x20, 0x87, 0x00},
                                         {0x21, 0x12, 0x00},
                                         {0x22, 0x08, 0x00},
                                         {0x23, 0x00, 0xFF},
                                         {0x24, 0x00, 0xFF}};

constexpr TIteGpioSet It8720Sets[] = {{1, 0x25, 0xC0, 0xB0, 0xB8, 0xC8},
                                      {2, 0x26, 0xC1, 0xB1, 0xB9, 0xC9},
                                      {3, 0x27, 0xC2, 0xB2, 0xBA, 0xCA},
                                      {4, 0x28, 0xC3, 0xB3, 0xBB, 0xCB},
                                      {5, 0x29, 0xC4, 0xB4, 0xBC, 0xCC},
                                      {6, 0, 0, 0, 0, 0xCD},
                                      {7, 0, 0, 0, 0, 0xCE},
                                      {8, 0, 0, 0, 0, 0xCF}};

constexpr TIteSensorReg Sensors[] = {
    {0x20, TIteSensor::Volts, "VIN0"},
    {0x21, TIteSensor::Volts, "VIN1"},
    {0x22, TIteSensor::Volts, "VIN2"},
    {0x23, TIteSensor::Volts, "VIN3"},
    {0x24, TIteSensor::Volts, "VIN4"},
    {0x25, TIteSensor::Volts, "VIN5"},
    {0x26, TIteSensor::Volts, "VIN6"},
    {0x27, TIteSensor::Volts, "VIN7"},
    {0x28, TIteSensor::Volts, "VBAT"},
    {0x29, TIteSensor::Temp, "TMPIN1"},
    {0x2A, TIteSensor::Temp, "TMPIN2"},
    {0x2B, TIteSensor::Temp, "TMPIN3"},
    {0x0D, TIteSensor::FanLow, "FAN_TAC1", 1},
    {0x18, TIteSensor::FanHigh, "FAN_TAC1", 1},
    {0x0E, TIteSensor::FanLow, "FAN_TAC2", 2},
    {0x19, TIteSensor::FanHigh, "FAN_TAC2", 2},
    {0x0F, TIteSensor::FanLow, "FAN_TAC3", 3},
    {0x1A, TIteSensor::FanHigh, "FAN_TAC3", 3},
    // The IT8720F's fourth and fifth fans; last, so the IT8712F can leave them off.
    {0x80, TIteSensor::FanLow, "FAN_TAC4", 4},
    {0x81, TIteSensor::FanHigh, "FAN_TAC4", 4},
    {0x82, TIteSensor::FanLow, "FAN_TAC5", 5},
    {0x83, TIteSensor::FanHigh, "FAN_TAC5", 5}};

// Power-on values of the controller's plain registers: monitoring started, fan divisors 2 and
// 8-bit counts, all voltage channels enabled.
struct TIteEcReset {
  uint8_t Reg;
  uint8_t Value;
};
constexpr TIteEcReset EcResets[] = {{0x00, 0x18}, {FanDivisor, 0x09}, {Fan16Bit, 0x00},
                                    {0x15, 0x7F}, {0x16, 0x7F},       {0x17, 0x7F},
                                    {0x50, 0xFF}, {VendorId, 0x90}};

constexpr TSioChipSpec It8720Spec{"IT8720F", TSioFamily::Ite, It8720Global, It8720Devices, EcLdn,
                                  GpioLdn,   GpioLdn,         0x25,         0x2C};
constexpr TSioChipSpec It8712Spec{"IT8712F", TSioFamily::Ite, It8712Global, It8712Devices, EcLdn,
                                  GpioLdn,   GpioLdn,         0x25,         0x2C};

const TIteChipInfo It8720Info{It8720Spec, It8720Sets, Sensors};
const TIteChipInfo It8712Info{It8712Spec, std::span(It8720Sets).first(5),
                              std::span(Sensors).first(std::size(Sensors) - 4)};
const TIteChipInfo* const Chips[] = {&It8720Info, &It8712Info};

const TIteSensorReg* FindSensor(std::span<const TIteSensorReg> sensors, uint8_t reg) {
  for (const TIteSensorReg& sensor : sensors) {
    if (sensor.Reg == reg) return &sensor;
  }
  return nullptr;
}

}  // namespace

// --- port handlers ---

uint32_t TSimIteChip::TEcPorts::PortRead(uint16_t port, uint8_t width) {
  uint32_t value = 0;
  for (uint8_t i = 0; i < width; ++i) {
    value |= uint32_t{Chip_.EcPortRead(static_cast<uint16_t>(port + i))} << (8 * i);
  }
  return value;
}

void TSimIteChip::TEcPorts::PortWrite(uint16_t port, uint8_t width, uint32_t value) {
  for (uint8_t i = 0; i < width; ++i) {
    Chip_.EcPortWrite(static_cast<uint16_t>(port + i), static_cast<uint8_t>(value >> (8 * i)));
  }
}

uint32_t TSimIteChip::TSimpleIoPorts::PortRead(uint16_t port, uint8_t width) {
  uint32_t value = 0;
  for (uint8_t i = 0; i < width; ++i) {
    const auto set = static_cast<uint8_t>(port + i - Chip_.SimpleIoBase_ + 1);
    value |= uint32_t{Chip_.SimpleIoRead(set)} << (8 * i);
  }
  return value;
}

void TSimIteChip::TSimpleIoPorts::PortWrite(uint16_t port, uint8_t width, uint32_t value) {
  for (uint8_t i = 0; i < width; ++i) {
    const auto set = static_cast<uint8_t>(port + i - Chip_.SimpleIoBase_ + 1);
    Chip_.SimpleIoWrite(set, static_cast<uint8_t>(value >> (8 * i)));
  }
}

// --- the chip ---

TSimIteChip::TSimIteChip(TSimMachine& machine, const TIteChipInfo& info, uint16_t port)
    : TSimSuperIo(info.Spec, port),
      Machine_(machine),
      Info_(info),
      Wiring_(SimWiring(machine)),
      Inputs_(SimMonitorInputs(machine)),
      EcPorts_(*this),
      SimpleIoPorts_(*this) {
  for (const TIteEcReset& reset : EcResets) Ec_[reset.Reg] = reset.Value;
  for (const TIteSensorReg& sensor : Info_.Sensors) {
    Inputs_.Declare(sensor.Input, sensor.Kind == TIteSensor::Volts  ? TSimUnit::Volts
                                  : sensor.Kind == TIteSensor::Temp ? TSimUnit::Celsius
                                                                    : TSimUnit::Rpm);
  }
  RegistersRestored();
}

TSimIteChip::~TSimIteChip() {
  Machine_.Ports().Release(&EcPorts_);
  Machine_.Ports().Release(&SimpleIoPorts_);
}

// --- GPIO ---

bool TSimIteChip::FindPin(std::string_view pin, size_t* set, uint8_t* bit) const {
  if (pin.size() != 6 || !StartsWithNoCase(pin, "GPIO") || pin[5] < '0' || pin[5] > '7') {
    return false;
  }
  for (size_t s = 0; s < Info_.Sets.size(); ++s) {
    if (pin[4] == '0' + Info_.Sets[s].Number) {
      *set = s;
      *bit = static_cast<uint8_t>(pin[5] - '0');
      return true;
    }
  }
  return false;
}

bool TSimIteChip::GpioBit(size_t set, uint8_t bit) const {
  const TIteGpioSet& s = Info_.Sets[set];
  if (s.Select == 0) return true;
  const uint8_t gpio = Register(GpioLdn, s.Select) & Register(GpioLdn, s.Enable);
  return ((gpio >> bit) & 1) != 0;
}

uint8_t TSimIteChip::Outputs(size_t set) const {
  return Register(GpioLdn, Info_.Sets[set].OutputEnable);
}

uint8_t TSimIteChip::Polarity(size_t set) const {
  const uint8_t reg = Info_.Sets[set].Polarity;
  return reg != 0 ? Register(GpioLdn, reg) : 0;
}

bool TSimIteChip::InputLevel(size_t set, uint8_t bit) const {
  const TIteGpioSet& s = Info_.Sets[set];
  const std::string pin = "GPIO" + std::to_string(s.Number) + static_cast<char>('0' + bit);
  if (const auto wired = Wiring_.InputLevel("SIO", pin)) return *wired;
  // An unwired input follows its pull-up; pins without one float high.
  return s.PullUp == 0 || ((Register(GpioLdn, s.PullUp) >> bit) & 1) != 0;
}

bool TSimIteChip::HasPin(std::string_view pin) const {
  size_t set = 0;
  uint8_t bit = 0;
  return FindPin(pin, &set, &bit);
}

bool TSimIteChip::PinIsGpio(std::string_view pin) const {
  size_t set = 0;
  uint8_t bit = 0;
  return FindPin(pin, &set, &bit) && GpioBit(set, bit);
}

TSimPinDrive TSimIteChip::PinDrive(std::string_view pin) const {
  size_t set = 0;
  uint8_t bit = 0;
  if (!FindPin(pin, &set, &bit) || !GpioBit(set, bit) || ((Outputs(set) >> bit) & 1) == 0) {
    return TSimPinDrive::Floating;
  }
  const bool level = (((Latch_[set] ^ Polarity(set)) >> bit) & 1) != 0;
  return level ? TSimPinDrive::High : TSimPinDrive::Low;
}

uint8_t TSimIteChip::SimpleIoRead(uint8_t set) const {
  if (set < 1 || set > Info_.Sets.size()) return 0xFF;
  const size_t s = set - 1;
  const uint8_t outputs = Outputs(s);
  const uint8_t polarity = Polarity(s);
  uint8_t value = Latch_[s];
  for (uint8_t bit = 0; bit < 8; ++bit) {
    const uint8_t mask = static_cast<uint8_t>(1u << bit);
    if ((outputs & mask) != 0 || !GpioBit(s, bit)) continue;
    const bool level = InputLevel(s, bit) != ((polarity & mask) != 0);
    value = static_cast<uint8_t>(level ? value | mask : value & ~mask);
  }
  return value;
}

void TSimIteChip::SimpleIoWrite(uint8_t set, uint8_t value) {
  if (set < 1 || set > Info_.Sets.size()) return;
  const size_t s = set - 1;
  const uint8_t outputs = Outputs(s);
  Latch_[s] = static_cast<uint8_t>((Latch_[s] & ~outputs) | (value & outputs));
}

// --- environment controller ---

uint8_t TSimIteChip::MonitorRead(uint8_t reg) const {
  const TIteSensorReg* sensor = FindSensor(Info_.Sensors, reg);
  if (sensor == nullptr) return Ec_[reg];
  switch (sensor->Kind) {
    case TIteSensor::Volts:
      return SimAdcCode(Inputs_.PinValue(sensor->Input).value_or(0), Lsb16mV);
    case TIteSensor::Temp: {
      const std::optional<double> celsius = Inputs_.Value(sensor->Input);
      return celsius ? SimTemperatureCode(*celsius) : 0;
    }
    case TIteSensor::FanLow:
    case TIteSensor::FanHigh: {
      const double rpm = Inputs_.Value(sensor->Input).value_or(0);
      const bool wide = sensor->Fan > 3 || ((Ec_[Fan16Bit] >> (sensor->Fan - 1)) & 1) != 0;
      if (wide) {
        const uint32_t count = SimFanCount(rpm, 2, 0xFFFF);
        return static_cast<uint8_t>(sensor->Kind == TIteSensor::FanLow ? count : count >> 8);
      }
      if (sensor->Kind == TIteSensor::FanHigh) return 0;
      const uint8_t divisors = Ec_[FanDivisor];
      const uint32_t exponent = sensor->Fan == 1   ? (divisors & 0x07)
                                : sensor->Fan == 2 ? ((divisors >> 3) & 0x07)
                                                   : ((divisors & 0x40) != 0 ? 3 : 1);
      return static_cast<uint8_t>(SimFanCount(rpm, 1u << exponent, 0xFF));
    }
  }
  return 0xFF;
}

bool TSimIteChip::SetMonitorRegister(uint16_t reg, uint8_t value) {
  if (reg > 0xFF || reg == VendorId || FindSensor(Info_.Sensors, static_cast<uint8_t>(reg))) {
    return false;
  }
  Ec_[reg] = value;
  return true;
}

uint8_t TSimIteChip::EcPortRead(uint16_t port) const {
  return port == EcBase_ + 5 ? EcIndex_ : MonitorRead(EcIndex_);
}

void TSimIteChip::EcPortWrite(uint16_t port, uint8_t value) {
  if (port == EcBase_ + 5) {
    EcIndex_ = value;
  } else if (EcIndex_ != VendorId && FindSensor(Info_.Sensors, EcIndex_) == nullptr) {
    Ec_[EcIndex_] = value;  // readings and the vendor ID are read-only
  }
}

// --- decoding ---

void TSimIteChip::RegisterChanged(uint8_t ldn, uint8_t reg) {
  if ((ldn == EcLdn && (reg == Activate || reg == 0x60 || reg == 0x61)) ||
      (ldn == GpioLdn && (reg == 0x62 || reg == 0x63))) {
    FollowBases();
  }
}

void TSimIteChip::RegistersRestored() {
  FollowBases();
}

void TSimIteChip::FollowBases() {
  TSimPortBus& ports = Machine_.Ports();
  const std::string name(Info_.Spec.Name);
  const uint16_t ec = DeviceActive(EcLdn) ? DeviceBase(EcLdn) : 0;
  if (ec != EcBase_) {
    if (EcBase_ != 0) ports.Release(static_cast<uint16_t>(EcBase_ + 5));
    EcBase_ = 0;
    // A base whose ports another device holds stays silent, as a decode conflict would.
    if (ec != 0 && ec <= 0xFFF8 &&
        ports.Claim(static_cast<uint16_t>(ec + 5), 2, &EcPorts_,
                    name + " environment controller")) {
      EcBase_ = ec;
    }
  }
  const uint16_t simpleIo = DeviceBase(GpioLdn, 0x62);
  if (simpleIo != SimpleIoBase_) {
    if (SimpleIoBase_ != 0) ports.Release(SimpleIoBase_);
    SimpleIoBase_ = 0;
    if (simpleIo != 0 && simpleIo <= 0xFFF8 &&
        ports.Claim(simpleIo, static_cast<uint32_t>(Info_.Sets.size()), &SimpleIoPorts_,
                    name + " simple I/O")) {
      SimpleIoBase_ = simpleIo;
    }
  }
}

void TSimIteChip::SaveChipState(TSimState& state) const {
  state.SetBytes("superio.ec.regs", Ec_.data(), Ec_.size());
  state.SetNumber("superio.ec.index", EcIndex_);
  state.SetBytes("superio.gpio.latch", Latch_.data(), Latch_.size());
}

bool TSimIteChip::LoadChipState(const TSimState& state, std::string* error) {
  std::array<uint8_t, 256> ec{};
  std::array<uint8_t, 8> latch{};
  uint64_t index = 0;
  if (!state.GetBytes("superio.ec.regs", ec.data(), ec.size(), error) ||
      !state.GetNumber("superio.ec.index", &index, error) ||
      !state.GetBytes("superio.gpio.latch", latch.data(), latch.size(), error)) {
    return false;
  }
  Ec_ = ec;
  EcIndex_ = static_cast<uint8_t>(index & 0xFF);
  Latch_ = latch;
  return true;
}

std::unique_ptr<TSimSuperIo> CreateSimIteChip(TSimMachine& machine, std::string_view name,
                                              uint16_t port) {
  for (const TIteChipInfo* info : Chips) {
    if (EqualsNoCase(name, info->Spec.Name)) {
      return std::make_unique<TSimIteChip>(machine, *info, port);
    }
  }
  return nullptr;
}

std::string SimIteChipNames() {
  std::string names;
  for (const TIteChipInfo* info : Chips) {
    names += (names.empty() ? "" : ", ") + std::string(info->Spec.Name);
  }
  return names;
}
