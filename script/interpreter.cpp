// Script execution: blocks, command lists, the dispatcher, locals and operands. The commands
// themselves are in commands.cpp.
#include "script/interpreter.h"

#include <chrono>
#include <cstdio>
#include <thread>

#include "base/textfmt.h"
#include "base/trace.h"
#include "script/scriptlex.h"

using namespace script;

namespace {

constexpr const char* kLocalsMessage =
    "Support 16 local variables only, i.e. Local# where # is in hex from 0 to 0F";
constexpr const char* kCommandBreak = "Command break";

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// "Local" + index + " = " + the value as H8 and signed decimal.
std::string LocalText(int index, int digits, int32_t value) {
  char name[8];
  std::snprintf(name, sizeof name, "%0*X", digits, index);
  return std::string("Local") + name + " = " + HexDword(static_cast<uint32_t>(value)) + " (" +
         std::to_string(value) + ")";
}

// A local reference or a number, without reporting why a token is neither.
std::optional<uint32_t> TryOperand(std::string_view token, const std::array<int32_t, 17>& slots) {
  if (StartsWith(token, "LOCAL")) {
    const std::optional<int> index = ParseLocalIndex(token);
    if (!index) return std::nullopt;
    return static_cast<uint32_t>(slots[static_cast<size_t>(*index)]);
  }
  return ParseNumber(token);
}

}  // namespace

TInterpreter::TInterpreter(TScriptServices services) : Services_(std::move(services)) {
  if (!Services_.Sleep) {
    Services_.Sleep = [](uint32_t milliseconds) {
      std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    };
  }
}

TInterpreter::~TInterpreter() = default;

bool TInterpreter::Execute(std::string_view script) {
  return Evaluate(script, ResultCell_);
}

bool TInterpreter::Evaluate(std::string_view script, int32_t& result) {
  RwDebugLine("IP: " + std::string(script));
  WriteLog(">" + std::string(script) + "\r\n");
  OutputLines_.clear();
  BreakIfZero_ = BreakIfNonZero_ = false;

  Result_ = &result;
  Source_ = script;
  const bool success = RunBlocks(NormaliseScript(script));
  Result_ = &ResultCell_;

  // One record per run: the result line and the extra output, written whole.
  std::string record = ResultText_ + "\r\n";
  for (const std::string& line : OutputLines_) record += line + "\r\n";
  WriteLog(record);
  return success;
}

// script := { block | list }
// A plain list runs up to the next block keyword, searched by kind (CMDS, then WAIT, then LOOP)
// rather than by position. Blocks do not nest: the first "}" closes a block.
bool TInterpreter::RunBlocks(std::string rest) {
  while (!rest.empty()) {
    if (StartsWith(rest, "CMDS{")) {
      // block := "CMDS{" list "}"
      const size_t close = rest.find('}');
      if (close == std::string::npos) return Fail("CMDS miss '}'");
      const std::string body = rest.substr(5, close - 5);
      rest = TrimBlanks(std::string_view(rest).substr(close + 1));
      if (!RunList(body)) return false;
      if (BreakHolds()) ResultText_ = kCommandBreak;
      continue;
    }

    const bool wait = StartsWith(rest, "WAIT{");
    if (wait || StartsWith(rest, "LOOP{")) {
      // block := "WAIT{" value " " count " " list "}" | "LOOP{" count " " list "}"
      rest = TrimBlanks(std::string_view(rest).substr(5));
      std::string body;
      if (!RunBlockHead(rest, wait ? 2 : 1, wait ? "WAIT miss '}'" : "LOOP miss '}'", body))
        return false;
      while (Endless_ || RepeatCount_ != 0) {
        if (!RunList(body)) return false;
        if (BreakHolds()) {
          ResultText_ = kCommandBreak;
          break;
        }
        if (wait && *Result_ == WaitValue_) break;
        // Wraps like the 32-bit counter it is: a negative count runs about 2^32 passes.
        if (!Endless_) RepeatCount_ = static_cast<int32_t>(static_cast<uint32_t>(RepeatCount_) - 1);
      }
      continue;
    }

    size_t at = rest.find("CMDS{");
    if (at == std::string::npos) at = rest.find("WAIT{");
    if (at == std::string::npos) at = rest.find("LOOP{");
    std::string list;
    if (at == std::string::npos) {
      list = std::move(rest);
      rest.clear();
    } else {
      list = TrimBlanks(std::string_view(rest).substr(0, at));
      rest.erase(0, at);
    }
    if (!RunList(list)) return false;
  }
  return true;
}

