// TSmbiosBase on the simulated PC: generated tables, hand-made broken ones, and the SMBIOS images
// of real machines.
#include <gtest/gtest.h>

#include "platform/smbiosbase.h"
#include "sim/simmachine.h"
#include "tests/platform/acpi_testrig.h"

namespace {

using namespace platformtest;

TSimSmbiosConfig BoardNamed(const std::string& product) {
  TSimSmbiosConfig config;
  config.BiosVendor = "Test BIOS";
  config.SystemManufacturer = "Test Systems";
  config.SystemProduct = "TS-1000";
  config.BoardManufacturer = "Test Boards";
  config.BoardProduct = product;
  config.BoardVersion = "1.0";
  return config;
}

// A 2.3 entry point for a structure table at tableAddress.
TBytes MakeEntryPoint(uint32_t tableAddress, uint16_t tableLength) {
  TBytes entry(31, 0);
  std::memcpy(entry.data(), "_SM_", 4);
  entry[5] = 31;
  entry[6] = 2;
  entry[7] = 3;
  std::memcpy(entry.data() + 0x10, "_DMI_", 5);
  entry[0x16] = static_cast<uint8_t>(tableLength);
  entry[0x17] = static_cast<uint8_t>(tableLength >> 8);
  Put32(entry, 0x18, tableAddress);
  // One byte that makes all 31 sum to zero: the only checksum the reader looks at.
  FixChecksum(entry, 0x15);
  return entry;
}

std::vector<uint8_t> Types(const TSmbiosBase& smbios) {
  std::vector<uint8_t> types;
  for (const TSmbiosStructure& s : smbios.Structures()) types.push_back(s.Type);
  return types;
}

class SmbiosBaseTest : public testing::Test {
 protected:
  TSimMachine Machine{RoomyMachine()};
  TRwRig Rig{Machine};
};

TEST_F(SmbiosBaseTest, GeneratedTableIsFoundCopiedAndSplit) {
  const TSimFirmwareImage image = LayFirmware(Machine, {BoardNamed("LQ-P35D2"), std::nullopt});
  TSmbiosBase smbios(*Rig.Rw);
  ASSERT_TRUE(smbios.Found());
  EXPECT_EQ(0xF0100u, smbios.EntryAddress());
  EXPECT_EQ(0x24u, smbios.Version());
  EXPECT_EQ(image.SmbiosTableAddress, smbios.TableAddress());
  EXPECT_EQ(image.Find("SMBIOS table")->Bytes, smbios.Table());
  EXPECT_EQ(smbios.Table().size(), smbios.TableLength());
  EXPECT_EQ(std::vector<uint8_t>({0, 1, 2, 127}), Types(smbios));

  const TSmbiosStructure* board = smbios.FindStructure(2, 0);
  ASSERT_NE(nullptr, board);
  EXPECT_EQ(nullptr, smbios.FindStructure(2, 1));
  EXPECT_EQ(0x0F, board->Length);
  EXPECT_EQ(2, board->Handle);
  EXPECT_EQ("Test Boards", smbios.StructureString(*board, 1));
  EXPECT_EQ("LQ-P35D2", smbios.StructureString(*board, 2));
  EXPECT_EQ("1.0", smbios.StructureString(*board, 3));
  EXPECT_EQ("", smbios.StructureString(*board, 0));
  EXPECT_EQ("", smbios.StructureString(*board, 4));  // the set holds three
  EXPECT_EQ("TS-1000", smbios.StructureString(*smbios.FindStructure(1, 0), 2));
  EXPECT_EQ("LQ-P35D2", smbios.BoardModelName());

  smbios.Release();
  EXPECT_TRUE(smbios.Table().empty());
  EXPECT_EQ(nullptr, smbios.FindStructure(2, 0));
}

TEST_F(SmbiosBaseTest, ProductNamesAreTrimmedAndLoseTheirTrailingDots) {
  struct TCase {
    const char* Product;
    const char* Trimmed;
    const char* Model;
  };
  const TCase cases[] = {
      {"  LQ-P35D2 \t", "LQ-P35D2", "LQ-P35D2"},
      {"P35 Neo...", "P35 Neo...", "P35 Neo"},
      {"...", "...", ""},
      {"P3.5 . ", "P3.5 .", "P3.5 "},
      // No string: the structure holds string number 0.
      {"", "", ""},
  };
  for (const TCase& c : cases) {
    TSimMachine machine(RoomyMachine());
    TRwRig rig(machine);
    LayFirmware(machine, {BoardNamed(c.Product), std::nullopt});
    TSmbiosBase smbios(*rig.Rw);
    EXPECT_EQ(c.Trimmed, smbios.BoardProduct()) << "'" << c.Product << "'";
    EXPECT_EQ(c.Model, smbios.BoardModelName()) << "'" << c.Product << "'";
  }
}

TEST_F(SmbiosBaseTest, AnEntryPointWithABadChecksumIsPassedOverForTheNextOne) {
  const TSimFirmwareImage image = LayFirmware(Machine, {BoardNamed("Good Board"), std::nullopt});
  // An older copy in front of it, naming another table, with one byte changed.
  TSimSmbiosConfig old = BoardNamed("Stale Board");
  old.EntryAddress = 0xF0000;
  old.TableAddress = 0xE8000;
  TSimFirmwareImage stale;
  std::string error;
  ASSERT_TRUE(BuildSimFirmwareImage({old, std::nullopt}, &stale, &error)) << error;
  WriteSimFirmware(stale, Machine.Memory());
  Machine.Memory().WriteByte(0xF0000 + 0x1D, 0x7F);

  TSmbiosBase smbios(*Rig.Rw);
  ASSERT_TRUE(smbios.Found());
  EXPECT_EQ(image.SmbiosEntryAddress, smbios.EntryAddress());
  EXPECT_EQ("Good Board", smbios.BoardProduct());

  // With the good one broken as well there is none.
  Machine.Memory().WriteByte(image.SmbiosEntryAddress + 0x1D, 0x7F);
  TSmbiosBase none(*Rig.Rw);
  EXPECT_FALSE(none.Found());
  EXPECT_TRUE(none.Table().empty());
  EXPECT_EQ("", none.BoardModelName());
}

TEST_F(SmbiosBaseTest, WithoutABaseBoardStructureTheProductIsEmpty) {
  // BIOS information and the end of the table only.
  const TBytes table = {0, 4, 0, 0, 'x', 0, 0, 127, 4, 1, 0, 0, 0};
  Poke(Machine, 0xE8000, table);
  Poke(Machine, 0xF8000, MakeEntryPoint(0xE8000, static_cast<uint16_t>(table.size())));
  TSmbiosBase smbios(*Rig.Rw);
  ASSERT_TRUE(smbios.Found());
  EXPECT_EQ(0x23u, smbios.Version());
  EXPECT_EQ(std::vector<uint8_t>({0, 127}), Types(smbios));
  EXPECT_EQ("", smbios.BoardProduct());
}

TEST_F(SmbiosBaseTest, TheWalkNeverReadsPastTheCopiedTable) {
  // A complete base-board structure, then one whose string set the table length cuts off.
  const TBytes complete = {2, 8, 5, 0, 1, 1, 0, 0, 'B', 'o', 'a', 'r', 'd', 0, 0};
  TBytes table = complete;
  const TBytes cut = {2, 8, 6, 0, 1, 1, 0, 0, 'C', 'u', 't', 0, 0};
  table.insert(table.end(), cut.begin(), cut.end());
  Poke(Machine, 0xE8000, table);
  Poke(Machine, 0xF0000,
       MakeEntryPoint(0xE8000, static_cast<uint16_t>(complete.size() + cut.size() - 2)));
  TSmbiosBase smbios(*Rig.Rw);
  ASSERT_EQ(1u, smbios.Structures().size());
  EXPECT_EQ(complete.size(), smbios.Structures()[0].Size);
  EXPECT_EQ("Board", smbios.BoardProduct());

  // A formatted length beyond the table, and one below the 4 header bytes, end the walk too.
  for (uint8_t length : {uint8_t{200}, uint8_t{2}}) {
    TBytes odd = complete;
    odd.insert(odd.end(), {1, length, 7, 0, 0, 0});
    Poke(Machine, 0xE8000, odd);
    Poke(Machine, 0xF0000, MakeEntryPoint(0xE8000, static_cast<uint16_t>(odd.size())));
    TSmbiosBase walked(*Rig.Rw);
    EXPECT_EQ(std::vector<uint8_t>({2}), Types(walked)) << int{length};
  }
}

struct TRealImage {
  const char* File;
  const char* BoardProduct;
  const char* SystemProduct;
};

class SmbiosRealImageTest : public testing::TestWithParam<TRealImage> {};

TEST_P(SmbiosRealImageTest, BoardProductAndEveryStructure) {
  TSimMachine machine(RoomyMachine());
  TRwRig rig(machine);
  // The images start at 0xE0000 with their entry point; the search begins at 0xF0000, so a copy
  // of the entry point goes there.
  const TBytes image = ReadFileBytes(kRealData + "/smbios/" + GetParam().File);
  Poke(machine, 0xE0000, image);
  Poke(machine, 0xF0000, TBytes(image.begin(), image.begin() + 31));

  TSmbiosBase smbios(*rig.Rw);
  ASSERT_TRUE(smbios.Found());
  EXPECT_EQ(0x23u, smbios.Version());
  EXPECT_EQ(0xE0020u, smbios.TableAddress());
  // The entry point's own count of structures.
  EXPECT_EQ(static_cast<size_t>(image[0x1C] | image[0x1D] << 8), smbios.Structures().size());
  EXPECT_EQ(GetParam().BoardProduct, smbios.BoardProduct());
  EXPECT_EQ(GetParam().SystemProduct, smbios.StructureString(*smbios.FindStructure(1, 0), 2));
  const TSmbiosStructure& last = smbios.Structures().back();
  EXPECT_EQ(smbios.Table().size(), last.Offset + last.Size);
}

INSTANTIATE_TEST_SUITE_P(
    RealMachines, SmbiosRealImageTest,
    testing::Values(
        TRealImage{"desktop-2000-smbios.dat", "OptiPlex GX110", "OptiPlex GX110               "},
        TRealImage{"desktop-2002-smbios.dat", "D845PT", "DIM4400                        "},
        TRealImage{"laptop-2005-smbios.dat", "0C4708", "Latitude D610                   "},
        TRealImage{"workstation-2007-smbios.dat", "0GH911", "Precision WorkStation 390    "}));

TEST(SmbiosRealMemory, TheEntryPointOfA2000DesktopInItsLowMemory) {
  TSimMachine machine(RoomyMachine());
  TRwRig rig(machine);
  Poke(machine, 0, ReadFileBytes(kRealData + "/physmem/desktop-2000-lowmem-0-1MiB.bin"));
  TSmbiosBase smbios(*rig.Rw);
  ASSERT_TRUE(smbios.Found());
  EXPECT_EQ(0xF0430u, smbios.EntryAddress());
  EXPECT_EQ(0xF0450u, smbios.TableAddress());
  EXPECT_EQ(1743u, smbios.TableLength());
  EXPECT_EQ(58u, smbios.Structures().size());
  EXPECT_EQ("OptiPlex GX110", smbios.BoardModelName());
}

}  // namespace
