#include "sim/winbondchips.h"

#include <algorithm>
#include <cmath>
#include <span>

#include "base/textfmt.h"
#include "sim/analoginputs.h"
#include "sim/simmachine.h"
#include "sim/simstate.h"

// --- chip tables ---

// A test on a global configuration register: (CR[Reg] AND Mask) = Value. Mask 0 never holds.
struct TWbCondition {
  uint8_t Reg = 0;
  uint8_t Mask = 0;
  uint8_t Value = 0;
};

// A select register: global, or of the group's own logical device. Reg 0: none.
struct TWbSelect {
  bool Global = false;
  uint8_t Reg = 0;
};

// Pins (bits of the group) that serve another function when any of the conditions holds.
struct TWbPinRule {
  uint8_t Pins = 0;
  TWbCondition AnyOf[2] = {};
};

struct TWbGpioGroup {
  uint8_t Number = 0;  // pins GPIO<Number>0 .. GPIO<Number>7
  uint8_t Ldn = 0;
  uint8_t ActBit = 0;  // in register 0x30 of Ldn
  TWbCondition NotGpio = {};
  TWbSelect GpioSelect = {};    // bit set: the pin is a GPIO (none: every pin may be)
  TWbSelect AltSelect[2] = {};  // bit set: the pin serves its other function
  uint8_t Dir = 0, Data = 0, Inv = 0;
  TWbPinRule Extra[3] = {};
};

enum class TWbSensor : uint8_t { Volts, Temp, TempWhole, TempHalf, Fan };

struct TWbSensorReg {
  uint16_t Reg;  // bank x 0x100 + register
  TWbSensor Kind;
  std::string_view Input;
  double Lsb = 0;  // volts per step
  // Fan divisor 2^(field + 4 x bit).
  uint16_t DivReg = 0;
  uint8_t DivMask = 0;
  uint8_t DivShift = 0;
  uint16_t DivBitReg = 0;
  uint8_t DivBitMask = 0;
};

struct TWbChipInfo {
  const TSioChipSpec& Spec;
  std::span<const TWbGpioGroup> Groups;
  std::span<const TWbSensorReg> Sensors;
};

