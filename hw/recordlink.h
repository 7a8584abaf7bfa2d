// Recording and replay of driver conversations.
//
// TRecordingLink sits between the program and any other link and writes every call to a capture
// file; TReplayLink answers from such a file with no hardware at all, so a session seen on one
// machine can be re-run anywhere. A capture is text, one call per line:
//
//   KorZem driver capture 1
//   control 0x222808 CTL_READ_IO_BYTE in=2E00000000000000 out=2E00000087000000 status=ok returned=8
//   control 0x222800 CTL_MAP_MEMORY in=... out=... status=ok returned=16 memory=<mapped bytes>
//   cpuid in=<16 bytes> out=<16 bytes>
//   affinity mask=0x00000002
//
// Bytes are upper-case hex without separators; "out" is what the call handed back (the reported
// bytes, nothing when it failed). Lines that start with '#' are comments.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "hw/driverlink.h"
#include "os/files.h"

class TRecordingLink : public IDriverLink {
 public:
  // Records the calls made through inner (borrowed, or owned by the second form) into capture.
  TRecordingLink(IDriverLink& inner, std::unique_ptr<IOsFile> capture);
  TRecordingLink(std::unique_ptr<IDriverLink> inner, std::unique_ptr<IOsFile> capture);
  // Creates the capture file at path; null with a message in error when it cannot be created.
  static std::unique_ptr<TRecordingLink> Create(std::unique_ptr<IDriverLink> inner,
                                                const std::string& path, std::string* error);

  bool Control(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
               uint32_t* returned) override;
  uint8_t* ResolveMapping(uint32_t mapped) override { return Inner_.ResolveMapping(mapped); }
  void ExecuteCpuId(CpuRegisters& regs) override;
  // Ports reached directly would escape the capture: everything goes through Control.
  IZemMachine* DirectMachine() override { return nullptr; }
  bool SetAffinityMask(uint32_t mask) override;

  // True once a line could not be written; the calls themselves still go through.
  bool Failed() const { return !LastError_.empty(); }
  const std::string& LastError() const { return LastError_; }

 private:
  void WriteLine(const std::string& line);

  std::unique_ptr<IDriverLink> Owned_;
  IDriverLink& Inner_;
  std::unique_ptr<IOsFile> Capture_;
  std::string LastError_;
};

class TReplayLink : public IDriverLink {
 public:
  // Reads a capture; null with a message naming the file (and line) when it is missing or
  // malformed.
  static std::unique_ptr<TReplayLink> Open(const std::string& path, std::string* error);
  // The same from text already read; source names it in messages.
  static std::unique_ptr<TReplayLink> Parse(std::string_view text, const std::string& source,
                                            std::string* error);

  // Answers with the recorded answer to the same code and input (only the input fields the
  // driver reads are compared, so stale result fields left in a reused record do not matter).
  // Identical calls get their recorded answers in order, then the last one again. A call never
  // recorded fails: false, and Failed()/LastError() say which call it was. A mapping gets a
  // private copy of the recorded memory; unmapping releases it.
  bool Control(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
               uint32_t* returned) override;
  uint8_t* ResolveMapping(uint32_t mapped) override;
  // An unrecorded leaf gives zeros and marks the link failed.
  void ExecuteCpuId(CpuRegisters& regs) override;
  IZemMachine* DirectMachine() override { return nullptr; }

  bool Failed() const { return !LastError_.empty(); }
  const std::string& LastError() const { return LastError_; }

 private:
  struct TAnswer {
    bool Ok = false;
    uint32_t Returned = 0;
    std::vector<uint8_t> Out;
    std::vector<uint8_t> Memory;
  };
  struct TAnswers {
    std::vector<TAnswer> List;
    size_t Next = 0;
  };

  TReplayLink() = default;
  const TAnswer* Take(const std::string& key);
  bool Unmap(const uint8_t* in, uint32_t inSize, uint32_t* returned);
  void Fail(std::string message);

  std::map<std::string, TAnswers> Answers_;
  std::map<uint32_t, std::vector<uint8_t>> Mappings_;
  uint32_t NextMapping_ = 1;
  std::string LastError_;
};