// head := operand " " [ operand " " ] list "}"
// Reads the block's parameters (WAIT: value and count; LOOP: count) and cuts its body from rest.
bool TInterpreter::RunBlockHead(std::string& rest, int parameters, const char* missingBrace,
                                std::string& body) {
  uint32_t values[2] = {};
  for (int i = 0; i < parameters; ++i) {
    const size_t blank = FindBlank(rest);
    if (blank == std::string::npos) {
      // A missing first word is reported; a last word with nothing behind it fails quietly.
      if (i == 0) return Fail("parameter error!");
      return false;
    }
    if (!OperandValue(std::string_view(rest).substr(0, blank), values[i])) return false;
    rest = TrimBlanks(std::string_view(rest).substr(blank + 1));
  }
  const size_t close = rest.find('}');
  if (close == std::string::npos) return Fail(missingBrace);
  body = TrimBlanks(std::string_view(rest).substr(0, close));
  rest = TrimBlanks(std::string_view(rest).substr(close + 1));

  WaitValue_ = static_cast<int32_t>(values[0]);
  RepeatCount_ = static_cast<int32_t>(values[parameters - 1]);
  Endless_ = RepeatCount_ == 0;
  return true;
}

// list := command { ";" command }
bool TInterpreter::RunList(std::string_view list) {
  for (const std::string& command : SplitCommandList(list)) {
    RwDebugLine("IPCommand: " + command);
    const bool success = RunCommand(command);
    RwDebugLine("IPResult: " + ResultText_);
    if (!success) return false;
    if (BreakHolds()) {
      ResultText_ = kCommandBreak;
      return true;
    }
  }
  return true;
}

// command := local | "BKIF0" command | "BKIF1" command | "RESULT" | "RWEXIT" | "LOGFILE"
//          | "RDTSC" ... | keyword " " operands
bool TInterpreter::RunCommand(const std::string& command) {
  Dest_ = kUnnamedSlot;
  BreakIfZero_ = BreakIfNonZero_ = false;
  const std::string_view head = std::string_view(command).substr(0, 5);

  if (head == "LOCAL") return RunLocal(command);
  // The prefixes apply to commands with operands only.
  if (head == "BKIF0" || head == "BKIF1") {
    (head == "BKIF0" ? BreakIfZero_ : BreakIfNonZero_) = true;
    return RunWithOperands(TrimBlanks(std::string_view(command).substr(5)));
  }
  if (command == "RESULT") return RunResult();
  if (command == "RWEXIT") return RunRwExit();
  if (command == "LOGFILE") return RunCloseLog();
  if (head == "RDTSC") return RunReadTsc();
  return RunWithOperands(command);
}

