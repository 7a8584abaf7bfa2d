// Runs "zemctl info" on every shipped board and checks what the program learns at start against
// what the board file describes: processor identity and clock, the firmware tables, the board's
// model name and the ACPI values the clock measurement and the embedded-controller access use.
#include "zemctlrun.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "base/inifile.h"
#include "base/textfmt.h"

namespace {

namespace fs = std::filesystem;

using e2e::Slurp;
using e2e::TRun;
using e2e::Zemctl;

// "0x" hexadecimal or decimal; nothing for any other text.
std::optional<uint64_t> Number(const std::string& text) {
  const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  const std::string digits = hex ? text.substr(2) : text;
  if (digits.empty()) return std::nullopt;
  size_t used = 0;
  try {
    const uint64_t value = std::stoull(digits, &used, hex ? 16 : 10);
    if (used == digits.size()) return value;
  } catch (const std::exception&) {
  }
  return std::nullopt;
}

// The value of "Name: value" in zemctl's output; nothing when the line is missing.
std::optional<std::string> Field(const std::string& out, const std::string& name) {
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind(name + ":", 0) == 0) return TrimBlanks(line.substr(name.size() + 1));
  }
  return std::nullopt;
}

std::vector<std::string> Words(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> words;
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

// The processor a board file describes. A board names a processor model or spells the processor
// out; its own [Processor] keys win over the model's.
struct TExpectedCpu {
  std::string Vendor;
  std::optional<uint64_t> Signature;
  std::optional<double> FrequencyMhz;
};

// The model's identity as sim/simcpumodels.cpp sets it: the table row names the function that
// fills the model, whose body assigns m.Vendor, m.Signature and m.FrequencyHz.
bool ReadModel(const std::string& model, TExpectedCpu* cpu, std::string* why) {
  const std::string source = Slurp(std::string(KORZEM_SOURCE_DIR) + "/sim/simcpumodels.cpp");
  const size_t row = source.find("{\"" + model + "\",");
  if (row == std::string::npos) {
    *why = "no row for model " + model + " in sim/simcpumodels.cpp";
    return false;
  }
  const size_t rowEnd = source.find('}', row);
  const size_t comma = source.rfind(',', rowEnd);
  const std::string function = TrimBlanks(source.substr(comma + 1, rowEnd - comma - 1));
  const size_t body = source.find("TSimProcessorModel " + function + "()");
  const size_t bodyEnd = source.find("return m;", body);
  if (function.empty() || body == std::string::npos || bodyEnd == std::string::npos) {
    *why = "no function " + function + " for model " + model;
    return false;
  }
  auto assigned = [&](const std::string& field) -> std::string {
    const size_t at = source.find("m." + field + " = ", body);
    if (at == std::string::npos || at > bodyEnd) return {};
    const size_t start = at + field.size() + 5;
    return TrimBlanks(source.substr(start, source.find(';', start) - start));
  };
  std::string vendor = assigned("Vendor");
  if (vendor.size() >= 2 && vendor.front() == '"' && vendor.back() == '"') {
    cpu->Vendor = vendor.substr(1, vendor.size() - 2);
  }
  cpu->Signature = Number(assigned("Signature"));
  if (const std::optional<uint64_t> hz = Number(assigned("FrequencyHz"))) {
    cpu->FrequencyMhz = static_cast<double>(*hz) / 1e6;
  }
  return true;
}

bool ExpectedCpu(const TIniFile& board, TExpectedCpu* cpu, std::string* why) {
  const std::string model = board.ReadString("Processor", "Model", "");
  if (!model.empty() && !ReadModel(model, cpu, why)) return false;
  const std::string vendor = board.ReadString("Processor", "Vendor", "");
  if (!vendor.empty()) cpu->Vendor = vendor;
  const std::string signature = board.ReadString("Processor", "Signature", "");
  if (!signature.empty()) cpu->Signature = Number(signature);
  const std::string mhz = board.ReadString("Processor", "FrequencyMHz", "");
  if (!mhz.empty()) cpu->FrequencyMhz = std::stod(mhz);
  if (cpu->Vendor.empty() || !cpu->Signature || !cpu->FrequencyMhz) {
    *why = "the board file gives no complete processor identity";
    return false;
  }
  return true;
}

// The firmware-table sections of a board file, as the readers should see them.
struct TExpectedTables {
  size_t VisibleSsdts = 0;  // in the RSDT, or behind the DSDT where the processor is AMD's
  bool PStates = false;     // a visible SSDT with _PSS or the "CpuPm" id
  std::vector<std::string> Extra;
};

TExpectedTables ExpectedTables(const TIniFile& board, bool amd) {
  TExpectedTables tables;
  TStrings sections;
  board.ReadSections(sections);
  for (const std::string& section : sections) {
    if (StartsWithNoCase(section, "ACPI Table ")) {
      tables.Extra.push_back(TrimBlanks(section.substr(11)));
      continue;
    }
    if (!StartsWithNoCase(section, "SSDT ")) continue;
    // Only AMD processors have the reader scan memory for SSDTs the root table leaves out.
    if (board.ReadInteger(section, "Listed", 1) == 0 && !amd) continue;
    ++tables.VisibleSsdts;
    const std::string id = board.ReadString(section, "OemTableId", TrimBlanks(section.substr(5)));
    if (!board.ReadString(section, "PStates", "").empty() ||
        id.find("CpuPm") != std::string::npos) {
      tables.PStates = true;
    }
  }
  return tables;
}

// A program directory of its own (KorZem.ini and the board files from the source tree): zemctl
// writes the values it learns back into KorZem.ini, which must not carry over between boards.
class TProgramDirectory {
 public:
  explicit TProgramDirectory(const std::string& tag)
      : Path_(::testing::TempDir() + "zemctl-info-" + std::to_string(::getpid()) + "-" + tag) {
    std::error_code error;
    fs::remove_all(Path_, error);
    fs::copy(std::string(KORZEM_SOURCE_DIR) + "/data", Path_, fs::copy_options::recursive, error);
    Ok_ = !error && fs::exists(Path_ + "/KorZem.ini");
  }
  ~TProgramDirectory() {
    std::error_code error;
    fs::remove_all(Path_, error);
  }
  bool Ok() const { return Ok_; }
  const std::string& Path() const { return Path_; }

 private:
  std::string Path_;
  bool Ok_ = false;
};

std::vector<std::string> ShippedBoards() {
  const TProgramDirectory directory("boards");
  const TRun run = Zemctl("--dir " + directory.Path() + " boards");
  EXPECT_EQ(run.Status, 0) << run.Err;
  std::vector<std::string> names;
  std::istringstream lines(run.Out);
  for (std::string line; std::getline(lines, line);) {
    const std::vector<std::string> words = Words(line);
    if (!words.empty()) names.push_back(words[0]);
  }
  return names;
}

std::string Hex4(uint64_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(value));
  return text;
}

