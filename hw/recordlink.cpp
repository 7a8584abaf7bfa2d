#include "hw/recordlink.h"

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <utility>

#include "base/textfmt.h"
#include "hw/ioctl.h"

namespace {

constexpr std::string_view CaptureHeader = "KorZem driver capture 1";
constexpr size_t MapLengthAt = offsetof(MapRequest, Length);
constexpr size_t MapMappedAt = offsetof(MapRequest, Mapped);

struct TCodeName {
  uint32_t Code;
  const char* Name;
};

constexpr TCodeName CodeNames[] = {
    {CTL_MAP_MEMORY, "CTL_MAP_MEMORY"},
    {CTL_UNMAP_MEMORY, "CTL_UNMAP_MEMORY"},
    {CTL_READ_IO_BYTE, "CTL_READ_IO_BYTE"},
    {CTL_WRITE_IO_BYTE, "CTL_WRITE_IO_BYTE"},
    {CTL_READ_IO_WORD, "CTL_READ_IO_WORD"},
    {CTL_WRITE_IO_WORD, "CTL_WRITE_IO_WORD"},
    {CTL_READ_IO_DWORD, "CTL_READ_IO_DWORD"},
    {CTL_WRITE_IO_DWORD, "CTL_WRITE_IO_DWORD"},
    {CTL_READ_PCI_BYTE, "CTL_READ_PCI_BYTE"},
    {CTL_WRITE_PCI_BYTE, "CTL_WRITE_PCI_BYTE"},
    {CTL_READ_PCI_WORD, "CTL_READ_PCI_WORD"},
    {CTL_WRITE_PCI_WORD, "CTL_WRITE_PCI_WORD"},
    {CTL_READ_PCI_DWORD, "CTL_READ_PCI_DWORD"},
    {CTL_WRITE_PCI_DWORD, "CTL_WRITE_PCI_DWORD"},
    {CTL_READ_MSR, "CTL_READ_MSR"},
    {CTL_WRITE_MSR, "CTL_WRITE_MSR"},
    {CTL_MEASURE_CLOCK, "CTL_MEASURE_CLOCK"},
    {CTL_READ_TSC, "CTL_READ_TSC"},
    {CTL_READ_PMC, "CTL_READ_PMC"},
    {CTL_READ_CR, "CTL_READ_CR"},
    {CTL_WRITE_CR, "CTL_WRITE_CR"},
    {CTL_MEASURE_CLOCK_AMD, "CTL_MEASURE_CLOCK_AMD"},
};

const char* CodeName(uint32_t code) {
  for (const TCodeName& entry : CodeNames)
    if (entry.Code == code) return entry.Name;
  return nullptr;
}

std::string HexBytes(const uint8_t* data, size_t size) {
  static constexpr char Digits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(2 * size);
  for (size_t i = 0; i < size; ++i) {
    text += Digits[data[i] >> 4];
    text += Digits[data[i] & 0xF];
  }
  return text;
}

std::string HexBytes(const std::vector<uint8_t>& data) {
  return HexBytes(data.data(), data.size());
}

bool ParseHexBytes(std::string_view text, std::vector<uint8_t>* bytes) {
  if (text.size() % 2 != 0) return false;
  bytes->clear();
  for (size_t i = 0; i < text.size(); i += 2) {
    uint8_t byte = 0;
    const auto [end, error] = std::from_chars(text.data() + i, text.data() + i + 2, byte, 16);
    if (error != std::errc() || end != text.data() + i + 2) return false;
    bytes->push_back(byte);
  }
  return true;
}

bool ParseNumber(std::string_view text, uint32_t* value) {
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
    base = 16;
  }
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), *value, base);
  return !text.empty() && error == std::errc() && end == text.data() + text.size();
}

uint32_t Load32(const uint8_t* at) {
  uint32_t value = 0;
  std::memcpy(&value, at, sizeof value);
  return value;
}

