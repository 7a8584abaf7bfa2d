// zemctl info: what the program learns about the PC at start, in the program's order: processor
// identity, board identity and firmware tables (which also give the PM timer the clock
// measurement needs), then bus clock, ratios and the measured clock.
#include <cstdio>
#include <memory>

#include "base/textfmt.h"
#include "chips/sio.h"
#include "os/singleinstance.h"
#include "platform/cpu.h"
#include "platform/korspec.h"
#include "tools/zemctl/commands.h"

namespace {

std::string OneDecimal(float value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", static_cast<double>(value));
  return text;
}

std::string Ratio(float value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", static_cast<double>(value));
  return text;
}

void PrintPlatform(TCommandContext& context, TMachineSession* session) {
  TReadWrite& rw = session->ReadWrite();
  TInitFile& init = session->InitFile();
  FILE* out = context.Out;
  const TOsVersion& os = *init.OsVersion;
  std::fprintf(out, "OS: %s (%s, kind %d)\n", os.Name.c_str(), os.ShortName.c_str(), os.OsKind);

  TCpu cpu(rw, init);
  std::fprintf(out, "CPU: %s signature %s family class %d\n", cpu.GetVendorString().c_str(),
               HexDword(cpu.GetSignature()).c_str(), cpu.GetFamilyClass());

  TKorSpec spec(rw, init, cpu.IsIntelCpu());
  cpu.DetectBusClock();
  cpu.DetectRatios();
  const float clock = cpu.MeasureClock();
  std::fprintf(out, "Bus clock: %s MHz\n", OneDecimal(cpu.BusClock).c_str());
  std::fprintf(out, "Ratios: min %s max %s current %s step %s\n", Ratio(cpu.MinRatio).c_str(),
               Ratio(cpu.MaxRatio).c_str(), Ratio(cpu.CurrentRatio).c_str(),
               Ratio(cpu.RatioStep).c_str());
  std::fprintf(out, "Clock: %s MHz\n", OneDecimal(clock).c_str());

  std::string tables;
  for (const auto& table : spec.Acpi().Tables()) {
    if (!tables.empty()) tables += ' ';
    tables += TrimBlanks(table.Signature);  // the RSDP's signature is "RSD "
  }
  std::fprintf(out, "ACPI tables: %s\n", tables.c_str());
  std::fprintf(out, "Board: %s\n", spec.ModelName().c_str());
  std::fprintf(out, "ACPI P-states: %s\n", spec.AcpiPStates() ? "yes" : "no");
  std::fprintf(out, "PM timer: %s (%s-bit)\n", HexWord(init.PmTimerPort).c_str(),
               init.PmTimerWidth == 0x100 ? "32" : "24");
  std::fprintf(out, "PM1a event block: %s\n", HexWord(init.AcpiPmBase).c_str());
  std::fprintf(out, "SCI IRQ: %u\n", static_cast<unsigned>(init.AcpiSciIrq));
  std::fprintf(out, "IO APIC: %s\n", HexDword(init.ApicAddress).c_str());
  std::fprintf(out, "EC: %s/%s\n", HexWord(init.EC_SC).c_str(), HexWord(init.EC_DATA).c_str());

  std::unique_ptr<IInstancePoster> poster = OsCreateInstancePoster();
  TSio sio(init, TScriptServices{rw, os.SystemInfo.NumberOfProcessors, *poster});
  std::fprintf(out, "%s\n", SioLine(sio).c_str());
}

}  // namespace

int RunInfo(TCommandContext& context, TMachineSession* session) {
  PrintPlatform(context, session);
  PrintEngineInfo(context, session);
  return kExitOk;
}
