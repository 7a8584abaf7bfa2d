#include "engine/cfg.h"

#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "base/textfmt.h"
#include "base/trace.h"
#include "os/messagebox.h"

namespace {

constexpr double kMsPerDay = 86400000.0;

// One piece of the stored date-time: decimal digits, blanks around them allowed.
std::optional<int> DatePiece(std::string_view piece) {
  const std::string text = TrimBlanks(piece);
  if (text.empty()) return std::nullopt;
  for (char c : text)
    if (c < '0' || c > '9') return std::nullopt;
  int value = 0;
  const auto [stop, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || stop != text.data() + text.size()) return std::nullopt;
  return value;
}

// The text up to the first delimiter, and the rest behind it; nothing when it does not occur.
std::optional<std::string_view> CutBefore(std::string_view& text, char delimiter) {
  const size_t at = text.find(delimiter);
  if (at == std::string_view::npos) return std::nullopt;
  const std::string_view head = text.substr(0, at);
  text.remove_prefix(at + 1);
  return head;
}

bool IsValid(const TLocalDateTime& when) {
  using namespace std::chrono;
  // Checked before the calendar types see them: they keep month and day in one byte.
  if (when.Year < 1 || when.Year > 9999 || when.Month < 1 || when.Month > 12 || when.Day < 1 ||
      when.Day > 31) {
    return false;
  }
  const year_month_day date{year{when.Year}, month{static_cast<unsigned>(when.Month)},
                            day{static_cast<unsigned>(when.Day)}};
  return date.ok() && when.Hour >= 0 && when.Hour < 24 && when.Minute >= 0 && when.Minute < 60 &&
         when.Second >= 0 && when.Second < 60 && when.Millisecond >= 0 && when.Millisecond < 1000;
}

// A stored figure that is no finite number ("inf" or "nan" in the file) is not a reading: it
// takes the default as any other text that is no number does.
template <typename TNumber>
TNumber FiniteOr(TNumber value, TNumber defaultValue) {
  return std::isfinite(value) ? value : defaultValue;
}

// A total that went non-finite in memory would otherwise be stored and added to forever.
template <typename TNumber>
TNumber FiniteForWriting(const char* key, TNumber value) {
  if (std::isfinite(value)) return value;
  TraceLine(std::string("Config ") + key + " is not a finite number, 0 written");
  return 0;
}

}  // namespace

std::optional<float> ParseModelNumber(std::string_view text) {
  const std::string trimmed = TrimBlanks(text);
  if (trimmed.empty()) return std::nullopt;
  float value = 0;
  const char* end = trimmed.data() + trimmed.size();
  const auto [stop, error] =
      std::from_chars(trimmed.data(), end, value, std::chars_format::general);
  if (error != std::errc() || stop != end || !std::isfinite(value)) return std::nullopt;
  return value;
}

double EncodeDateTime(const TLocalDateTime& when) {
  using namespace std::chrono;
  const sys_days date{year{when.Year} / month{static_cast<unsigned>(when.Month)} /
                      day{static_cast<unsigned>(when.Day)}};
  const sys_days epoch{year{1899} / December / day{30}};
  const double ms =
      ((when.Hour * 60.0 + when.Minute) * 60.0 + when.Second) * 1000.0 + when.Millisecond;
  return static_cast<double>((date - epoch).count()) + ms / kMsPerDay;
}

std::string FormatDateTime(const TLocalDateTime& when) {
  char text[64];
  std::snprintf(text, sizeof text, "%04d/%02d/%02d %02d:%02d:%02d", when.Year, when.Month, when.Day,
                when.Hour, when.Minute, when.Second);
  return text;
}

std::optional<TLocalDateTime> ParseDateTime(std::string_view text) {
  const auto year = CutBefore(text, '/');
  const auto month = year ? CutBefore(text, '/') : std::nullopt;
  const auto day = month ? CutBefore(text, ' ') : std::nullopt;
  const auto hour = day ? CutBefore(text, ':') : std::nullopt;
  const auto minute = hour ? CutBefore(text, ':') : std::nullopt;
  if (!minute) return std::nullopt;
  TLocalDateTime when;
  const std::optional<int> pieces[] = {DatePiece(*year), DatePiece(*month),  DatePiece(*day),
                                       DatePiece(*hour), DatePiece(*minute), DatePiece(text)};
  for (const auto& piece : pieces)
    if (!piece) return std::nullopt;
  when.Year = *pieces[0];
  when.Month = *pieces[1];
  when.Day = *pieces[2];
  when.Hour = *pieces[3];
  when.Minute = *pieces[4];
  when.Second = *pieces[5];
  when.Millisecond = 0;
  if (!IsValid(when)) return std::nullopt;
  return when;
}

