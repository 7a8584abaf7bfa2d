#include "sim/vrm.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "base/inifile.h"
#include "base/textfmt.h"
#include "sim/pcibus.h"
#include "sim/pinwiring.h"
#include "sim/sectionreader.h"
#include "sim/simcpumodels.h"
#include "sim/simmachine.h"
#include "sim/workload.h"

namespace {

constexpr uint32_t MsrPerfStatus = 0x198;
constexpr uint32_t MsrFidVidStatus = 0xC0010042;
constexpr uint32_t MsrCofVidStatus = 0xC0010071;
constexpr uint8_t NorthbridgeDevice = 0x18;
constexpr uint16_t PsiOffset = 0xA0;  // F3: PsiVid bits 6:0, PsiVidEn bit 7
constexpr uint8_t PsiVidEnable = 0x80;

// The VID code a core asks for, by the processor's scheme; nothing when the register is missing.
std::optional<uint32_t> VidCode(const TSimCpu& cpu, TSimCpuScheme scheme) {
  uint64_t value = 0;
  switch (scheme) {
    case TSimCpuScheme::Core2:
    case TSimCpuScheme::NetBurst:
      if (!cpu.ReadMsr(MsrPerfStatus, &value)) return std::nullopt;
      return static_cast<uint32_t>(value & 0x3F);
    case TSimCpuScheme::Nehalem:
      if (!cpu.ReadMsr(MsrPerfStatus, &value)) return std::nullopt;
      return static_cast<uint32_t>((value >> 32) & 0xFFFF);
    case TSimCpuScheme::K8:
      if (!cpu.ReadMsr(MsrFidVidStatus, &value)) return std::nullopt;
      return static_cast<uint32_t>((value >> 32) & 0x3F);
    case TSimCpuScheme::K10:
      if (!cpu.ReadMsr(MsrCofVidStatus, &value)) return std::nullopt;
      return static_cast<uint32_t>((value >> 9) & 0x7F);
    case TSimCpuScheme::None:
      break;
  }
  return std::nullopt;
}

double VidVolts(uint32_t code, TSimCpuScheme scheme) {
  switch (scheme) {
    case TSimCpuScheme::Core2:
    case TSimCpuScheme::NetBurst:
      return SimIntelVidVolts(code);
    case TSimCpuScheme::Nehalem:
      return code / 8192.0;
    case TSimCpuScheme::K8:
      return std::max(0.0, 1.55 - 0.025 * code);
    case TSimCpuScheme::K10:
      return std::max(0.0, 1.55 - 0.0125 * code);
    case TSimCpuScheme::None:
      break;
  }
  return 0;
}

bool IsNetName(std::string_view name) {
  return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '_' || c == '-';
  });
}

constexpr std::string_view VrmKeys[] = {"Phases",
                                        "PhasesPsi",
                                        "PsiMaxAmps",
                                        "LoadLineMilliohm",
                                        "LoadLineSavingMilliohm",
                                        "SavingOffsetMillivolt",
                                        "ImonOffset",
                                        "ImonGain",
                                        "NetLoadLine",
                                        "NetLoadLineActive",
                                        "NetPsi",
                                        "NetPsiActive",
                                        "ProcessorPsi",
                                        "LeakageAmpsPerVolt",
                                        "CdynNanofarad",
                                        "HaltShare",
                                        "VidVolts",
                                        "PhaseSwitchingWatts",
                                        "PhaseMilliohm",
                                        "ControllerWatts",
                                        "VcoreInput",
                                        "ImonInput"};

// The [VRM] section's reads, with net names as the wiring spells them.
class TVrmReader : public TSimSectionReader {
 public:
  using TSimSectionReader::TSimSectionReader;

  bool Net(std::string_view key, std::string* value) const {
    if (!Has(key)) return true;
    const std::string text = TrimBlanks(Text(key));
    if (!IsNetName(text)) return Fail(key, "'" + text + "' is no net name");
    *value = text;
    return true;
  }
};

}  // namespace

double SimIntelVidVolts(uint32_t vid) {
  vid &= 0x3F;
  if (vid == 0) return 0.8375;
  if (vid == 63) return 1.6;
  return 0.825 + 0.0125 * vid;
}

double SimVrmLossWatts(const TSimVrmSettings& settings, double amps, uint32_t phases) {
  const double running = std::max<uint32_t>(phases, 1);
  return settings.ControllerWatts + running * settings.PhaseSwitchingWatts +
         amps * amps * settings.PhaseOhms / running;
}

