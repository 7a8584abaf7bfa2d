// The processor's voltage regulator. It ties the simulated board together the way the real one
// does: the processor asks for a voltage (its VID, from the P-state registers) and draws a current
// that follows its clock, voltage and load; the regulator sets the core voltage to the VID minus a
// droop proportional to the current (the load line), runs as many phases as the current needs and
// reports the current on its current-monitor output. Two board inputs change its behaviour: a
// load-line input selects a steeper energy-saving load line, and the power-state indicator (PSI)
// lets it shed phases while the current is light. The board's GPIO pins reach those inputs
// through nets of the wiring (sim/pinwiring.h); on AMD family 10h the processor itself asserts
// PSI once its VID is at or below the northbridge's PSI VID.
//
// Current: I = K x Vcore, with
//   K = LeakageAmpsPerVolt + sum over cores of Cdyn x f x (HaltShare + (1 - HaltShare) x load),
// where f is the core's clock and load the workload's share (sim/workload.h); with
// Vcore = VID - SavingOffset - R x I this gives I = K x (VID - SavingOffset) / (1 + K x R).
// Phases: all, or PhasesPsi while PSI is asserted and I is below PsiMaxAmps.
// Current monitor: IMON = ImonOffset + ImonGain x I volts.
// Regulator losses, what the 12 V input pays on top of the processor's power:
//   ControllerWatts + phases x PhaseSwitchingWatts + I^2 x PhaseMilliohm / phases
// (the controller and its drivers' own draw; each running phase's switching and gate-drive loss,
// which does not depend on the current; each phase carrying I / phases through its MOSFETs,
// inductor and copper). Shedding phases at light load trades the second term for the third, which
// is what PSI saves: with the defaults a 4-phase regulator delivers 5 A at 1.2 V at about 60 %
// efficiency on four phases and about 80 % on one, and peaks near 90 % around 60 A.
// Input power = Vcore x I + losses.
//
// Board-file section (after [SuperIO], [Monitor] and [Wiring]; numbers are decimal):
//   [VRM]  Phases=4                 phases fitted
//          PhasesPsi=1              phases while PSI is asserted at light load
//          PsiMaxAmps=20            current above which all phases run, PSI or not
//          LoadLineMilliohm=1.8     droop with the load-line input inactive
//          LoadLineSavingMilliohm=2.6  droop with it active
//          SavingOffsetMillivolt=0  voltage taken off the VID with the load-line input active
//          ImonOffset=0.3           current-monitor volts at no current
//          ImonGain=0.02            current-monitor volts per ampere (above 0)
//          NetLoadLine=VR.LOADLINE  the net of the load-line input, and its active level:
//          NetLoadLineActive=Low    High or Low
//          NetPsi=VR.PSI            the net of the PSI input, and its active level (PSI# is
//          NetPsiActive=Low         active low on most controllers)
//          ProcessorPsi=0|1         PSI from the family 10h northbridge's PsiVid (F3xA0)
//          LeakageAmpsPerVolt=4.8   static current per volt of Vcore
//          CdynNanofarad=5.1        switched capacitance of one core at full load
//          HaltShare=0.1            share of that a halted core still switches (0..1)
//          VidVolts=1.25            fixed VID voltage; required for processors without P-state
//                                   registers, otherwise it overrides them
//          PhaseSwitchingWatts=1.0  switching and gate-drive loss of one running phase
//          PhaseMilliohm=6          conduction resistance of one phase
//          ControllerWatts=0.25     the controller's and drivers' own draw
//          VcoreInput=CPUVCORE      the monitor input that measures Vcore
//          ImonInput=VIN1           the monitor input wired to the current-monitor output
// VID voltages follow the processor's registers: Intel Core 2 and NetBurst IA32_PERF_STATUS
// bits 5:0 at 0.825 V + 12.5 mV per step (the table the program decodes them with), Nehalem
// IA32_PERF_STATUS bits 47:32 in 1/8192 V, AMD family 0Fh FIDVID_STATUS CurrVID at
// 1.55 V - 25 mV per step, family 10h COFVID_STATUS CurCpuVid at 1.55 V - 12.5 mV per step. The
// cores share one plane, which follows the highest voltage any core asks for.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "sim/analoginputs.h"
#include "sim/simdevice.h"

class ISimNetLevels;
class TIniFile;
class TSimMachine;
class TSimWorkload;