namespace {

constexpr uint8_t HwmLdn = 0x0B;

// Logical devices the program never touches, kept for a faithful configuration space. Values are
// the datasheets' power-on defaults.
constexpr TSioRegister FdcRegs[] = {{0x30, 0x01, 0x01}, {0x60, 0x03, 0xFF}, {0x61, 0xF0, 0xF8},
                                    {0x70, 0x06, 0x0F}, {0x74, 0x02, 0x07}, {0xF0, 0x8E, 0xFF},
                                    {0xF1, 0x00, 0xFF}, {0xF2, 0xFF, 0xFF}, {0xF4, 0x00, 0xFF},
                                    {0xF5, 0x00, 0xFF}};
constexpr TSioRegister LptRegs[] = {{0x30, 0x01, 0x01}, {0x60, 0x03, 0xFF}, {0x61, 0x78, 0xFC},
                                    {0x70, 0x07, 0x0F}, {0x74, 0x04, 0x07}, {0xF0, 0x3F, 0xFF}};
constexpr TSioRegister UartARegs[] = {{0x30, 0x01, 0x01},
                                      {0x60, 0x03, 0xFF},
                                      {0x61, 0xF8, 0xF8},
                                      {0x70, 0x04, 0x0F},
                                      {0xF0, 0x00, 0xFF}};
constexpr TSioRegister UartBRegs[] = {{0x30, 0x01, 0x01}, {0x60, 0x02, 0xFF}, {0x61, 0xF8, 0xF8},
                                      {0x70, 0x03, 0x0F}, {0xF0, 0x00, 0xFF}, {0xF1, 0x00, 0xFF}};
constexpr TSioRegister KbcRegs[] = {{0x30, 0x01, 0x01}, {0x60, 0x00, 0xFF}, {0x61, 0x60, 0xFF},
                                    {0x62, 0x00, 0xFF}, {0x63, 0x64, 0xFF}, {0x70, 0x01, 0x0F},
                                    {0x72, 0x0C, 0x0F}, {0xF0, 0x83, 0xFF}};
constexpr TSioRegister SpiRegs[] = {{0x30, 0x00, 0x01}, {0x62, 0x00, 0xFF}, {0x63, 0x00, 0xF8}};
constexpr TSioRegister WdtRegs[] = {
    {0x30, 0x00, 0xFF}, {0xF5, 0x00, 0xFF}, {0xF6, 0x00, 0xFF}, {0xF7, 0x00, 0xFF}};
constexpr TSioRegister AcpiRegs[] = {{0x30, 0x00, 0x01}, {0x70, 0x00, 0x0F}, {0xE0, 0x01, 0xFF},
                                     {0xE1, 0x00, 0xFF}, {0xE2, 0xFF, 0xFF}, {0xE3, 0x08, 0xFF},
                                     {0xE4, 0x00, 0xFF}, {0xE6, 0x1C, 0xFF}, {0xE7, 0x00, 0xFF},
                                     {0xF2, 0x7C, 0xFF}, {0xF3, 0x00, 0xFF}, {0xF4, 0x00, 0xFF},
                                     {0xF6, 0x00, 0xFF}, {0xF7, 0x00, 0xFF}};
// The monitor's base is eight ports, so bits 2:0 of 0x61 are fixed.
constexpr TSioRegister HwmRegs[] = {{0x30, 0x00, 0x01}, {0x60, 0x00, 0xFF}, {0x61, 0x00, 0xF8},
                                    {0x70, 0x00, 0x0F}, {0xF0, 0x81, 0xFF}, {0xF1, 0x00, 0xFF},
                                    {0xF2, 0x00, 0xFF}};

// W83627DHG. CR26 bit 6 (HEFRAS) latches the configuration port strap.
constexpr TSioRegister DhgGlobal[] = {
    {0x20, 0xA0, 0x00}, {0x21, 0x21, 0x00}, {0x22, 0xFF, 0xFF}, {0x23, 0x00, 0x01},
    {0x24, 0x00, 0xFF}, {0x25, 0x00, 0xFF}, {0x26, 0x00, 0xBF}, {0x27, 0x00, 0xFF},
    {0x28, 0x50, 0xFF}, {0x29, 0x00, 0xFF}, {0x2A, 0x00, 0xFF}, {0x2B, 0x00, 0xFF},
    {0x2C, 0xE2, 0xFF}, {0x2D, 0x21, 0xFF}, {0x2E, 0x00, 0xFF}, {0x2F, 0x00, 0xFF}};
// GPIO6 only in LDN 7 (the W83627EHF's GPIO1 registers F0-F3 are gone).
constexpr TSioRegister DhgGpio6Regs[] = {{0x30, 0x00, 0xFF},
                                         {0xF4, 0xFF, 0xFF},
                                         {0xF5, 0x00, 0xFF},
                                         {0xF6, 0x00, 0xFF},
                                         {0xF7, 0x00, 0xFF}};
constexpr TSioRegister DhgGpio2to5Regs[] = {
    {0x30, 0x00, 0xFF}, {0xE0, 0xFF, 0xFF}, {0xE1, 0x00, 0xFF}, {0xE2, 0x00, 0xFF},
    {0xE3, 0xFF, 0xFF}, {0xE4, 0x00, 0xFF}, {0xE5, 0x00, 0xFF}, {0xE6, 0x00, 0xFF},
    {0xE7, 0x00, 0xFF}, {0xE8, 0x00, 0xFF}, {0xE9, 0x00, 0xFF}, {0xF0, 0xFF, 0xFF},
    {0xF1, 0x00, 0xFF}, {0xF2, 0x00, 0xFF}, {0xF3, 0x00, 0xFF}, {0xF4, 0xFF, 0xFF},
    {0xF5, 0x00, 0xFF}, {0xF6, 0x00, 0xFF}, {0xF7, 0x00, 0xFF}, {0xFE, 0x00, 0xFF}};
constexpr TSioDevice DhgDevices[] = {{0x00, "FDC", FdcRegs},
                                     {0x01, "Parallel port", LptRegs},
                                     {0x02, "UART A", UartARegs},
                                     {0x03, "UART B", UartBRegs},
                                     {0x05, "Keyboard", KbcRegs},
                                     {0x06, "SPI", SpiRegs},
                                     {0x07, "GPIO6", DhgGpio6Regs},
                                     {0x08, "WDTO#, PLED", WdtRegs},
                                     {0x09, "GPIO2-5", DhgGpio2to5Regs},
                                     {0x0A, "ACPI", AcpiRegs},
                                     {HwmLdn, "Hardware monitor", HwmRegs}};

// W83627EHF: GPIO1 and GPIO6 in LDN 7 beside the game and MIDI ports.
constexpr TSioRegister EhfGlobal[] = {{0x20, 0x88, 0x00}, {0x21, 0x51, 0x00}, {0x22, 0xFF, 0xFF},
                                      {0x23, 0x00, 0x01}, {0x24, 0x00, 0xFF}, {0x25, 0x00, 0xFF},
                                      {0x26, 0x00, 0xBF}, {0x28, 0x50, 0xFF}, {0x29, 0x04, 0xFF},
                                      {0x2A, 0x00, 0xFF}, {0x2C, 0x00, 0xFF}, {0x2D, 0x21, 0xFF},
                                      {0x2E, 0x00, 0xFF}, {0x2F, 0x00, 0xFF}};
constexpr TSioRegister EhfGpio16Regs[] = {
    {0x30, 0x00, 0xFF}, {0x60, 0x02, 0xFF}, {0x61, 0x01, 0xFF}, {0x62, 0x03, 0xFF},
    {0x63, 0x30, 0xFF}, {0x70, 0x09, 0x0F}, {0xF0, 0xFF, 0xFF}, {0xF1, 0x00, 0xFF},
    {0xF2, 0x00, 0xFF}, {0xF3, 0x00, 0xFF}, {0xF4, 0xFF, 0xFF}, {0xF5, 0x00, 0xFF},
    {0xF6, 0x00, 0xFF}, {0xF7, 0x00, 0xFF}};
constexpr TSioRegister EhfGpio2to5Regs[] = {
    {0x30, 0x00, 0xFF}, {0xE0, 0xFF, 0xFF}, {0xE1, 0x00, 0xFF}, {0xE2, 0x00, 0xFF},
    {0xE3, 0xFF, 0xFF}, {0xE4, 0x00, 0xFF}, {0xE5, 0x00, 0xFF}, {0xF0, 0xFF, 0xFF},
    {0xF1, 0x00, 0xFF}, {0xF2, 0x00, 0xFF}, {0xF3, 0x00, 0xFF}, {0xF4, 0xFF, 0xFF},
    {0xF5, 0x00, 0xFF}, {0xF6, 0x00, 0xFF}, {0xF7, 0x00, 0xFF}};
constexpr TSioDevice EhfDevices[] = {{0x00, "FDC", FdcRegs},
                                     {0x01, "Parallel port", LptRegs},
                                     {0x02, "UART A", UartARegs},
                                     {0x03, "UART B", UartBRegs},
                                     {0x05, "Keyboard", KbcRegs},
                                     {0x06, "Serial flash", SpiRegs},
                                     {0x07, "GPIO1, GPIO6, game, MIDI", EhfGpio16Regs},
                                     {0x08, "WDTO#, PLED", WdtRegs},
                                     {0x09, "GPIO2-5", EhfGpio2to5Regs},
                                     {0x0A, "ACPI", AcpiRegs},
                                     {HwmLdn, "Hardware monitor", HwmRegs}};

// The GPIO groups of the W83627 family (GPIO1 exists on the W83627EHF only).
constexpr TWbGpioGroup W627Groups[] = {
    {.Number = 1,
     .Ldn = 0x07,
     .ActBit = 0x01,
     .NotGpio = {0x29, 0x01, 0x00},
     .AltSelect = {{false, 0xF3}},
     .Dir = 0xF0,
     .Data = 0xF1,
     .Inv = 0xF2},
    {.Number = 2, .Ldn = 0x09, .ActBit = 0x01, .Dir = 0xE3, .Data = 0xE4, .Inv = 0xE5},
    {.Number = 3,
     .Ldn = 0x09,
     .ActBit = 0x02,
     .NotGpio = {0x2C, 0x10, 0x10},
     .Dir = 0xF0,
     .Data = 0xF1,
     .Inv = 0xF2,
     .Extra = {{0x04, {{0x2C, 0x20, 0x20}}},
               {0x08, {{0x2C, 0x40, 0x40}}},
               {0x10, {{0x2C, 0x80, 0x80}}}}},
    {.Number = 4,
     .Ldn = 0x09,
     .ActBit = 0x04,
     .NotGpio = {0x2C, 0x03, 0x03},
     .AltSelect = {{false, 0xF7}},
     .Dir = 0xF4,
     .Data = 0xF5,
     .Inv = 0xF6,
     .Extra = {{0x30, {{0x2C, 0x02, 0x00}}}}},
    {.Number = 5,
     .Ldn = 0x09,
     .ActBit = 0x08,
     .GpioSelect = {true, 0x2D},
     .Dir = 0xE0,
     .Data = 0xE1,
     .Inv = 0xE2},
    {.Number = 6,
     .Ldn = 0x07,
     .ActBit = 0x08,
     .NotGpio = {0x29, 0x08, 0x00},
     .Dir = 0xF4,
     .Data = 0xF5,
     .Inv = 0xF6},
};

// W83667HG: GPIO1 in LDN 8, GPIO2-5 in LDN 9, GPIO6-9 in LDN 7.
constexpr TSioRegister HgGlobal[] = {
    {0x20, 0xA5, 0x00}, {0x21, 0x13, 0x00}, {0x22, 0xFF, 0xFF}, {0x23, 0x00, 0x01},
    {0x24, 0x00, 0xFF}, {0x25, 0x00, 0xFF}, {0x26, 0x00, 0xBF}, {0x27, 0x00, 0xFF},
    {0x28, 0x00, 0xFF}, {0x29, 0x00, 0xFF}, {0x2A, 0x00, 0xFF}, {0x2B, 0x00, 0xFF},
    {0x2C, 0x00, 0xFF}, {0x2D, 0x00, 0xFF}, {0x2E, 0x00, 0xFF}, {0x2F, 0x00, 0xFF}};
constexpr TSioRegister HgGpio6to9Regs[] = {
    {0x30, 0x00, 0xFF}, {0xE0, 0xFF, 0xFF}, {0xE1, 0x00, 0xFF}, {0xE2, 0x00, 0xFF},
    {0xE4, 0xFF, 0xFF}, {0xE5, 0x00, 0xFF}, {0xE6, 0x00, 0xFF}, {0xE8, 0xFF, 0xFF},
    {0xE9, 0x00, 0xFF}, {0xEA, 0x00, 0xFF}, {0xEC, 0x00, 0xFF}, {0xED, 0x00, 0xFF},
    {0xEE, 0x00, 0xFF}, {0xF4, 0xFF, 0xFF}, {0xF5, 0x00, 0xFF}, {0xF6, 0x00, 0xFF},
    {0xF8, 0x00, 0xFF}};
constexpr TSioRegister HgGpio1Regs[] = {{0x30, 0x00, 0xFF}, {0xF0, 0xFF, 0xFF}, {0xF1, 0x00, 0xFF},
                                        {0xF2, 0x00, 0xFF}, {0xF4, 0x00, 0xFF}, {0xF5, 0x00, 0xFF},
                                        {0xF6, 0x00, 0xFF}, {0xF7, 0x00, 0xFF}};
constexpr TSioRegister HgGpio2to5Regs[] = {
    {0x30, 0x00, 0xFF}, {0xE0, 0xFF, 0xFF}, {0xE1, 0x00, 0xFF}, {0xE2, 0x00, 0xFF},
    {0xE4, 0xFF, 0xFF}, {0xE5, 0x00, 0xFF}, {0xE6, 0x00, 0xFF}, {0xE9, 0x00, 0xFF},
    {0xEA, 0x00, 0xFF}, {0xEB, 0x00, 0xFF}, {0xF0, 0xFF, 0xFF}, {0xF1, 0x00, 0xFF},
    {0xF2, 0x00, 0xFF}, {0xF3, 0x00, 0xFF}, {0xF4, 0xFF, 0xFF}, {0xF5, 0x00, 0xFF},
    {0xF6, 0x00, 0xFF}};
constexpr TSioDevice HgDevices[] = {
    {0x01, "Parallel port", LptRegs},     {0x02, "UART A", UartARegs},
    {0x03, "UART B", UartBRegs},          {0x05, "Keyboard", KbcRegs},
    {0x07, "GPIO6-9", HgGpio6to9Regs},    {0x08, "WDTO#, PLED, GPIO1", HgGpio1Regs},
    {0x09, "GPIO2-5", HgGpio2to5Regs},    {0x0A, "ACPI", AcpiRegs},
    {HwmLdn, "Hardware monitor", HwmRegs}};

constexpr TWbCondition Cr2cBit0{0x2C, 0x01, 0x01};
constexpr TWbCondition Cr2cBits76Clear{0x2C, 0xC0, 0x00};
constexpr TWbGpioGroup HgGroups[] = {
    {.Number = 1,
     .Ldn = 0x08,
     .ActBit = 0x02,
     .NotGpio = {0x2C, 0x02, 0x02},
     .AltSelect = {{false, 0xF4}},
     .Dir = 0xF0,
     .Data = 0xF1,
     .Inv = 0xF2},
    {.Number = 2,
     .Ldn = 0x09,
     .ActBit = 0x01,
     .AltSelect = {{false, 0xE9}},
     .Dir = 0xE0,
     .Data = 0xE1,
     .Inv = 0xE2,
     .Extra = {{0x40, {{0x27, 0x20, 0x20}, {0x24, 0x02, 0x02}}}}},
    {.Number = 3,
     .Ldn = 0x09,
     .ActBit = 0x02,
     .AltSelect = {{true, 0x2B}, {false, 0xEA}},
     .Dir = 0xE4,
     .Data = 0xE5,
     .Inv = 0xE6,
     .Extra = {{0x80, {Cr2cBits76Clear}}}},
    {.Number = 4,
     .Ldn = 0x09,
     .ActBit = 0x04,
     .NotGpio = {0x2A, 0x04, 0x04},
     .AltSelect = {{false, 0xF3}},
     .Dir = 0xF0,
     .Data = 0xF1,
     .Inv = 0xF2},
    {.Number = 5,
     .Ldn = 0x09,
     .ActBit = 0x08,
     .AltSelect = {{false, 0xEB}},
     .Dir = 0xF4,
     .Data = 0xF5,
     .Inv = 0xF6,
     .Extra = {{0x01, {Cr2cBits76Clear}}}},
    {.Number = 6,
     .Ldn = 0x07,
     .ActBit = 0x02,
     .NotGpio = {0x29, 0x08, 0x00},
     .AltSelect = {{false, 0xF8}},
     .Dir = 0xF4,
     .Data = 0xF5,
     .Inv = 0xF6},
    {.Number = 7,
     .Ldn = 0x07,
     .ActBit = 0x04,
     .NotGpio = {0x2C, 0x02, 0x02},
     .AltSelect = {{false, 0xEC}},
     .Dir = 0xE0,
     .Data = 0xE1,
     .Inv = 0xE2},
    {.Number = 8,
     .Ldn = 0x07,
     .ActBit = 0x08,
     .AltSelect = {{false, 0xED}},
     .Dir = 0xE4,
     .Data = 0xE5,
     .Inv = 0xE6,
     .Extra = {{0x08, {{0x27, 0x01, 0x01}, Cr2cBit0}}, {0x10, {{0x27, 0x02, 0x02}, Cr2cBit0}}}},
    {.Number = 9,
     .Ldn = 0x07,
     .ActBit = 0x10,
     .AltSelect = {{false, 0xEE}},
     .Dir = 0xE8,
     .Data = 0xE9,
     .Inv = 0xEA,
     .Extra = {{0x77, {{0x27, 0x04, 0x04}, Cr2cBit0}},
               {0x08, {{0x27, 0x08, 0x08}, Cr2cBit0}},
               {0x80, {{0x27, 0x10, 0x10}, Cr2cBit0}}}},
};

constexpr double Lsb8mV = 0.008;
constexpr double Lsb16mV = 0.016;  // behind the chip's own halving divider

#define WB_FAN(reg, input, divReg, divMask, divShift, bitReg, bitMask) \
  { reg, TWbSensor::Fan, input, 0, divReg, divMask, divShift, bitReg, bitMask }
#define WB_VOLTS(reg, input, lsb) \
  { reg, TWbSensor::Volts, input, lsb }

constexpr TWbSensorReg W627Sensors[] = {
    WB_VOLTS(0x020, "CPUVCORE", Lsb8mV),
    WB_VOLTS(0x021, "VIN0", Lsb8mV),
    WB_VOLTS(0x022, "AVCC", Lsb16mV),
    WB_VOLTS(0x023, "3VCC", Lsb16mV),
    WB_VOLTS(0x024, "VIN1", Lsb8mV),
    WB_VOLTS(0x025, "VIN2", Lsb8mV),
    WB_VOLTS(0x026, "VIN3", Lsb8mV),
    WB_VOLTS(0x550, "3VSB", Lsb16mV),
    WB_VOLTS(0x551, "VBAT", Lsb16mV),
    {0x027, TWbSensor::Temp, "SYSTIN"},
    {0x150, TWbSensor::TempWhole, "CPUTIN"},
    {0x151, TWbSensor::TempHalf, "CPUTIN"},
    {0x250, TWbSensor::TempWhole, "AUXTIN"},
    {0x251, TWbSensor::TempHalf, "AUXTIN"},
    WB_FAN(0x028, "SYSFANIN", 0x047, 0x30, 4, 0x05D, 0x20),
    WB_FAN(0x029, "CPUFANIN0", 0x047, 0xC0, 6, 0x05D, 0x40),
    WB_FAN(0x02A, "AUXFANIN0", 0x04B, 0xC0, 6, 0x05D, 0x80),
    WB_FAN(0x03F, "CPUFANIN1", 0x059, 0x03, 0, 0x04C, 0x80),
    WB_FAN(0x553, "AUXFANIN1", 0x059, 0x0C, 2, 0x059, 0x80),
    // Last, so the chips without it can leave it off.
    WB_VOLTS(0x552, "VIN4", Lsb8mV),
};
#undef WB_FAN
#undef WB_VOLTS

// Power-on values of the monitor's plain registers: monitoring started, divisor 2 on every fan,
// bank 0 selected with the vendor ID's high byte showing.
struct TWbMonitorReset {
  uint16_t Reg;
  uint8_t Value;
};
constexpr TWbMonitorReset MonitorResets[] = {{0x040, 0x01}, {0x047, 0x50}, {0x04B, 0x44},
                                             {0x04C, 0x18}, {0x04D, 0x15}, {0x04E, 0x80},
                                             {0x059, 0x05}, {0x05D, 0x00}};

constexpr TSioChipSpec DhgSpec{"W83627DHG", TSioFamily::Winbond, DhgGlobal, DhgDevices, HwmLdn};
constexpr TSioChipSpec EhfSpec{"W83627EHF", TSioFamily::Winbond, EhfGlobal, EhfDevices, HwmLdn};
constexpr TSioChipSpec HgSpec{"W83667HG", TSioFamily::Winbond, HgGlobal, HgDevices, HwmLdn};

const std::span<const TWbSensorReg> W627SensorsNoVin4(W627Sensors, std::size(W627Sensors) - 1);

const TWbChipInfo DhgInfo{DhgSpec, std::span(W627Groups).subspan(1), W627SensorsNoVin4};
const TWbChipInfo EhfInfo{EhfSpec, W627Groups, W627Sensors};
const TWbChipInfo HgInfo{HgSpec, HgGroups, W627SensorsNoVin4};

const TWbChipInfo* const Chips[] = {&DhgInfo, &EhfInfo, &HgInfo};

bool Holds(const TWbCondition& test, const TSimSuperIo& chip) {
  return test.Mask != 0 && (chip.Register(0, test.Reg) & test.Mask) == test.Value;
}

bool IsBanked(uint8_t reg) {
  return reg >= 0x50 && reg <= 0x5F;
}

// The register a port access with this bank and index reaches.
uint16_t MonitorKey(uint8_t bank, uint8_t index) {
  return IsBanked(index) ? static_cast<uint16_t>(bank << 8 | index) : index;
}

const TWbSensorReg* FindSensor(std::span<const TWbSensorReg> sensors, uint16_t reg) {
  for (const TWbSensorReg& sensor : sensors) {
    if (sensor.Reg == reg) return &sensor;
  }
  return nullptr;
}

}  // namespace