// local := "LOCAL" hexdigit+ [ "=" [ operand | command ] ]
// No blank may stand between the index and "=". Without "=" the whole command is the right side,
// so LOCAL3 assigns Local3 to itself and shows it.
bool TInterpreter::RunLocal(const std::string& command) {
  const size_t equals = command.find('=');
  const std::optional<int> index = ParseLocalIndex(std::string_view(command).substr(0, equals));
  if (!index) return Fail(kLocalsMessage);
  const std::string right = equals == std::string::npos
                                ? command
                                : TrimBlanks(std::string_view(command).substr(equals + 1));

  if (right.empty()) {
    *Result_ = Slots_[static_cast<size_t>(*index)];
    ResultText_ = LocalText(*index, 2, *Result_);
    return true;
  }
  if (FindBlank(right) == std::string::npos) {
    if (const std::optional<uint32_t> value = TryOperand(right, Slots_)) {
      Slots_[static_cast<size_t>(*index)] = static_cast<int32_t>(*value);
      ResultText_ = LocalText(*index, 1, static_cast<int32_t>(*value));
      return true;
    }
  }
  // A command whose value lands in the local (and in the result).
  Dest_ = *index;
  return RunWithOperands(right);
}

// command := keyword " " operand { " " operand }
bool TInterpreter::RunWithOperands(std::string_view command) {
  const size_t blank = FindBlank(command);
  if (blank == std::string_view::npos) return Fail("Command error!");
  Tokens_ = SplitOperandTokens(TrimBlanks(command.substr(blank + 1)));
  NextToken_ = 0;
  NumOps_.fill(0);
  TextOps_.fill(std::string());
  return Dispatch(command.substr(0, blank));
}

bool TInterpreter::BreakHolds() const {
  return (BreakIfZero_ && *Result_ == 0) || (BreakIfNonZero_ && *Result_ != 0);
}

bool TInterpreter::Fail(std::string message) {
  ResultText_ = std::move(message);
  return false;
}

void TInterpreter::WriteLog(std::string_view bytes) {
  if (LogFile_) LogFile_->Write(bytes);
}

std::string TInterpreter::AsWritten(const std::string& operand) const {
#ifdef _WIN32
  return operand;
#else
  // Normalising changes the case of letters only (and "," "(" ")" to blanks, which a token does
  // not hold), so the operand stands in the source at the same length.
  if (operand.empty() || operand.size() > Source_.size()) return operand;
  for (size_t at = 0; at + operand.size() <= Source_.size(); ++at) {
    const std::string_view piece = std::string_view(Source_).substr(at, operand.size());
    if (ToUpperAscii(piece) == operand) return std::string(piece);
  }
  return operand;
#endif
}

// ---------------------------------------------------------------------------------------------
// Operands

bool TInterpreter::OperandValue(std::string_view token, uint32_t& value) {
  const std::optional<uint32_t> operand = TryOperand(token, Slots_);
  if (!operand) return Fail(StartsWith(token, "LOCAL") ? kLocalsMessage : "Operand format error.");
  value = *operand;
  return true;
}

bool TInterpreter::TakeNumbers(size_t required, std::initializer_list<uint32_t> defaults) {
  size_t slot = 0;
  for (; slot < required; ++slot) {
    if (NextToken_ >= Tokens_.size()) return Fail("parameter error!");
    if (!OperandValue(Tokens_[NextToken_++], NumOps_[slot])) return false;
  }
  for (const uint32_t fallback : defaults) {
    if (NextToken_ < Tokens_.size()) {
      if (!OperandValue(Tokens_[NextToken_++], NumOps_[slot])) return false;
    } else {
      NumOps_[slot] = fallback;
    }
    ++slot;
  }
  return true;
}

bool TInterpreter::TakeText(size_t slot) {
  if (NextToken_ >= Tokens_.size()) return Fail("parameter error!");
  TextOps_[slot] = Tokens_[NextToken_++];
  return true;
}

bool TInterpreter::TakeOptionalText(size_t slot) {
  if (NextToken_ < Tokens_.size()) TextOps_[slot] = Tokens_[NextToken_++];
  return true;
}

bool TInterpreter::CheckRange(uint32_t value, uint32_t limit) {
  if (value <= limit) return true;
  return Fail("Operand range is 0 to " + HexMin(limit) + "!");
}

void TInterpreter::Store(uint32_t value) {
  Slots_[static_cast<size_t>(Dest_)] = static_cast<int32_t>(value);
  *Result_ = static_cast<int32_t>(value);
}