struct TSimVrmSettings {
  uint32_t Phases = 4;
  uint32_t PhasesPsi = 1;
  double PsiMaxAmps = 20;
  double LoadLineOhms = 0.0018;
  double LoadLineSavingOhms = 0.0026;
  double SavingOffsetVolts = 0;
  double ImonOffsetVolts = 0.3;
  double ImonVoltsPerAmp = 0.02;
  std::string NetLoadLine;  // empty: no load-line input
  bool NetLoadLineActive = false;
  std::string NetPsi;  // empty: no PSI input
  bool NetPsiActive = false;
  bool ProcessorPsi = false;
  double LeakageAmpsPerVolt = 4.8;
  double CdynFarads = 5.1e-9;
  double HaltShare = 0.1;
  double VidVolts = 0;  // 0: from the processor's registers
  double PhaseSwitchingWatts = 1.0;
  double PhaseOhms = 0.006;
  double ControllerWatts = 0.25;
};

// The regulator's losses (W) while it delivers amps on phases running phases.
double SimVrmLossWatts(const TSimVrmSettings& settings, double amps, uint32_t phases);

// One look at the regulator, all from the same instant.
struct TSimVrmReading {
  double VidVolts = 0;        // what the processor asks for
  double LoadLineOhms = 0;    // the droop in use
  double Vcore = 0;           // at the socket
  double Amps = 0;            // into the processor
  double ImonVolts = 0;       // current-monitor output
  double ProcessorWatts = 0;  // Vcore x Amps
  double RegulatorLossWatts = 0;
  double InputWatts = 0;  // what the regulator draws: the processor's power plus the losses
  uint32_t Phases = 0;
  bool Psi = false;             // power-state indicator asserted
  bool LoadLineSaving = false;  // the energy-saving load line is selected
};

// Volts of an Intel VID code as the program decodes IA32_PERF_STATUS (codes 0..63).
double SimIntelVidVolts(uint32_t vid);

class TSimVrm : public ISimDevice {
 public:
  static constexpr const char* Name = "vrm";

  enum class TOutput : uint8_t { Vcore, Imon };

  // Adds the machine's workload when it has none. The processor must have VID registers the
  // regulator knows, or settings.VidVolts must be set; ProcessorPsi needs a family 10h
  // processor. Null with a message otherwise.
  static TSimVrm* Add(TSimMachine& machine, const TSimVrmSettings& settings, std::string* error);
  TSimVrm(const TSimVrm&) = delete;
  TSimVrm& operator=(const TSimVrm&) = delete;

  const TSimVrmSettings& Settings() const { return Settings_; }
  TSimVrmReading Read();

  // The outputs as sources the monitor inputs measure ("VCORE", "IMON" by name).
  const ISimAnalogSource& Output(TOutput output) const;
  static bool OutputNamed(std::string_view name, TOutput* output);
  // Connects an output to a voltage input the monitor chip declares, keeping the input's divider
  // from the [Monitor] section. False with a message for an input the chip does not have.
  bool ConnectOutput(TOutput output, std::string_view input, std::string* error);

  // The regulator keeps nothing of its own: what it puts out follows the processor's registers,
  // the wiring's pins and the workload, which keep their own state.
  std::string DeviceName() const override { return Name; }
  void SaveState(TSimState&) const override {}
  bool LoadState(const TSimState&, std::string*) override { return true; }

 private:
  class TOutputSource : public ISimAnalogSource {
   public:
    TOutputSource(TSimVrm& vrm, TOutput output) : Vrm_(vrm), Output_(output) {}
    double AnalogValue() const override;

   private:
    TSimVrm& Vrm_;
    TOutput Output_;
  };

  TSimVrm(TSimMachine& machine, const TSimVrmSettings& settings);
  double PlaneVidVolts() const;
  bool ProcessorAssertsPsi() const;
  bool NetActive(const std::string& net, bool activeLevel) const;

  TSimMachine& Machine_;
  TSimVrmSettings Settings_;
  const ISimNetLevels* Nets_;  // null when no input is wired
  TSimWorkload& Workload_;
  TOutputSource VcoreSource_;
  TOutputSource ImonSource_;
};

// The machine's regulator; null when the board has none.
TSimVrm* FindSimVrm(TSimMachine& machine);

// The [VRM] section.
bool BuildSimVrm(TSimMachine& machine, const TIniFile& ini, const std::string& section,
                 std::string* error);