// --- the chip ---

uint32_t TSimWinbondChip::TMonitorPorts::PortRead(uint16_t port, uint8_t width) {
  uint32_t value = 0;
  for (uint8_t i = 0; i < width; ++i) {
    value |= uint32_t{Chip_.MonitorPortRead(static_cast<uint16_t>(port + i))} << (8 * i);
  }
  return value;
}

void TSimWinbondChip::TMonitorPorts::PortWrite(uint16_t port, uint8_t width, uint32_t value) {
  for (uint8_t i = 0; i < width; ++i) {
    Chip_.MonitorPortWrite(static_cast<uint16_t>(port + i), static_cast<uint8_t>(value >> (8 * i)));
  }
}

TSimWinbondChip::TSimWinbondChip(TSimMachine& machine, const TWbChipInfo& info, uint16_t port)
    : TSimSuperIo(info.Spec, port),
      Machine_(machine),
      Info_(info),
      Wiring_(SimWiring(machine)),
      Inputs_(SimMonitorInputs(machine)),
      MonitorPorts_(*this) {
  for (const TWbMonitorReset& reset : MonitorResets) *MonitorSlot(reset.Reg) = reset.Value;
  for (const TWbSensorReg& sensor : Info_.Sensors) {
    Inputs_.Declare(sensor.Input, sensor.Kind == TWbSensor::Volts ? TSimUnit::Volts
                                  : sensor.Kind == TWbSensor::Fan ? TSimUnit::Rpm
                                                                  : TSimUnit::Celsius);
  }
  RegistersRestored();
}