TSimVrm::TSimVrm(TSimMachine& machine, const TSimVrmSettings& settings)
    : Machine_(machine),
      Settings_(settings),
      Nets_(settings.NetLoadLine.empty() && settings.NetPsi.empty() ? nullptr
                                                                    : &SimWiring(machine)),
      Workload_(SimWorkload(machine)),
      VcoreSource_(*this, TOutput::Vcore),
      ImonSource_(*this, TOutput::Imon) {}

TSimVrm* TSimVrm::Add(TSimMachine& machine, const TSimVrmSettings& settings, std::string* error) {
  const TSimCpuScheme scheme = SimCpuScheme(machine.Config().Processor);
  if (!(settings.VidVolts > 0) && !VidCode(machine.Cpu(0), scheme)) {
    *error = "the processor has no VID registers the regulator knows; set VidVolts";
    return nullptr;
  }
  if (settings.ProcessorPsi && scheme != TSimCpuScheme::K10) {
    *error = "ProcessorPsi needs an AMD family 10h processor";
    return nullptr;
  }
  if (settings.Phases < 1 || settings.PhasesPsi < 1 || settings.PhasesPsi > settings.Phases) {
    *error = "PhasesPsi must lie between 1 and Phases";
    return nullptr;
  }
  if (!(settings.ImonVoltsPerAmp > 0)) {
    *error = "ImonGain must be above 0";
    return nullptr;
  }
  if (FindSimVrm(machine) != nullptr) {
    *error = "the board has a regulator already";
    return nullptr;
  }
  return machine.Add(std::unique_ptr<TSimVrm>(new TSimVrm(machine, settings)));
}

double TSimVrm::PlaneVidVolts() const {
  if (Settings_.VidVolts > 0) return Settings_.VidVolts;
  const TSimCpuScheme scheme = SimCpuScheme(Machine_.Config().Processor);
  double volts = 0;
  for (uint32_t core = 0; core < Machine_.CpuCount(); ++core) {
    if (const auto code = VidCode(Machine_.Cpu(core), scheme)) {
      volts = std::max(volts, VidVolts(*code, scheme));
    }
  }
  return volts;
}

bool TSimVrm::ProcessorAssertsPsi() const {
  TSimPciFunction* f3 = Machine_.Pci().Function(0, NorthbridgeDevice, 3);
  if (f3 == nullptr) return false;
  const uint8_t psi = f3->Byte(PsiOffset);
  if ((psi & PsiVidEnable) == 0) return false;
  // PSI_L follows the plane: only when every core asks for no more than the PSI voltage (a VID
  // code at or above PsiVid).
  uint32_t planeCode = 0x7F;
  for (uint32_t core = 0; core < Machine_.CpuCount(); ++core) {
    if (const auto code = VidCode(Machine_.Cpu(core), TSimCpuScheme::K10)) {
      planeCode = std::min(planeCode, *code);
    }
  }
  return planeCode >= (psi & 0x7Fu);
}

bool TSimVrm::NetActive(const std::string& net, bool activeLevel) const {
  return Nets_ != nullptr && !net.empty() && Nets_->NetLevel(net) == activeLevel;
}

TSimVrmReading TSimVrm::Read() {
  Machine_.BeforeMsrAccess();
  const TSimVrmSettings& s = Settings_;
  TSimVrmReading r;
  r.VidVolts = PlaneVidVolts();
  r.LoadLineSaving = NetActive(s.NetLoadLine, s.NetLoadLineActive);
  r.LoadLineOhms = r.LoadLineSaving ? s.LoadLineSavingOhms : s.LoadLineOhms;
  const double setpoint = std::max(0.0, r.VidVolts - (r.LoadLineSaving ? s.SavingOffsetVolts : 0));

  // Amperes per volt of Vcore: leakage plus what each core's clock switches.
  double conductance = s.LeakageAmpsPerVolt;
  for (uint32_t core = 0; core < Machine_.CpuCount(); ++core) {
    const double activity = s.HaltShare + (1 - s.HaltShare) * Workload_.Load(core) / 100;
    conductance +=
        s.CdynFarads * static_cast<double>(Machine_.Cpu(core).CoreFrequencyHz()) * activity;
  }
  r.Amps = conductance * setpoint / (1 + conductance * r.LoadLineOhms);
  r.Vcore = setpoint - r.LoadLineOhms * r.Amps;
  r.ProcessorWatts = r.Vcore * r.Amps;
  r.ImonVolts = s.ImonOffsetVolts + s.ImonVoltsPerAmp * r.Amps;

  r.Psi = NetActive(s.NetPsi, s.NetPsiActive) || (s.ProcessorPsi && ProcessorAssertsPsi());
  r.Phases = r.Psi && r.Amps < s.PsiMaxAmps ? s.PhasesPsi : s.Phases;
  r.RegulatorLossWatts = SimVrmLossWatts(s, r.Amps, r.Phases);
  r.InputWatts = r.ProcessorWatts + r.RegulatorLossWatts;
  return r;
}