std::string Hex8(uint64_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
  return text;
}

// The I/O APIC serving the legacy interrupts: the one whose interrupt base is 0 (the last such,
// as the MADT walk keeps overwriting); the firmware's default one when the board lists none.
std::optional<uint64_t> LegacyIoApic(const TIniFile& board) {
  TStrings keys;
  board.ReadSection("ACPI", keys);
  std::optional<uint64_t> address = 0xFEC00000;
  bool listed = false;
  for (const std::string& key : keys) {
    if (!StartsWithNoCase(key, "IoApic")) continue;
    if (!listed) address.reset();
    listed = true;
    std::string text = board.ReadString("ACPI", key, "");
    std::replace(text.begin(), text.end(), ',', ' ');
    const std::vector<std::string> parts = Words(text);  // ID ADDRESS GSIBASE
    if (parts.size() == 3 && Number(parts[2]) == 0u) address = Number(parts[1]);
  }
  return address;
}

// The model name the program derives from the base-board product string.
std::string ModelName(std::string product) {
  product = TrimBlanks(product);
  while (!product.empty() && product.back() == '.') product.pop_back();
  return product;
}

void CheckBoard(const std::string& name) {
  const TProgramDirectory directory(name);
  ASSERT_TRUE(directory.Ok()) << "cannot copy the program data to " << directory.Path();
  const TIniFile board(directory.Path() + "/boards/" + name + ".ini");
  TExpectedCpu cpu;
  std::string why;
  ASSERT_TRUE(ExpectedCpu(board, &cpu, &why)) << why;

  const TRun run = Zemctl("--dir " + directory.Path() + " --machine sim:" + name + " info");
  ASSERT_EQ(run.Status, 0) << run.Err;
  SCOPED_TRACE(run.Out);

  // "CPU: VENDOR signature 0xSSSSSSSS family class N"
  const std::vector<std::string> cpuLine = Words(Field(run.Out, "CPU").value_or(""));
  ASSERT_GE(cpuLine.size(), 3u);
  EXPECT_EQ(cpuLine[0], cpu.Vendor);
  EXPECT_EQ(cpuLine[1], "signature");
  EXPECT_EQ(Number(cpuLine[2]), cpu.Signature);

  // The clock is measured against the PM timer the FADT names: without a matching FADT it is 0.
  const std::vector<std::string> clockLine = Words(Field(run.Out, "Clock").value_or(""));
  ASSERT_EQ(clockLine.size(), 2u);
  EXPECT_EQ(clockLine[1], "MHz");
  EXPECT_NEAR(std::stod(clockLine[0]), *cpu.FrequencyMhz, *cpu.FrequencyMhz * 0.01);

  const std::string product = board.ReadString("SMBIOS", "BoardProduct", "");
  EXPECT_FALSE(ModelName(product).empty()) << "no [SMBIOS] BoardProduct in " << name;
  EXPECT_EQ(Field(run.Out, "Board"), ModelName(product));

  const bool amd = cpu.Vendor == "AuthenticAMD";
  const TExpectedTables expected = ExpectedTables(board, amd);
  const std::vector<std::string> tables = Words(Field(run.Out, "ACPI tables").value_or(""));
  auto count = [&tables](const std::string& signature) {
    return std::count(tables.begin(), tables.end(), signature);
  };
  EXPECT_EQ(count("RSD"), 1);
  EXPECT_EQ(count("RSDT"), 1);
  EXPECT_EQ(count("FACP"), 1);
  EXPECT_EQ(count("FACS"), 1);
  EXPECT_EQ(count("DSDT"), 1);
  EXPECT_EQ(count("APIC"), 1);
  EXPECT_EQ(static_cast<size_t>(count("SSDT")), expected.VisibleSsdts);
  EXPECT_EQ(count("ECDT"), board.ValueExists("ACPI", "EcCommandPort") ? 1 : 0);
  EXPECT_EQ(count("AAFT"), board.ValueExists("ACPI", "Aaft") ? 1 : 0);
  for (const std::string& signature : expected.Extra) EXPECT_EQ(count(signature), 1) << signature;
  EXPECT_EQ(Field(run.Out, "ACPI P-states"), expected.PStates ? "yes" : "no");

  // The FADT's PM timer is the board's; its width is the FADT's TMR_VAL_EXT flag.
  const std::optional<uint64_t> timerPort = Number(board.ReadString("Board", "PmTimerPort", ""));
  ASSERT_TRUE(timerPort.has_value());
  EXPECT_EQ(Field(run.Out, "PM timer"),
            Hex4(*timerPort) + " (" + board.ReadString("Board", "PmTimerBits", "") + "-bit)");
  const std::optional<uint64_t> pm1a = Number(board.ReadString("ACPI", "Pm1aEventBlock", ""));
  ASSERT_TRUE(pm1a.has_value());
  EXPECT_EQ(Field(run.Out, "PM1a event block"), Hex4(*pm1a));
  EXPECT_EQ(Field(run.Out, "SCI IRQ"), board.ReadString("ACPI", "SciInterrupt", "9"));
  const std::optional<uint64_t> ioApic = LegacyIoApic(board);
  ASSERT_TRUE(ioApic.has_value()) << "no I/O APIC for interrupt 0 in [ACPI]";
  EXPECT_EQ(Field(run.Out, "IO APIC"), Hex8(*ioApic));
  const uint64_t ecCommand = Number(board.ReadString("ACPI", "EcCommandPort", "0x66")).value_or(0);
  const uint64_t ecData = Number(board.ReadString("ACPI", "EcDataPort", "0x62")).value_or(0);
  EXPECT_EQ(Field(run.Out, "EC"), Hex4(ecCommand) + "/" + Hex4(ecData));
}

}  // namespace

TEST(ZemctlInfo, BoardListMatchesTheBoardFiles) {
  std::vector<std::string> files;
  for (const fs::directory_entry& entry :
       fs::directory_iterator(std::string(KORZEM_SOURCE_DIR) + "/data/boards")) {
    if (entry.path().extension() == ".ini") files.push_back(entry.path().stem().string());
  }
  std::sort(files.begin(), files.end());
  EXPECT_FALSE(files.empty());
  EXPECT_EQ(ShippedBoards(), files);
}

TEST(ZemctlInfo, EveryBoardIdentifiesItselfThroughItsFirmwareTables) {
  const std::vector<std::string> boards = ShippedBoards();
  ASSERT_FALSE(boards.empty());
  for (const std::string& name : boards) {
    SCOPED_TRACE("board " + name);
    CheckBoard(name);
  }
}