TSimWinbondChip::~TSimWinbondChip() {
  Machine_.Ports().Release(&MonitorPorts_);
}

// --- GPIO ---

bool TSimWinbondChip::FindPin(std::string_view pin, size_t* group, uint8_t* bit) const {
  if (pin.size() != 6 || !StartsWithNoCase(pin, "GPIO") || pin[5] < '0' || pin[5] > '7') {
    return false;
  }
  for (size_t g = 0; g < Info_.Groups.size(); ++g) {
    if (pin[4] == '0' + Info_.Groups[g].Number) {
      *group = g;
      *bit = static_cast<uint8_t>(pin[5] - '0');
      return true;
    }
  }
  return false;
}

bool TSimWinbondChip::GpioBit(size_t group, uint8_t bit) const {
  const TWbGpioGroup& g = Info_.Groups[group];
  const uint8_t mask = static_cast<uint8_t>(1u << bit);
  if (Holds(g.NotGpio, *this)) return false;
  auto selected = [&](const TWbSelect& select) {
    return select.Reg != 0 && (Register(select.Global ? 0 : g.Ldn, select.Reg) & mask) != 0;
  };
  if (g.GpioSelect.Reg != 0 && !selected(g.GpioSelect)) return false;
  if (selected(g.AltSelect[0]) || selected(g.AltSelect[1])) return false;
  for (const TWbPinRule& rule : g.Extra) {
    if ((rule.Pins & mask) != 0 && (Holds(rule.AnyOf[0], *this) || Holds(rule.AnyOf[1], *this))) {
      return false;
    }
  }
  return true;
}

