#include "base/trace.h"

#include "os/files.h"

namespace {

struct TRwDebugSink {
  bool Open = false;
  std::unique_ptr<IOsFile> File;  // null after a failed open: lines drop silently
};

TRwDebugSink& RwSink() {
  static TRwDebugSink sink;
  return sink;
}

ITraceTap*& Tap() {
  static ITraceTap* tap = nullptr;
  return tap;
}

}  // namespace

TDebugConsole::TDebugConsole(bool enabled, std::unique_ptr<IOsConsole> output)
    : Enabled_(enabled), Output_(std::move(output)) {}

void TDebugConsole::Line(std::string_view text) {
  if (!Enabled_ || !Output_) return;
  std::string line(text);
  line += '\n';
  Output_->Write(line);
}

TDebugConsole& GetTraceConsole(bool enabled) {
  static TDebugConsole console(enabled, enabled ? OsOpenConsole() : nullptr);
  return console;
}

void TraceLine(std::string_view text) {
  if (ITraceTap* tap = Tap()) tap->OnTraceLine(text);
  GetTraceConsole().Line(text);
}

void RwDebugOpen(const std::string& path) {
  TRwDebugSink& sink = RwSink();
  sink.File = OsCreateFileExclusive(path, /*writeThrough=*/true);
  sink.Open = true;
}

void RwDebugLine(std::string_view text) {
  if (ITraceTap* tap = Tap()) tap->OnRwDebugLine(text);
  TRwDebugSink& sink = RwSink();
  if (!sink.Open || !sink.File) return;
  std::string line(text);
  line += "\r\n";
  sink.File->Write(line);
}

void RwDebugClose() {
  TRwDebugSink& sink = RwSink();
  sink.File.reset();
  sink.Open = false;
}

bool RwDebugIsOpen() {
  return RwSink().Open;
}

void SetTraceTap(ITraceTap* tap) {
  Tap() = tap;
}