// The part of a request the driver acts on: result fields and reserved bytes of a reused record
// may hold anything without changing the answer, so they take no part in matching.
std::string CallKey(uint32_t code, const uint8_t* in, uint32_t inSize) {
  struct TRange {
    uint32_t From;
    uint32_t To;
  };
  std::vector<TRange> ranges;
  switch (code) {
    case CTL_MAP_MEMORY:
      ranges = {{0, 12}};
      break;
    case CTL_READ_IO_BYTE:
    case CTL_READ_IO_WORD:
    case CTL_READ_IO_DWORD:
    case CTL_READ_PMC:
    case CTL_READ_CR:
      ranges = {{0, 4}};
      break;
    case CTL_WRITE_IO_BYTE:
    case CTL_WRITE_IO_WORD:
    case CTL_WRITE_IO_DWORD:
      ranges = {{0, 8}};
      break;
    case CTL_READ_PCI_BYTE:
    case CTL_READ_PCI_WORD:
    case CTL_READ_PCI_DWORD:
      ranges = {{0, 3}, {4, 6}};
      break;
    case CTL_WRITE_PCI_BYTE:
    case CTL_WRITE_PCI_WORD:
    case CTL_WRITE_PCI_DWORD:
      ranges = {{0, 3}, {4, 6}, {8, 12}};
      break;
    case CTL_READ_MSR:
      ranges = {{8, 12}};
      break;
    case CTL_WRITE_MSR:
    case CTL_WRITE_CR:
      ranges = {{0, 4}, {8, 16}};
      break;
    case CTL_MEASURE_CLOCK:
      ranges = {{0, 8}, {16, 20}};
      break;
    case CTL_MEASURE_CLOCK_AMD:
      ranges = {{4, 8}, {16, 20}};
      break;
    case CTL_READ_TSC:
      break;
    default:
      ranges = {{0, inSize}};
      break;
  }
  std::string key = HexMin(code) + " " + std::to_string(inSize) + " ";
  for (const TRange& range : ranges) {
    const uint32_t to = std::min(range.To, inSize);
    if (range.From < to) key += HexBytes(in + range.From, to - range.From);
    key += '.';
  }
  return key;
}

std::string CpuIdKey(uint32_t leaf) {
  return "cpuid " + HexDword(leaf);
}

// One capture line split into its kind, its positional words and its name=value fields.
struct TLine {
  std::vector<std::string_view> Words;
  std::map<std::string_view, std::string_view> Fields;
};

TLine SplitLine(std::string_view line) {
  TLine result;
  size_t at = 0;
  while (at < line.size()) {
    const size_t start = line.find_first_not_of(" \t", at);
    if (start == std::string_view::npos) break;
    size_t end = line.find_first_of(" \t", start);
    if (end == std::string_view::npos) end = line.size();
    const std::string_view token = line.substr(start, end - start);
    const size_t equals = token.find('=');
    if (equals == std::string_view::npos)
      result.Words.push_back(token);
    else
      result.Fields[token.substr(0, equals)] = token.substr(equals + 1);
    at = end;
  }
  return result;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Recording

TRecordingLink::TRecordingLink(IDriverLink& inner, std::unique_ptr<IOsFile> capture)
    : Inner_(inner), Capture_(std::move(capture)) {
  WriteLine(std::string(CaptureHeader));
}

TRecordingLink::TRecordingLink(std::unique_ptr<IDriverLink> inner, std::unique_ptr<IOsFile> capture)
    : Owned_(std::move(inner)), Inner_(*Owned_), Capture_(std::move(capture)) {
  WriteLine(std::string(CaptureHeader));
}

std::unique_ptr<TRecordingLink> TRecordingLink::Create(std::unique_ptr<IDriverLink> inner,
                                                       const std::string& path,
                                                       std::string* error) {
  std::unique_ptr<IOsFile> file = OsCreateFileExclusive(path, false);
  if (!file) {
    if (error != nullptr) *error = "record: cannot create capture file " + path;
    return nullptr;
  }
  auto link = std::make_unique<TRecordingLink>(std::move(inner), std::move(file));
  if (link->Failed()) {
    if (error != nullptr) *error = link->LastError();
    return nullptr;
  }
  return link;
}

void TRecordingLink::WriteLine(const std::string& line) {
  if (!Capture_ || !Capture_->Write(line + "\n"))
    LastError_ = "record: cannot write to the capture file";
}

bool TRecordingLink::Control(uint32_t code, const void* in, uint32_t inSize, void* out,
                             uint32_t outSize, uint32_t* returned) {
  // The input is kept before the call: in and out are often the same record.
  std::vector<uint8_t> input(inSize, 0);
  if (in != nullptr && inSize > 0) std::memcpy(input.data(), in, inSize);
  uint32_t reported = 0;
  const bool ok = Inner_.Control(code, in, inSize, out, outSize, &reported);
  if (returned != nullptr) *returned = reported;

  const uint32_t handed = ok && out != nullptr ? std::min(reported, outSize) : 0;
  const uint8_t* output = static_cast<const uint8_t*>(out);
  std::string line = "control " + HexMin(code);
  if (const char* name = CodeName(code)) line += std::string(" ") + name;
  line += " in=" + HexBytes(input) + " out=" + HexBytes(output, handed);
  line +=
      std::string(" status=") + (ok ? "ok" : "failed") + " returned=" + std::to_string(reported);
  if (code == CTL_MAP_MEMORY && ok && inSize >= MapLengthAt + 4 && handed >= sizeof(MapRequest)) {
    // Replay serves reads of the mapping from these bytes.
    const uint32_t length = Load32(input.data() + MapLengthAt);
    const uint8_t* memory = Inner_.ResolveMapping(Load32(output + MapMappedAt));
    if (memory != nullptr) line += " memory=" + HexBytes(memory, length);
  }
  WriteLine(line);
  return ok;
}

void TRecordingLink::ExecuteCpuId(CpuRegisters& regs) {
  const CpuRegisters before = regs;
  Inner_.ExecuteCpuId(regs);
  WriteLine("cpuid in=" + HexBytes(reinterpret_cast<const uint8_t*>(&before), sizeof before) +
            " out=" + HexBytes(reinterpret_cast<const uint8_t*>(&regs), sizeof regs));
}

bool TRecordingLink::SetAffinityMask(uint32_t mask) {
  const bool ok = Inner_.SetAffinityMask(mask);
  WriteLine("affinity mask=" + HexDword(mask));
  return ok;
}

// ---------------------------------------------------------------------------------------------
// Replay

std::unique_ptr<TReplayLink> TReplayLink::Open(const std::string& path, std::string* error) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    if (error != nullptr) *error = "replay: cannot read capture file " + path;
    return nullptr;
  }
  std::ostringstream text;
  text << file.rdbuf();
  return Parse(text.str(), path, error);
}