bool TSimWinbondChip::GroupActive(size_t group) const {
  const TWbGpioGroup& g = Info_.Groups[group];
  return (Register(g.Ldn, Activate) & g.ActBit) != 0;
}

bool TSimWinbondChip::InputLevel(size_t group, uint8_t bit) const {
  const std::string pin =
      "GPIO" + std::to_string(Info_.Groups[group].Number) + static_cast<char>('0' + bit);
  // The pins have weak pull-ups: an unwired input reads high.
  return Wiring_.InputLevel("SIO", pin).value_or(true);
}

bool TSimWinbondChip::HasPin(std::string_view pin) const {
  size_t group = 0;
  uint8_t bit = 0;
  return FindPin(pin, &group, &bit);
}

bool TSimWinbondChip::PinIsGpio(std::string_view pin) const {
  size_t group = 0;
  uint8_t bit = 0;
  return FindPin(pin, &group, &bit) && GpioBit(group, bit);
}

TSimPinDrive TSimWinbondChip::PinDrive(std::string_view pin) const {
  size_t group = 0;
  uint8_t bit = 0;
  if (!FindPin(pin, &group, &bit) || !GpioBit(group, bit) || !GroupActive(group)) {
    return TSimPinDrive::Floating;
  }
  const TWbGpioGroup& g = Info_.Groups[group];
  if (((Register(g.Ldn, g.Dir) >> bit) & 1) != 0) return TSimPinDrive::Floating;
  const bool level = (((Register(g.Ldn, g.Data) ^ Register(g.Ldn, g.Inv)) >> bit) & 1) != 0;
  return level ? TSimPinDrive::High : TSimPinDrive::Low;
}

