// TInterpreter runs register-level scripts: port, PCI, memory and MSR reads and writes, arithmetic
// on sixteen locals, waits and loops. The Super I/O database describes its chips with such
// scripts, so that a new chip needs a new section, not new code. Every hardware access goes
// through TReadWrite; every command and its outcome is traced to the register-access debug file
// ("IP: ", "IPCommand: ", "IPResult: "), and a script may copy its work into a log file of its own.
//
// Not thread-safe; one interpreter belongs to one thread.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "hw/ioctl.h"
#include "os/files.h"
#include "os/singleinstance.h"

class TReadWrite;

// What the interpreter works with besides its own state.
struct TScriptServices {
  TReadWrite& Rw;
  uint32_t ProcessorCount;    // the OS detector's SystemInfo.NumberOfProcessors
  IInstancePoster& Instance;  // RWEXIT asks the running program to quit through it
  // Creates or truncates a file for exclusive use (the log file and DMEM's dump file).
  std::function<std::unique_ptr<IOsFile>(const std::string& path, bool writeThrough)> CreateFile =
      OsCreateFileExclusive;
  // DELAY; sleeps the calling thread when empty.
  std::function<void(uint32_t milliseconds)> Sleep = {};
};

class TInterpreter {
 public:
  // Slots 0..15 are Local0..LocalF; slot 16 takes the values of commands without an explicit
  // destination.
  static constexpr int kSlotCount = 17;
  static constexpr int kUnnamedSlot = 16;

  explicit TInterpreter(TScriptServices services);
  ~TInterpreter();  // closes the log file
  TInterpreter(const TInterpreter&) = delete;
  TInterpreter& operator=(const TInterpreter&) = delete;

  // Runs a script. result keeps its content until a value-producing command writes it; the Super
  // I/O detection judges its Detect scripts and reads its port numbers there. False when a
  // command failed; ResultText then holds the message.
  bool Evaluate(std::string_view script, int32_t& result);
  // Evaluate with the interpreter's own result cell.
  bool Execute(std::string_view script);

  // The output line or error message of the last command.
  const std::string& ResultText() const { return ResultText_; }
  // Extra output of the last run: bit rulers, register and memory dumps.
  const std::vector<std::string>& OutputLines() const { return OutputLines_; }
  int32_t ResultCell() const { return ResultCell_; }
  // Locals persist between runs; index 0..16 (16 is the unnamed slot).
  int32_t Slot(int index) const { return Slots_.at(static_cast<size_t>(index)); }
  uint64_t Wide() const { return Wide_; }
  const CpuRegisters& RegSet() const { return RegSet_; }
  bool LogFileOpen() const { return LogFile_ != nullptr; }

 private:
  struct TCommand;
  using THandler = bool (TInterpreter::*)(const TCommand&);

  // --- execution (interpreter.cpp) ---
  bool RunBlocks(std::string rest);
  bool RunBlockHead(std::string& rest, int parameters, const char* missingBrace, std::string& body);
  bool RunList(std::string_view list);
  bool RunCommand(const std::string& command);
  bool RunLocal(const std::string& command);
  bool RunWithOperands(std::string_view command);
  bool BreakHolds() const;
  bool Fail(std::string message);
  void WriteLog(std::string_view bytes);
  // A file name operand as the script wrote it where file names are case-sensitive (the script
  // text is upper-cased as a whole); as it stands on Windows.
  std::string AsWritten(const std::string& operand) const;

  // --- operands ---
  // An operand token: a local reference or a number; false with the operand message.
  bool OperandValue(std::string_view token, uint32_t& value);
  // Takes required numbers from the front of the tokens into NumOps_, then one more for each
  // default given (the default when no token is left).
  bool TakeNumbers(size_t required, std::initializer_list<uint32_t> defaults = {});
  bool TakeText(size_t slot);
  bool TakeOptionalText(size_t slot);
  bool CheckRange(uint32_t value, uint32_t limit);
  void Store(uint32_t value);  // into Dest's slot and the result cell

  // --- the command set (commands.cpp) ---
  // Looks keyword up in the command table and runs it; "Unknown command!" when it is not there.
  bool Dispatch(std::string_view keyword);
  bool RunResult();
  bool RunRwExit();
  bool RunReadTsc();
  bool RunCloseLog();

  bool PortRead(const TCommand& command);
  bool PortWrite(const TCommand& command);
  bool IndexRead(const TCommand& command);
  bool IndexWrite(const TCommand& command);
  bool PciRead(const TCommand& command);
  bool PciWrite(const TCommand& command);
  bool PciPackedRead(const TCommand& command);
  bool PciPackedWrite(const TCommand& command);
  bool FindPci(const TCommand& command);
  bool MemoryRead(const TCommand& command);
  bool MemoryWrite(const TCommand& command);
  bool DumpMemory(const TCommand& command);
  bool FindMemory(const TCommand& command);
  bool Arithmetic(const TCommand& command);
  bool SelectCpu(const TCommand& command);
  bool ReadMsr(const TCommand& command);
  bool WriteMsr(const TCommand& command);
  bool ReadPmc(const TCommand& command);
  bool ReadCr(const TCommand& command);
  bool WriteCr(const TCommand& command);
  bool CpuId(const TCommand& command);
  bool Delay(const TCommand& command);
  bool OpenLog(const TCommand& command);

  uint32_t PciValueRead(const TCommand& command, uint8_t bus, uint8_t device, uint8_t function,
                        uint16_t offset);
  void PciValueWrite(const TCommand& command, uint8_t bus, uint8_t device, uint8_t function,
                     uint16_t offset, uint32_t value);
  void AddRuler64(uint64_t value);
  void AddDump(const uint8_t* data, size_t length);

  TScriptServices Services_;
  std::string Source_;  // the script of the run in progress, as given
  std::string ResultText_;
  std::vector<std::string> OutputLines_;
  std::unique_ptr<IOsFile> LogFile_;
  std::array<int32_t, kSlotCount> Slots_{};
  int Dest_ = kUnnamedSlot;
  std::array<uint32_t, 5> NumOps_{};
  std::array<std::string, 5> TextOps_;
  int32_t ResultCell_ = 0;
  int32_t* Result_ = &ResultCell_;  // the cell of the run in progress
  uint64_t Wide_ = 0;
  CpuRegisters RegSet_{};
  int32_t WaitValue_ = 0;
  int32_t RepeatCount_ = 0;
  bool Endless_ = false;
  bool BreakIfZero_ = false;
  bool BreakIfNonZero_ = false;
  std::vector<std::string> Tokens_;  // operand tokens of the current command, taken from the front
  size_t NextToken_ = 0;
};