std::unique_ptr<TReplayLink> TReplayLink::Parse(std::string_view text, const std::string& source,
                                                std::string* error) {
  std::unique_ptr<TReplayLink> link(new TReplayLink());
  bool headerSeen = false;
  size_t lineNumber = 0;
  std::string problem;

  while (!text.empty() && problem.empty()) {
    ++lineNumber;
    const size_t newline = text.find('\n');
    std::string_view line = text.substr(0, newline);
    text = newline == std::string_view::npos ? std::string_view() : text.substr(newline + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const size_t first = line.find_first_not_of(" \t");
    if (first == std::string_view::npos || line[first] == '#') continue;
    const TLine parts = SplitLine(line);

    if (!headerSeen) {
      if (line != CaptureHeader)
        problem =
            "not a driver capture (the first line must be \"" + std::string(CaptureHeader) + "\")";
      headerSeen = true;
      continue;
    }

    const std::string_view kind = parts.Words.empty() ? std::string_view() : parts.Words[0];
    auto field = [&](std::string_view name) -> const std::string_view* {
      auto it = parts.Fields.find(name);
      if (it != parts.Fields.end()) return &it->second;
      problem = "missing " + std::string(name) + "=";
      return nullptr;
    };
    auto bytes = [&](std::string_view name, std::vector<uint8_t>* out) {
      const std::string_view* value = field(name);
      if (value != nullptr && !ParseHexBytes(*value, out))
        problem = "bad hex bytes in " + std::string(name) + "=";
      return problem.empty();
    };

    if (kind == "control") {
      uint32_t code = 0;
      std::vector<uint8_t> input;
      TAnswer answer;
      if (parts.Words.size() < 2 || !ParseNumber(parts.Words[1], &code)) {
        problem = "a control record needs its code";
      } else if (parts.Words.size() > 3) {
        problem = "unexpected word \"" + std::string(parts.Words[3]) + "\"";
      } else if (bytes("in", &input) && bytes("out", &answer.Out)) {
        const std::string_view* status = field("status");
        const std::string_view* returned = field("returned");
        if (status != nullptr && *status != "ok" && *status != "failed")
          problem = "status must be ok or failed";
        else if (returned != nullptr && !ParseNumber(*returned, &answer.Returned))
          problem = "bad returned=";
        else if (parts.Fields.count("memory"))
          bytes("memory", &answer.Memory);
        if (problem.empty()) {
          answer.Ok = *status == "ok";
          const uint32_t inSize = static_cast<uint32_t>(input.size());
          link->Answers_[CallKey(code, input.data(), inSize)].List.push_back(std::move(answer));
        }
      }
    } else if (kind == "cpuid") {
      std::vector<uint8_t> input;
      TAnswer answer;
      if (bytes("in", &input) && bytes("out", &answer.Out)) {
        if (input.size() != sizeof(CpuRegisters) || answer.Out.size() != sizeof(CpuRegisters)) {
          problem = "cpuid records carry 16 bytes in and out";
        } else {
          answer.Ok = true;
          link->Answers_[CpuIdKey(Load32(input.data()))].List.push_back(std::move(answer));
        }
      }
    } else if (kind == "affinity") {
      uint32_t mask = 0;
      const std::string_view* value = field("mask");
      if (value != nullptr && !ParseNumber(*value, &mask)) problem = "bad mask=";
    } else {
      problem = "unknown record \"" + std::string(kind) + "\"";
    }
  }

  if (problem.empty() && !headerSeen) problem = "empty capture";
  if (!problem.empty()) {
    if (error != nullptr) {
      *error = "replay: " + source;
      if (lineNumber > 0 && problem != "empty capture")
        *error += " line " + std::to_string(lineNumber);
      *error += ": " + problem;
    }
    return nullptr;
  }
  return link;
}

const TReplayLink::TAnswer* TReplayLink::Take(const std::string& key) {
  auto it = Answers_.find(key);
  if (it == Answers_.end()) return nullptr;
  TAnswers& answers = it->second;
  const TAnswer* answer = &answers.List[std::min(answers.Next, answers.List.size() - 1)];
  if (answers.Next < answers.List.size()) ++answers.Next;
  return answer;
}

void TReplayLink::Fail(std::string message) {
  LastError_ = std::move(message);
}

bool TReplayLink::Unmap(const uint8_t* in, uint32_t inSize, uint32_t* returned) {
  if (returned != nullptr) *returned = 0;
  // As the driver: too short a request is refused without anything to look at.
  if (inSize < 4) return false;
  const uint32_t mapped = Load32(in);
  if (Mappings_.erase(mapped) == 0) {
    Fail("replay: unmap of mapping " + HexDword(mapped) + " that was never mapped");
    return false;
  }
  return true;
}

bool TReplayLink::Control(uint32_t code, const void* in, uint32_t inSize, void* out,
                          uint32_t outSize, uint32_t* returned) {
  std::vector<uint8_t> input(inSize, 0);
  if (in != nullptr && inSize > 0) std::memcpy(input.data(), in, inSize);
  // Mapping values are this link's own, so releasing one is answered here, not from the capture.
  if (code == CTL_UNMAP_MEMORY) return Unmap(input.data(), inSize, returned);

  const TAnswer* answer = Take(CallKey(code, input.data(), inSize));
  if (answer == nullptr) {
    Fail("replay: no recorded answer for code " + HexMin(code) + " input " + HexBytes(input));
    if (returned != nullptr) *returned = 0;
    return false;
  }

  std::vector<uint8_t> output = answer->Out;
  if (code == CTL_MAP_MEMORY && answer->Ok && output.size() >= sizeof(MapRequest) &&
      inSize >= MapLengthAt + 4) {
    std::vector<uint8_t> memory = answer->Memory;
    memory.resize(std::max<size_t>(memory.size(), Load32(input.data() + MapLengthAt)), 0);
    const uint32_t mapped = NextMapping_++;
    Mappings_[mapped] = std::move(memory);
    std::memcpy(output.data() + MapMappedAt, &mapped, sizeof mapped);
  }
  const size_t handed = std::min<size_t>(output.size(), outSize);
  if (out != nullptr && handed > 0) std::memcpy(out, output.data(), handed);
  if (returned != nullptr) *returned = answer->Returned;
  return answer->Ok;
}

uint8_t* TReplayLink::ResolveMapping(uint32_t mapped) {
  auto it = Mappings_.find(mapped);
  return it == Mappings_.end() ? nullptr : it->second.data();
}

void TReplayLink::ExecuteCpuId(CpuRegisters& regs) {
  const TAnswer* answer = Take(CpuIdKey(regs.EAX));
  if (answer == nullptr) {
    Fail("replay: no recorded answer for CPUID leaf " + HexDword(regs.EAX));
    regs = CpuRegisters{};
    return;
  }
  std::memcpy(&regs, answer->Out.data(), sizeof regs);
}