uint8_t TSimWinbondChip::ReadHook(uint8_t ldn, uint8_t reg, uint8_t stored) const {
  if (reg < 0x30) return stored;
  for (size_t group = 0; group < Info_.Groups.size(); ++group) {
    const TWbGpioGroup& g = Info_.Groups[group];
    if (g.Ldn != ldn || g.Data != reg || !GroupActive(group)) continue;
    const uint8_t inputs = Register(ldn, g.Dir);
    const uint8_t inversion = Register(ldn, g.Inv);
    uint8_t value = stored;
    for (uint8_t bit = 0; bit < 8; ++bit) {
      const uint8_t mask = static_cast<uint8_t>(1u << bit);
      if ((inputs & mask) == 0 || !GpioBit(group, bit)) continue;
      const bool level = InputLevel(group, bit) != ((inversion & mask) != 0);
      value = static_cast<uint8_t>(level ? value | mask : value & ~mask);
    }
    return value;
  }
  return stored;
}

uint8_t TSimWinbondChip::WriteHook(uint8_t ldn, uint8_t reg, uint8_t before, uint8_t after) {
  if (reg < 0x30) return after;
  for (const TWbGpioGroup& g : Info_.Groups) {
    if (g.Ldn != ldn || g.Data != reg) continue;
    // Input bits keep the output latch; only output bits take the written value.
    const uint8_t inputs = Register(ldn, g.Dir);
    return static_cast<uint8_t>((before & inputs) | (after & ~inputs));
  }
  return after;
}

