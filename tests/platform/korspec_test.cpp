// TKorSpec on the simulated PC: the P35 board file, and generated firmware that varies one fact at
// a time (the SSDTs, the AMI FADT on NT 6, the feature table).
#include "platform/korspec.h"

#include <gtest/gtest.h>

#include "sim/simboard.h"
#include "sim/simmachine.h"
#include "tests/platform/acpi_testrig.h"

namespace {

using namespace platformtest;

std::vector<std::string> Signatures(const TAcpiBase& acpi) {
  std::vector<std::string> signatures;
  for (const TAcpiTableEntry& entry : acpi.Tables()) signatures.push_back(entry.Signature);
  return signatures;
}

TEST(KorSpecBoard, TheP35BoardIdentifiesItselfAndOffersPStates) {
  std::string error;
  std::unique_ptr<TSimMachine> machine =
      CreateSimMachine("p35-core2", std::string(KORZEM_SOURCE_DIR) + "/data/boards", &error);
  ASSERT_NE(nullptr, machine) << error;
  TRwRig rig(*machine);
  TInitFile& config = *rig.Config;

  TKorSpec spec(*rig.Rw, config, true);
  EXPECT_TRUE(spec.SmbiosFound());
  EXPECT_EQ(0x24u, spec.SmbiosVersion());
  EXPECT_EQ("LQ-P35D2", spec.ModelName());
  EXPECT_TRUE(spec.AcpiPStates());
  EXPECT_FALSE(spec.FeatureTableFound());
  EXPECT_FALSE(config.ACPIDecodeSSDTEx);  // an Intel processor
  EXPECT_EQ(std::vector<std::string>(
                {"RSD ", "RSDT", "FACP", "APIC", "HPET", "MCFG", "SSDT", "SSDT", "FACS", "DSDT"}),
            Signatures(spec.Acpi()));
  EXPECT_TRUE(spec.HasAcpiTable("MCFG"));
  EXPECT_FALSE(spec.HasAcpiTable("ECDT"));
  EXPECT_EQ(0x400, config.AcpiPmBase);
  EXPECT_EQ(9u, config.AcpiSciIrq);
  EXPECT_EQ(0x408, config.PmTimerPort);
  EXPECT_EQ(0, config.PmTimerWidth);
  EXPECT_EQ(0xFEC00000u, config.ApicAddress);
  // The FADT's timer is the one the simulated chipset runs.
  EXPECT_EQ(machine->PmTimer().Port(), config.PmTimerPort);
}

TEST(KorSpecBoard, WithoutFirmwareTablesEverythingIsEmpty) {
  TSimMachine machine(RoomyMachine());
  TRwRig rig(machine);
  TKorSpec spec(*rig.Rw, *rig.Config, false);
  EXPECT_FALSE(spec.SmbiosFound());
  EXPECT_EQ("", spec.ModelName());
  EXPECT_FALSE(spec.AcpiPStates());
  EXPECT_FALSE(spec.Acpi().RsdpFound());
  EXPECT_FALSE(spec.HasAcpiTable("FACP"));
  EXPECT_FALSE(spec.FeatureTableFound());
  EXPECT_TRUE(rig.Config->ACPIDecodeSSDTEx);  // not an Intel processor
}

struct TPStateCase {
  const char* Name;
  std::vector<TSimSsdtConfig> Ssdts;
  std::string OemId = "KORSIM";
  std::string OemTableId = "SIMBOARD";
  uint32_t OemRevision = 1;
  int OsKind = 4;
  bool Intel = true;
  bool Expected = false;
};

const TSimSsdtConfig kPssTable{"Cpu0Ist", true, {{2667, 65000, 0x0A22}, {1600, 32000, 0x0616}}, {}};
const TSimSsdtConfig kPlainTable{"Cpu0Cst", true, {}, {}};
const TSimSsdtConfig kCpuPmTable{"CpuPm", true, {}, {}};
const TSimSsdtConfig kHiddenPssTable{"Cpu0Ist", false, {{2667, 65000, 0x0A22}}, {}};

std::vector<TPStateCase> PStateCases() {
  std::vector<TPStateCase> cases;
  auto add = [&cases](const char* name, std::vector<TSimSsdtConfig> ssdts, bool expected) {
    TPStateCase c;
    c.Name = name;
    c.Ssdts = std::move(ssdts);
    c.Expected = expected;
    cases.push_back(c);
    return &cases.back();
  };
  add("an SSDT with _PSS", {kPlainTable, kPssTable}, true);
  add("SSDTs without performance states", {kPlainTable}, false);
  add("a CpuPm table", {kCpuPmTable}, true);
  add("no SSDT", {}, false);
  for (int osKind : {4, 6, 1}) {
    TPStateCase* ami = add("the AMI FADT", {kPssTable}, osKind == 1);
    ami->OemId = "A M I";
    ami->OemTableId = "OEMFACP";
    ami->OemRevision = 0x12000601;
    ami->OsKind = osKind;
  }
  TPStateCase* other = add("an AMI FADT of another revision", {kPssTable}, true);
  other->OemId = "A M I";
  other->OemTableId = "OEMFACP";
  other->OemRevision = 0x12000602;
  add("an unlisted SSDT on Intel", {kHiddenPssTable}, false);
  add("an unlisted SSDT on AMD", {kHiddenPssTable}, true)->Intel = false;
  return cases;
}

TEST(KorSpecPStates, FlagFollowsTheSsdtsAndTheFadt) {
  for (const TPStateCase& c : PStateCases()) {
    TSimMachine machine(RoomyMachine());
    TRwRig rig(machine, c.OsKind);
    ASSERT_EQ(c.OsKind, rig.Config->OsVersion->OsKind);
    TSimAcpiConfig firmware;
    firmware.OemId = c.OemId;
    firmware.OemTableId = c.OemTableId;
    firmware.OemRevision = c.OemRevision;
    firmware.Ssdts = c.Ssdts;
    LayFirmware(machine, {std::nullopt, firmware});
    TKorSpec spec(*rig.Rw, *rig.Config, c.Intel);
    EXPECT_EQ(c.Expected, spec.AcpiPStates()) << c.Name << ", OS kind " << c.OsKind;
  }
}

TEST(KorSpecFeatureTable, EntriesSetTheFlags) {
  struct TCase {
    TBytes Entries;
    bool Type1, Type4, Type3;
    uint32_t Type3Offset;  // behind the header; 0: none
  };
  const TCase cases[] = {
      {{0x01, 0x02, 0x04, 0x02, 0x03, 0x03, 0x07}, true, true, true, 4},
      {{0x03, 0x04, 0x03, 0x00}, false, false, false, 0},
      // An entry of length 0 ends the walk and counts for nothing.
      {{0x04, 0x02, 0x01, 0x00, 0x03, 0x03, 0x00}, false, true, false, 0},
      // An entry running past the end is the last.
      {{0x02, 0x02, 0x04, 0x09, 0x00}, false, true, false, 0},
  };
  for (const TCase& c : cases) {
    TSimMachine machine(RoomyMachine());
    TRwRig rig(machine);
    TSimAcpiConfig firmware;
    firmware.Aaft = c.Entries;
    const TSimFirmwareImage image = LayFirmware(machine, {std::nullopt, firmware});
    TKorSpec spec(*rig.Rw, *rig.Config, true);
    const uint32_t aaft = image.Find("AAFT")->Address;
    ASSERT_TRUE(spec.FeatureTableFound());
    EXPECT_EQ(image.Find("AAFT")->Bytes, spec.FeatureTable());
    EXPECT_EQ(c.Type1, spec.FeatureFlags().Type1);
    EXPECT_EQ(c.Type4, spec.FeatureFlags().Type4);
    EXPECT_EQ(c.Type3, spec.FeatureFlags().Type3);
    EXPECT_EQ(c.Type3 ? aaft + 36 + c.Type3Offset : 0, spec.FeatureFlags().Type3Address);
  }
}

class TRecordingPowerServices : public IBoardPowerServices {
 public:
  bool ApplyPowerScheme(int mode) override {
    Calls.push_back("scheme " + std::to_string(mode));
    return Result;
  }
  bool RegisterLogonTask(const std::string& name) override {
    Calls.push_back("register " + name);
    return Result;
  }
  bool RemoveLogonTask(const std::string& name) override {
    Calls.push_back("remove " + name);
    return Result;
  }
  std::vector<std::string> Calls;
  bool Result = true;
};

TEST(KorSpecPowerServices, ReportFailureUntilThePowerLayerAttaches) {
  TSimMachine machine(RoomyMachine());
  TRwRig rig(machine);
  TKorSpec spec(*rig.Rw, *rig.Config, true);
  EXPECT_FALSE(spec.ApplyPowerScheme(1));
  EXPECT_FALSE(spec.RegisterLogonTask("KorvanZEM"));
  EXPECT_FALSE(spec.RemoveLogonTask("KorvanZEM"));

  TRecordingPowerServices services;
  spec.SetPowerServices(&services);
  EXPECT_TRUE(spec.ApplyPowerScheme(2));
  EXPECT_TRUE(spec.RegisterLogonTask("KorvanZEM"));
  services.Result = false;
  EXPECT_FALSE(spec.RemoveLogonTask("Other"));
  EXPECT_EQ(std::vector<std::string>({"scheme 2", "register KorvanZEM", "remove Other"}),
            services.Calls);
  spec.SetPowerServices(nullptr);
  EXPECT_FALSE(spec.ApplyPowerScheme(1));
}

}  // namespace
