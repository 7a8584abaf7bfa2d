// The physical quantities a hardware monitor measures, in physical units: volts on a rail,
// degrees Celsius at a sensor, revolutions per minute of a fan. The monitor chip converts them to
// register values the way its ADC and tachometer do; the board file says what each input sees.
// Each input holds a constant now; a later model (the voltage regulator) implements
// ISimAnalogSource and is connected to the inputs it drives (Vcore, current monitor).
//
// Board-file section (after the [SuperIO] section whose monitor declares the input names):
//   [Monitor]  INPUT=VALUE UNIT [divider R1/R2] [ref VOLTS]
//     UNIT is V, C or RPM. A voltage input may sit behind a resistor divider: R1 from the rail to
//     the chip pin, R2 from the pin to a reference (ground unless "ref" says otherwise), so the pin
//     sees (V x R2 + Vref x R1) / (R1 + R2). Examples:
//       CPUVCORE=1.1875 V
//       VIN0=12.10 V divider 56/10
//       VIN3=-12.0 V divider 232/56 ref 2.048
//       CPUTIN=45 C
//       CPUFANIN0=2250 RPM
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "sim/simdevice.h"

class TIniFile;
class TSimMachine;

enum class TSimUnit : uint8_t { Volts, Celsius, Rpm };

// A quantity that a model computes, read whenever a monitor register is read.
class ISimAnalogSource {
 public:
  virtual double AnalogValue() const = 0;

 protected:
  ~ISimAnalogSource() = default;
};

struct TSimAnalogInput {
  TSimUnit Unit = TSimUnit::Volts;
  double Constant = 0;  // the value while no source is connected
  const ISimAnalogSource* Source = nullptr;
  // Divider in front of a voltage pin; R1 = 0 means the rail goes straight to the pin.
  double R1 = 0;
  double R2 = 1;
  double RefVolts = 0;
};

class TSimAnalogInputs : public ISimDevice {
 public:
  static constexpr const char* Name = "monitor-inputs";

  // "12.1 V divider 56/10" and the other forms above; false with a message.
  static bool Parse(std::string_view text, TSimAnalogInput* input, std::string* error);

  // The monitor chip names its inputs and their units; only declared inputs can be defined.
  void Declare(std::string_view name, TSimUnit unit);
  bool Declared(std::string_view name) const;
  // False with a message for an undeclared name or a unit the input does not measure.
  bool Define(std::string_view name, const TSimAnalogInput& input, std::string* error);
  bool Defined(std::string_view name) const;

  // The quantity itself (rail volts, degrees, RPM); nothing for an undefined input.
  std::optional<double> Value(std::string_view name) const;
  // What the chip pin sees: volts behind the divider; degrees and RPM as they are.
  std::optional<double> PinValue(std::string_view name) const;

  // Run-time changes: a new constant (disconnects a source), or a model's source (null goes back
  // to the constant). False for an input that is not declared.
  bool SetValue(std::string_view name, double value);
  bool Connect(std::string_view name, const ISimAnalogSource* source);

  // The constants, since tests and the demo change them at run time.
  std::string DeviceName() const override { return Name; }
  void SaveState(TSimState& state) const override;
  bool LoadState(const TSimState& state, std::string* error) override;

 private:
  struct TSlot {
    TSimUnit Unit = TSimUnit::Volts;
    bool Defined = false;
    TSimAnalogInput Input;
  };
  const TSlot* Find(std::string_view name) const;
  TSlot* Find(std::string_view name);

  std::map<std::string, TSlot> Slots_;  // by upper-case name
};

// Conversions the monitor chips share. An ADC code is volts / lsb rounded and clipped to 0..255;
// a temperature byte is whole degrees, rounded, in two's complement clipped to -128..127; a
// tachometer count is 1350000 / (RPM x divisor) rounded and clipped to 1..max, and max (the
// counter's overflow) for a stopped fan or one too slow to count.
uint8_t SimAdcCode(double volts, double lsb);
uint8_t SimTemperatureCode(double celsius);
uint32_t SimFanCount(double rpm, uint32_t divisor, uint32_t max);

// The machine's monitor inputs, added on first use.
TSimAnalogInputs& SimMonitorInputs(TSimMachine& machine);

// The [Monitor] section.
bool BuildSimMonitorInputs(TSimMachine& machine, const TIniFile& ini, const std::string& section,
                           std::string* error);