void TSimWinbondChip::RegisterChanged(uint8_t ldn, uint8_t reg) {
  if (ldn == Info_.Spec.MonitorLdn && (reg == Activate || reg == 0x60 || reg == 0x61)) {
    FollowMonitorBase();
  }
}

void TSimWinbondChip::RegistersRestored() {
  // HEFRAS latches the strap that chose the configuration port.
  const uint8_t cr26 = Register(0, 0x26);
  SetRegister(0, 0x26, static_cast<uint8_t>(IndexPort() == 0x4E ? cr26 | 0x40 : cr26 & ~0x40));
  FollowMonitorBase();
}

// --- hardware monitor ---

uint8_t* TSimWinbondChip::MonitorSlot(uint16_t reg) {
  const uint8_t bank = static_cast<uint8_t>(reg >> 8);
  const uint8_t index = static_cast<uint8_t>(reg);
  if (IsBanked(index)) return bank < Banked_.size() ? &Banked_[bank][index - 0x50] : nullptr;
  return bank == 0 ? &Bank0_[index] : nullptr;
}

uint8_t TSimWinbondChip::MonitorStored(uint16_t reg) const {
  return *const_cast<TSimWinbondChip*>(this)->MonitorSlot(reg);
}

uint8_t TSimWinbondChip::MonitorRead(uint16_t reg) const {
  const uint8_t index = static_cast<uint8_t>(reg);
  if (index == 0x4F) return (Bank0_[BankSelect] & 0x80) != 0 ? 0x5C : 0xA3;
  const TWbSensorReg* sensor = FindSensor(Info_.Sensors, reg);
  if (sensor == nullptr) return MonitorStored(reg);
  const std::optional<double> value = sensor->Kind == TWbSensor::Volts
                                          ? Inputs_.PinValue(sensor->Input)
                                          : Inputs_.Value(sensor->Input);
  switch (sensor->Kind) {
    case TWbSensor::Volts:
      return SimAdcCode(value.value_or(0), sensor->Lsb);
    case TWbSensor::Temp:
      return value ? SimTemperatureCode(*value) : 0;
    case TWbSensor::TempWhole:
    case TWbSensor::TempHalf: {
      if (!value) return 0;
      // Half degrees in nine bits: the whole degrees, then the half in bit 7 of the next register.
      const long halves = std::clamp(std::lround(*value * 2), -256l, 255l);
      if (sensor->Kind == TWbSensor::TempHalf) return (halves & 1) != 0 ? 0x80 : 0x00;
      return static_cast<uint8_t>((halves >> 1) & 0xFF);
    }
    case TWbSensor::Fan: {
      const uint32_t exponent =
          ((MonitorStored(sensor->DivReg) & sensor->DivMask) >> sensor->DivShift) +
          ((MonitorStored(sensor->DivBitReg) & sensor->DivBitMask) != 0 ? 4 : 0);
      return static_cast<uint8_t>(SimFanCount(value.value_or(0), 1u << exponent, 255));
    }
  }
  return 0xFF;
}