TCfg::TCfg(std::string fileName, uint32_t cpuSignature, IOsLocalTime& clock,
           IOsMessageBox& messages)
    : TiFile(std::move(fileName)), CpuSignature_(cpuSignature) {
  ClockGenSupport = ReadBool(kSection, "ClockGenSupport", true);
  VoltageControlSupport = ReadBool(kSection, "VoltageControlSupport", true);
  ActiveOcPage = ReadInteger(kSection, "ActiveOcPage", 0);
  TraceLine(">>>> PP0");

  MouseClickRepeatRate = ReadInteger(kSection, "MouseClickRepeatRate", 300);
  CpuID = ReadInteger(kSection, "CpuID", 0);
  AutoExit = ReadBool(kSection, "AutoExit", false);
  WorkingMode = ReadInteger(kSection, "WorkingMode", 1);
  TraceLine(">>>> PP1");

  ZemStartDateTime = ReadString(kSection, "ZemStartDateTime", "");
  DurationKJ = FiniteOr(ReadSingle(kSection, "DurationKJ", 0.0f), 0.0f);
  TotalDateTime = ReadString(kSection, "TotalDateTime", "");
  TotalKJ = FiniteOr(ReadSingle(kSection, "TotalKJ", 0.0f), 0.0f);
  ConsumesKJ = FiniteOr(ReadExtended(kSection, "ConsumesKJ", 0.0L), 0.0L);
  VcoreMin = FiniteOr(ReadSingle(kSection, "VcoreMin", 1.0f), 1.0f);
  TraceLine(">>>> PP2");

  LoadStartDate(clock, messages);

  TraceLine(">>>> PP5");
  StartMinimize = ReadBool(kSection, "StartMinimize", false);
}

void TCfg::LoadStartDate(IOsLocalTime& clock, IOsMessageBox& messages) {
  if (ZemStartDateTime.empty()) {
    TraceLine(">>>> PP3");
    StartPeriodAt(clock.Now());
    return;
  }
  TraceLine(">>>> PP4");
  const std::optional<TLocalDateTime> stored = ParseDateTime(ZemStartDateTime);
  const TLocalDateTime now = clock.Now();
  if (!stored) {
    // A hand-edited or damaged start must not stop the program: the period starts anew, the
    // totals stay (they do not depend on the text).
    TraceLine("ZemStartDateTime [" + ZemStartDateTime + "] is no date, the period starts now");
    StartPeriodAt(now);
    return;
  }
  ZemStartDate = EncodeDateTime(*stored);
  if (EncodeDateTime(now) < ZemStartDate) {
    messages.Show(kDateResetCaption, kDateResetText, TMessageIcon::Information);
    StartPeriodAt(now);
    TotalKJ = 0;
    ConsumesKJ = 0;
  }
}

void TCfg::StartPeriodAt(const TLocalDateTime& now) {
  ZemStartDate = EncodeDateTime(now);
  ZemStartDateTime = FormatDateTime(now);
}

TCfg::~TCfg() {
  WriteInteger(kSection, "ActiveOcPage", ActiveOcPage);
  WriteInteger(kSection, "CpuID", static_cast<int32_t>(CpuSignature_));
  WriteInteger(kSection, "WorkingMode", WorkingMode);
  WriteString(kSection, "ZemStartDateTime", ZemStartDateTime);
  WriteSingle(kSection, "TotalKJ", FiniteForWriting("TotalKJ", TotalKJ));
  WriteExtended(kSection, "ConsumesKJ", FiniteForWriting("ConsumesKJ", ConsumesKJ));
  WriteBool(kSection, "StartMinimize", StartMinimize);
}

bool TCfg::CpuChanged() const {
  return static_cast<uint32_t>(CpuID) != CpuSignature_;
}