double TSimVrm::TOutputSource::AnalogValue() const {
  const TSimVrmReading reading = Vrm_.Read();
  return Output_ == TOutput::Vcore ? reading.Vcore : reading.ImonVolts;
}

const ISimAnalogSource& TSimVrm::Output(TOutput output) const {
  return output == TOutput::Vcore ? VcoreSource_ : ImonSource_;
}

bool TSimVrm::OutputNamed(std::string_view name, TOutput* output) {
  if (EqualsNoCase(name, "VCORE")) {
    *output = TOutput::Vcore;
  } else if (EqualsNoCase(name, "IMON")) {
    *output = TOutput::Imon;
  } else {
    return false;
  }
  return true;
}

bool TSimVrm::ConnectOutput(TOutput output, std::string_view input, std::string* error) {
  TSimAnalogInputs& inputs = SimMonitorInputs(Machine_);
  if (!inputs.Declared(input)) {
    *error = "the board's monitor has no input " + std::string(input) +
             " (the chip's section comes before the regulator)";
    return false;
  }
  return inputs.Connect(input, &Output(output));
}

TSimVrm* FindSimVrm(TSimMachine& machine) {
  return dynamic_cast<TSimVrm*>(machine.FindDevice(TSimVrm::Name));
}

bool BuildSimVrm(TSimMachine& machine, const TIniFile& ini, const std::string& section,
                 std::string* error) {
  const TVrmReader reader(ini, section, error);
  if (!reader.CheckKeys(VrmKeys)) return false;
  TSimVrmSettings s;
  double cdynNf = s.CdynFarads * 1e9;
  if (!reader.Count("Phases", 1, 16, &s.Phases) ||
      !reader.Count("PhasesPsi", 1, 16, &s.PhasesPsi) ||
      !reader.Real("PsiMaxAmps", 0, 1000, 1, &s.PsiMaxAmps) ||
      !reader.Real("LoadLineMilliohm", 0, 100, 1e-3, &s.LoadLineOhms) ||
      !reader.Real("LoadLineSavingMilliohm", 0, 100, 1e-3, &s.LoadLineSavingOhms) ||
      !reader.Real("SavingOffsetMillivolt", 0, 500, 1e-3, &s.SavingOffsetVolts) ||
      !reader.Real("ImonOffset", 0, 5, 1, &s.ImonOffsetVolts) ||
      !reader.Real("ImonGain", 1e-6, 1, 1, &s.ImonVoltsPerAmp) ||
      !reader.Net("NetLoadLine", &s.NetLoadLine) ||
      !reader.Level("NetLoadLineActive", &s.NetLoadLineActive) ||
      !reader.Net("NetPsi", &s.NetPsi) || !reader.Level("NetPsiActive", &s.NetPsiActive) ||
      !reader.Flag("ProcessorPsi", &s.ProcessorPsi) ||
      !reader.Real("LeakageAmpsPerVolt", 0, 1000, 1, &s.LeakageAmpsPerVolt) ||
      !reader.Real("CdynNanofarad", 0, 1000, 1, &cdynNf) ||
      !reader.Real("HaltShare", 0, 1, 1, &s.HaltShare) ||
      !reader.Real("VidVolts", 0, 3, 1, &s.VidVolts) ||
      !reader.Real("PhaseSwitchingWatts", 0, 100, 1, &s.PhaseSwitchingWatts) ||
      !reader.Real("PhaseMilliohm", 0, 1000, 1e-3, &s.PhaseOhms) ||
      !reader.Real("ControllerWatts", 0, 100, 1, &s.ControllerWatts)) {
    return false;
  }
  s.CdynFarads = cdynNf * 1e-9;
  if (s.PhasesPsi > s.Phases) return reader.Fail("PhasesPsi", "more than Phases");
  std::string why;
  TSimVrm* vrm = TSimVrm::Add(machine, s, &why);
  if (vrm == nullptr) return reader.Fail("", why);
  for (const auto& [key, output] :
       {std::pair{"VcoreInput", TSimVrm::TOutput::Vcore}, {"ImonInput", TSimVrm::TOutput::Imon}}) {
    if (reader.Has(key) && !vrm->ConnectOutput(output, TrimBlanks(reader.Text(key)), &why)) {
      return reader.Fail(key, why);
    }
  }
  return true;
}