bool TSimWinbondChip::SetMonitorRegister(uint16_t reg, uint8_t value) {
  uint8_t* slot = MonitorSlot(reg);
  if (slot == nullptr || static_cast<uint8_t>(reg) == 0x4F ||
      FindSensor(Info_.Sensors, reg) != nullptr) {
    return false;
  }
  *slot = value;
  return true;
}

uint8_t TSimWinbondChip::MonitorPortRead(uint16_t port) {
  if (port == ClaimedBase_ + 5) return MonitorIndex_;
  return MonitorRead(MonitorKey(Bank0_[BankSelect] & 0x07, MonitorIndex_));
}

void TSimWinbondChip::MonitorPortWrite(uint16_t port, uint8_t value) {
  if (port == ClaimedBase_ + 5) {
    MonitorIndex_ = value;
    return;
  }
  const uint16_t reg = MonitorKey(Bank0_[BankSelect] & 0x07, MonitorIndex_);
  if (MonitorIndex_ == BankSelect) {
    Bank0_[BankSelect] = value & 0x87;
  } else if (MonitorIndex_ != 0x4F && FindSensor(Info_.Sensors, reg) == nullptr) {
    *MonitorSlot(reg) = value;  // sensor readings and the vendor ID are read-only
  }
}

void TSimWinbondChip::FollowMonitorBase() {
  const uint8_t ldn = Info_.Spec.MonitorLdn;
  const uint16_t base = DeviceActive(ldn) ? DeviceBase(ldn) : 0;
  if (base == ClaimedBase_) return;
  if (ClaimedBase_ != 0) Machine_.Ports().Release(static_cast<uint16_t>(ClaimedBase_ + 5));
  ClaimedBase_ = 0;
  // A base whose ports another device holds stays silent, as a decode conflict would.
  if (base != 0 && base <= 0xFFF8 &&
      Machine_.Ports().Claim(static_cast<uint16_t>(base + 5), 2, &MonitorPorts_,
                             std::string(Info_.Spec.Name) + " hardware monitor")) {
    ClaimedBase_ = base;
  }
}

void TSimWinbondChip::SaveChipState(TSimState& state) const {
  // Registers 0x50..0x5F live in the banks; the rest in "regs".
  state.SetBytes("superio.hwm.regs", Bank0_.data(), Bank0_.size());
  for (size_t bank = 0; bank < Banked_.size(); ++bank) {
    state.SetBytes("superio.hwm.bank" + std::to_string(bank), Banked_[bank].data(),
                   Banked_[bank].size());
  }
  state.SetNumber("superio.hwm.index", MonitorIndex_);
}

bool TSimWinbondChip::LoadChipState(const TSimState& state, std::string* error) {
  std::array<uint8_t, 256> regs{};
  std::array<std::array<uint8_t, 16>, 8> banked{};
  uint64_t index = 0;
  if (!state.GetBytes("superio.hwm.regs", regs.data(), regs.size(), error) ||
      !state.GetNumber("superio.hwm.index", &index, error)) {
    return false;
  }
  for (size_t bank = 0; bank < banked.size(); ++bank) {
    if (!state.GetBytes("superio.hwm.bank" + std::to_string(bank), banked[bank].data(),
                        banked[bank].size(), error)) {
      return false;
    }
  }
  Bank0_ = regs;
  Banked_ = banked;
  MonitorIndex_ = static_cast<uint8_t>(index & 0xFF);
  return true;
}

std::unique_ptr<TSimSuperIo> CreateSimWinbondChip(TSimMachine& machine, std::string_view name,
                                                  uint16_t port) {
  for (const TWbChipInfo* info : Chips) {
    if (EqualsNoCase(name, info->Spec.Name)) {
      return std::make_unique<TSimWinbondChip>(machine, *info, port);
    }
  }
  return nullptr;
}

std::string SimWinbondChipNames() {
  std::string names;
  for (const TWbChipInfo* info : Chips) {
    names += (names.empty() ? "" : ", ") + std::string(info->Spec.Name);
  }
  return names;
}
