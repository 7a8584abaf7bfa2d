// The model file: the one reader and writer of the per-board configuration file. Besides the
// typed and list accessors of TiFile it loads the user's statistics and preferences from the
// section "Config" at construction and writes the changing ones back at destruction.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/inifile.h"
#include "os/localtime.h"

class IOsMessageBox;

// Date-time values count days since 30 December 1899; the fraction is the time of day.
double EncodeDateTime(const TLocalDateTime& when);
// "YYYY/MM/DD hh:mm:ss" (milliseconds dropped).
std::string FormatDateTime(const TLocalDateTime& when);
// The stored form split as it is written: year up to the first "/", month up to the next "/",
// day up to the blank, hour up to the first ":", minute up to the next ":", the rest the second.
// Nothing when a piece is not a decimal number or the pieces make no valid date and time.
std::optional<TLocalDateTime> ParseDateTime(std::string_view text);

// A number written in a model file: the whole text (blanks around it allowed) as a finite decimal
// number; nothing for anything else, "nan", "inf" and partial numbers such as "1.2abc" included.
std::optional<float> ParseModelNumber(std::string_view text);

class TCfg : public TiFile {
 public:
  static constexpr const char* kSection = "Config";
  static constexpr const char* kDateResetText = "The operated date is incorrect and will be reset.";
  static constexpr const char* kDateResetCaption = "Information";

  // fileName: the model file's full path (a missing file reads as empty). cpuSignature: the
  // running processor's signature, stored as "CpuID" at destruction. clock and messages are used
  // during construction only.
  TCfg(std::string fileName, uint32_t cpuSignature, IOsLocalTime& clock, IOsMessageBox& messages);
  // Writes ActiveOcPage, CpuID, WorkingMode, ZemStartDateTime, TotalKJ, ConsumesKJ and
  // StartMinimize to "Config", in that order.
  ~TCfg() override;
  TCfg(const TCfg&) = delete;
  TCfg& operator=(const TCfg&) = delete;

  // True when the running processor is not the one stored at the last exit.
  bool CpuChanged() const;
  uint32_t CpuSignature() const { return CpuSignature_; }

  // The "Config" fields, read and changed directly by the main window between construction and
  // destruction.
  bool ClockGenSupport = true;
  bool VoltageControlSupport = true;
  int32_t ActiveOcPage = 0;
  int32_t MouseClickRepeatRate = 300;
  int32_t CpuID = 0;  // as stored; the running signature replaces it at destruction
  bool AutoExit = false;
  int32_t WorkingMode = 1;
  std::string ZemStartDateTime;  // the period start in the stored form
  double ZemStartDate = 0;       // the same as a date-time value
  float DurationKJ = 0;
  std::string TotalDateTime;
  float TotalKJ = 0;
  long double ConsumesKJ = 0;
  float VcoreMin = 1.0f;
  bool StartMinimize = false;

 private:
  void LoadStartDate(IOsLocalTime& clock, IOsMessageBox& messages);
  void StartPeriodAt(const TLocalDateTime& now);

  uint32_t CpuSignature_;
};
