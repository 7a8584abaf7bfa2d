// The model file's "Config" statistics: what is read with which default, the period start and
// its reset when the clock went back, the processor check, and what is written back at exit in
// which order and precision.
#include "engine/cfg.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include "tests/support/tempfiletest.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "base/trace.h"
#include "os/test/fakelocaltime.h"
#include "os/test/fakemessagebox.h"
#include "tests/support/tracecapture.h"

namespace {

constexpr uint32_t kE7300 = 0x10677;

using TConsoleLines = TTraceCapture;

class Cfg : public TTempFileTest {
 protected:
  std::unique_ptr<TCfg> Open(uint32_t signature = kE7300) {
    return std::make_unique<TCfg>(Path, signature, Clock, Messages);
  }
  // A run that changes nothing: what the file holds afterwards.
  void Run(uint32_t signature = kE7300) { Open(signature).reset(); }
  std::vector<std::string> ConfigKeys() const {
    TStrings keys;
    TiFile(Path).ReadSection("Config", keys);
    return keys;
  }
  std::string Stored(const char* key) const { return TiFile(Path).ReadString("Config", key, "?"); }

  TFakeLocalTime Clock{{2009, 3, 7, 14, 5, 9, 250}};
  TFakeMessageBox Messages;
  TConsoleLines Trace;
};

// --- dates ---------------------------------------------------------------------------------------

TEST(CfgDateTime, EncodesDaysSinceTheEndOf1899WithTheTimeAsFraction) {
  EXPECT_EQ(EncodeDateTime({1899, 12, 30, 0, 0, 0, 0}), 0.0);
  EXPECT_EQ(EncodeDateTime({1900, 1, 1, 0, 0, 0, 0}), 2.0);
  EXPECT_EQ(EncodeDateTime({2009, 3, 7, 12, 0, 0, 0}), 39879.5);
  EXPECT_EQ(EncodeDateTime({2009, 3, 7, 18, 0, 0, 0}), 39879.75);
  EXPECT_LT(EncodeDateTime({2009, 3, 7, 23, 59, 59, 999}),
            EncodeDateTime({2009, 3, 8, 0, 0, 0, 0}));
  EXPECT_LT(EncodeDateTime({2009, 3, 7, 14, 5, 9, 0}), EncodeDateTime({2009, 3, 7, 14, 5, 9, 1}));
}

TEST(CfgDateTime, FormatsAndSplitsTheStoredForm) {
  EXPECT_EQ(FormatDateTime({2009, 3, 7, 4, 5, 9, 999}), "2009/03/07 04:05:09");
  const auto when = ParseDateTime("2009/03/07 14:05:09");
  ASSERT_TRUE(when);
  EXPECT_EQ(*when, (TLocalDateTime{2009, 3, 7, 14, 5, 9, 0}));
  // Pieces are cut at the delimiters, not by width.
  EXPECT_EQ(ParseDateTime("2009/3/7 4:5:9"), (TLocalDateTime{2009, 3, 7, 4, 5, 9, 0}));
  EXPECT_EQ(ParseDateTime("2012/02/29 23:59:59"), (TLocalDateTime{2012, 2, 29, 23, 59, 59, 0}));
}

TEST(CfgDateTime, RefusesTextThatIsNoDateAndTime) {
  for (const char* text :
       {"", "yesterday", "2009/03/07", "2009/03/07 14:05", "2009-03-07 14:05:09",
        "2009/03/07 14:05:xx", "2009/03/07 14:-5:09", "2009/13/07 14:05:09", "2009/02/29 14:05:09",
        "2009/03/07 24:00:00", "2009/03/07 14:60:00", "2009/03/07 14:05:60", "0000/03/07 14:05:09",
        "2009/257/07 14:05:09", "2009/03/263 14:05:09", "2009/03/00 14:05:09",
        "99999999999/03/07 14:05:09"}) {
    EXPECT_FALSE(ParseDateTime(text)) << text;
  }
}

// --- reading -------------------------------------------------------------------------------------

TEST_F(Cfg, AFileWithoutConfigGivesTheDefaultsAndGetsTheSevenKeysInOrder) {
  Put("[ZemControl]\r\nControlType=2\r\n");
  auto cfg = Open();
  EXPECT_TRUE(cfg->ClockGenSupport);
  EXPECT_TRUE(cfg->VoltageControlSupport);
  EXPECT_EQ(cfg->ActiveOcPage, 0);
  EXPECT_EQ(cfg->MouseClickRepeatRate, 300);
  EXPECT_EQ(cfg->CpuID, 0);
  EXPECT_FALSE(cfg->AutoExit);
  EXPECT_EQ(cfg->WorkingMode, 1);
  EXPECT_EQ(cfg->DurationKJ, 0.0f);
  EXPECT_EQ(cfg->TotalDateTime, "");
  EXPECT_EQ(cfg->TotalKJ, 0.0f);
  EXPECT_EQ(cfg->ConsumesKJ, 0.0L);
  EXPECT_EQ(cfg->VcoreMin, 1.0f);
  EXPECT_FALSE(cfg->StartMinimize);
  // No stored start: the period starts now.
  EXPECT_EQ(cfg->ZemStartDateTime, "2009/03/07 14:05:09");
  EXPECT_EQ(cfg->ZemStartDate, EncodeDateTime(Clock.Current));
  EXPECT_TRUE(Messages.Shown.empty());
  EXPECT_EQ(Trace.Lines,
            (std::vector<std::string>{">>>> PP0", ">>>> PP1", ">>>> PP2", ">>>> PP3", ">>>> PP5"}));

  cfg.reset();
  EXPECT_EQ(ConfigKeys(),
            (std::vector<std::string>{"ActiveOcPage", "CpuID", "WorkingMode", "ZemStartDateTime",
                                      "TotalKJ", "ConsumesKJ", "StartMinimize"}));
  EXPECT_EQ(Stored("ActiveOcPage"), "0");
  EXPECT_EQ(Stored("CpuID"), "67191");  // 0x10677
  EXPECT_EQ(Stored("WorkingMode"), "1");
  EXPECT_EQ(Stored("ZemStartDateTime"), "2009/03/07 14:05:09");
  EXPECT_EQ(Stored("TotalKJ"), "0");
  EXPECT_EQ(Stored("ConsumesKJ"), "0");
  EXPECT_EQ(Stored("StartMinimize"), "0");
  // The other sections are left alone.
  EXPECT_EQ(TiFile(Path).ReadInteger("ZemControl", "ControlType", 0), 2);
}

TEST_F(Cfg, AMissingFileReadsAsEmptyAndIsCreatedAtExit) {
  Run();
  EXPECT_EQ(ConfigKeys().size(), 7u);
  EXPECT_EQ(ConfigKeys().front(), "ActiveOcPage");
}

TEST_F(Cfg, ReadsEveryFieldAndHexIntegers) {
  Put("[Config]\r\n"
      "ClockGenSupport=0\r\nVoltageControlSupport=0\r\nActiveOcPage=0x1F\r\n"
      "MouseClickRepeatRate=0x\r\nCpuID=67191\r\nAutoExit=7\r\nWorkingMode=2\r\n"
      "ZemStartDateTime=2009/03/01 08:00:00\r\nDurationKJ=12.5\r\n"
      "TotalDateTime=2008/12/24 18:00:00\r\nTotalKJ=4711.25\r\nConsumesKJ=123456.789\r\n"
      "VcoreMin=0.85\r\nStartMinimize=1\r\n");
  auto cfg = Open();
  EXPECT_FALSE(cfg->ClockGenSupport);
  EXPECT_FALSE(cfg->VoltageControlSupport);
  EXPECT_EQ(cfg->ActiveOcPage, 31);
  EXPECT_EQ(cfg->MouseClickRepeatRate, 300);  // "0x" alone is no hexadecimal number
  EXPECT_EQ(cfg->CpuID, 67191);
  EXPECT_TRUE(cfg->AutoExit);
  EXPECT_EQ(cfg->WorkingMode, 2);
  EXPECT_EQ(cfg->ZemStartDateTime, "2009/03/01 08:00:00");
  EXPECT_EQ(cfg->ZemStartDate, EncodeDateTime({2009, 3, 1, 8, 0, 0, 0}));
  EXPECT_EQ(cfg->DurationKJ, 12.5f);
  EXPECT_EQ(cfg->TotalDateTime, "2008/12/24 18:00:00");
  EXPECT_EQ(cfg->TotalKJ, 4711.25f);
  EXPECT_EQ(cfg->ConsumesKJ, 123456.789L);
  EXPECT_EQ(cfg->VcoreMin, 0.85f);
  EXPECT_TRUE(cfg->StartMinimize);
  EXPECT_TRUE(Messages.Shown.empty());
  EXPECT_EQ(Trace.Lines,
            (std::vector<std::string>{">>>> PP0", ">>>> PP1", ">>>> PP2", ">>>> PP4", ">>>> PP5"}));
}

TEST_F(Cfg, ReadOnlyKeysAreNeverWrittenBack) {
  const std::string readOnly =
      "ClockGenSupport=0\r\nMouseClickRepeatRate=250\r\nAutoExit=1\r\nDurationKJ=12.50\r\n"
      "TotalDateTime=2008/12/24 18:00:00\r\nVcoreMin=0.850\r\n";
  Put("[Config]\r\n" + readOnly);
  {
    auto cfg = Open();
    cfg->ClockGenSupport = true;
    cfg->MouseClickRepeatRate = 1;
    cfg->AutoExit = false;
    cfg->DurationKJ = 99.0f;
    cfg->TotalDateTime = "changed";
    cfg->VcoreMin = 2.0f;
  }
  const std::string bytes = Bytes();
  EXPECT_EQ(bytes.find("[Config]\r\n" + readOnly), 0u) << bytes;
  EXPECT_EQ(ConfigKeys().size(), 6u + 7u);
}

TEST_F(Cfg, NonFiniteStoredFiguresReadAsTheirDefaults) {
  Put("[Config]\r\nDurationKJ=nan\r\nTotalKJ=inf\r\nConsumesKJ=-inf\r\nVcoreMin=nan\r\n");
  auto cfg = Open();
  EXPECT_EQ(cfg->DurationKJ, 0.0f);
  EXPECT_EQ(cfg->TotalKJ, 0.0f);
  EXPECT_EQ(cfg->ConsumesKJ, 0.0L);
  EXPECT_EQ(cfg->VcoreMin, 1.0f);
}

// Every float key of the model file, not only the statistics: a monitor's offset of "nan" would
// blank the Vcore read-out, a coefficient of "inf" zero every current.
TEST_F(Cfg, NonFiniteTextIsNoNumberForAnyKey) {
  Put("[SioHwmSetting]\r\nSioVcoreOffset=nan\r\nA=inf\r\nB=-Infinity\r\nC=0.125\r\n"
      "D=1e999\r\n");
  auto cfg = Open();
  EXPECT_EQ(cfg->ReadFloat("SioHwmSetting", "SioVcoreOffset", 0.0), 0.0);
  EXPECT_EQ(cfg->ReadFloat("SioHwmSetting", "A", 2.5), 2.5);
  EXPECT_EQ(cfg->ReadFloat("SioHwmSetting", "B", -1.0), -1.0);
  EXPECT_EQ(cfg->ReadFloat("SioHwmSetting", "C", 0.0), 0.125);
  EXPECT_EQ(cfg->ReadFloat("SioHwmSetting", "D", 3.0), 3.0);  // out of range
}

TEST(ModelNumber, WholeFiniteNumbersOnly) {
  EXPECT_EQ(ParseModelNumber("1.25"), 1.25f);
  EXPECT_EQ(ParseModelNumber(" -0.5 "), -0.5f);
  EXPECT_EQ(ParseModelNumber("2"), 2.0f);
  for (const char* text :
       {"", " ", "bogus", "1.2abc", "nan", "inf", "infinity", "-inf", "1e999", "0x1p3", "1,5"})
    EXPECT_FALSE(ParseModelNumber(text).has_value()) << text;
}

// --- the period start ----------------------------------------------------------------------------

TEST_F(Cfg, AStartInTheFutureResetsThePeriodAndTheTotalsOnce) {
  Put("[Config]\r\nZemStartDateTime=2009/03/08 14:05:09\r\nDurationKJ=12.5\r\nTotalKJ=4711.25\r\n"
      "ConsumesKJ=123456.789\r\n");
  auto cfg = Open();
  ASSERT_EQ(Messages.Shown.size(), 1u);
  EXPECT_EQ(Messages.Shown[0],
            (TShownMessage{"Information", "The operated date is incorrect and will be reset.",
                           TMessageIcon::Information}));
  EXPECT_EQ(cfg->ZemStartDateTime, "2009/03/07 14:05:09");
  EXPECT_EQ(cfg->ZemStartDate, EncodeDateTime(Clock.Current));
  EXPECT_EQ(cfg->TotalKJ, 0.0f);
  EXPECT_EQ(cfg->ConsumesKJ, 0.0L);
  EXPECT_EQ(cfg->DurationKJ, 12.5f);
  cfg.reset();
  EXPECT_EQ(Stored("ZemStartDateTime"), "2009/03/07 14:05:09");
  EXPECT_EQ(Stored("TotalKJ"), "0");
  EXPECT_EQ(Stored("ConsumesKJ"), "0");

  // The reset start is now in the past: the next run keeps it and says nothing.
  Clock.Current.Minute += 1;
  Run();
  EXPECT_EQ(Messages.Shown.size(), 1u);
  EXPECT_EQ(Stored("ZemStartDateTime"), "2009/03/07 14:05:09");
}

TEST_F(Cfg, AStartAtOrBeforeTheClockIsKept) {
  // The stored start has whole seconds; the clock 250 ms past them is not earlier.
  for (const char* start : {"2009/03/07 14:05:09", "2001/01/01 00:00:00", "2009/03/07 14:05:08"}) {
    Put(std::string("[Config]\r\nTotalKJ=5\r\nZemStartDateTime=") + start + "\r\n");
    auto cfg = Open();
    EXPECT_EQ(cfg->ZemStartDateTime, start);
    EXPECT_EQ(cfg->TotalKJ, 5.0f);
  }
  EXPECT_TRUE(Messages.Shown.empty());

  // One second ahead is in the future.
  Put("[Config]\r\nTotalKJ=5\r\nZemStartDateTime=2009/03/07 14:05:10\r\n");
  EXPECT_EQ(Open()->TotalKJ, 0.0f);
  EXPECT_EQ(Messages.Shown.size(), 1u);
}

TEST_F(Cfg, AStartThatIsNoDateStartsThePeriodNowAndKeepsTheTotals) {
  for (const char* start :
       {"yesterday", "2009/03/07", "2009/13/40 14:05:09", "2009/03/xx 14:05:09"}) {
    Put(std::string("[Config]\r\nTotalKJ=5\r\nConsumesKJ=6\r\nZemStartDateTime=") + start + "\r\n");
    Trace.Lines.clear();
    auto cfg = Open();
    EXPECT_EQ(cfg->ZemStartDateTime, "2009/03/07 14:05:09") << start;
    EXPECT_EQ(cfg->ZemStartDate, EncodeDateTime(Clock.Current)) << start;
    EXPECT_EQ(cfg->TotalKJ, 5.0f) << start;
    EXPECT_EQ(cfg->ConsumesKJ, 6.0L) << start;
    EXPECT_EQ(Trace.Lines, (std::vector<std::string>{">>>> PP0", ">>>> PP1", ">>>> PP2", ">>>> PP4",
                                                     std::string("ZemStartDateTime [") + start +
                                                         "] is no date, the period starts now",
                                                     ">>>> PP5"}));
    cfg.reset();
    EXPECT_EQ(Stored("ZemStartDateTime"), "2009/03/07 14:05:09") << start;
  }
  EXPECT_TRUE(Messages.Shown.empty());
}

// --- the processor -------------------------------------------------------------------------------

TEST_F(Cfg, TheProcessorCountsAsChangedUntilItsSignatureIsStored) {
  Run(0);  // a processor without a signature matches the empty store
  {
    auto cfg = Open(kE7300);
    EXPECT_EQ(cfg->CpuID, 0);
    EXPECT_TRUE(cfg->CpuChanged());
  }
  EXPECT_FALSE(Open(kE7300)->CpuChanged());
  EXPECT_TRUE(Open(0x100F42)->CpuChanged());
  // The write stores the running signature, not the one read.
  EXPECT_EQ(Stored("CpuID"), "1052482");
  EXPECT_TRUE(Open(kE7300)->CpuChanged());

  // A signature with the top bit set survives the signed integer of the file.
  Run(0x80000F11u);
  EXPECT_FALSE(Open(0x80000F11u)->CpuChanged());
}

// --- writing back --------------------------------------------------------------------------------

TEST_F(Cfg, WritesTheChangedFieldsAndFiguresReadBackUnchanged) {
  const float totals[] = {0.1f, 4711.123f, 3.4028235e38f, 1.0e-45f, -2.5f};
  const long double consumed[] = {1.0L / 3.0L, 123456789.123456789L, 0.1L,
                                  std::numeric_limits<long double>::denorm_min(),
                                  std::numeric_limits<long double>::max()};
  for (size_t i = 0; i < std::size(totals); ++i) {
    {
      auto cfg = Open();
      cfg->ActiveOcPage = 3;
      cfg->WorkingMode = 2;
      cfg->StartMinimize = true;
      cfg->ZemStartDateTime = "2008/01/02 03:04:05";
      cfg->TotalKJ = totals[i];
      cfg->ConsumesKJ = consumed[i];
    }
    auto cfg = Open();
    EXPECT_EQ(cfg->ActiveOcPage, 3);
    EXPECT_EQ(cfg->WorkingMode, 2);
    EXPECT_TRUE(cfg->StartMinimize);
    EXPECT_EQ(cfg->ZemStartDateTime, "2008/01/02 03:04:05");
    EXPECT_EQ(cfg->TotalKJ, totals[i]) << Stored("TotalKJ");
    EXPECT_EQ(cfg->ConsumesKJ, consumed[i]) << Stored("ConsumesKJ");
  }
  // The extended figure keeps digits a double would lose.
  EXPECT_NE(static_cast<long double>(static_cast<double>(consumed[0])), consumed[0]);
}

TEST_F(Cfg, NonFiniteTotalsAreWrittenAsZeroWithATraceLine) {
  {
    auto cfg = Open();
    cfg->TotalKJ = std::numeric_limits<float>::infinity();
    cfg->ConsumesKJ = std::numeric_limits<long double>::quiet_NaN();
    Trace.Lines.clear();
  }
  EXPECT_EQ(Stored("TotalKJ"), "0");
  EXPECT_EQ(Stored("ConsumesKJ"), "0");
  EXPECT_EQ(Trace.Lines,
            (std::vector<std::string>{"Config TotalKJ is not a finite number, 0 written",
                                      "Config ConsumesKJ is not a finite number, 0 written"}));
  {
    auto cfg = Open();
    cfg->TotalKJ = -std::numeric_limits<float>::quiet_NaN();
    cfg->ConsumesKJ = -std::numeric_limits<long double>::infinity();
  }
  EXPECT_EQ(Stored("TotalKJ"), "0");
  EXPECT_EQ(Stored("ConsumesKJ"), "0");
}

}  // namespace
