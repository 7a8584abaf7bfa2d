// The single-instance mark: one running program per user session, and the requests a second
// start sends to the running one ("come to the front", "quit"). This header carries the sending
// side; the running program's listening side sits behind the same names.
//
// Windows posts the private window messages to the main window. Linux has no window to post to:
// the running program listens on a local Unix socket "KorvanZEMMark.sock" in the runtime directory
// ($XDG_RUNTIME_DIR, else /tmp/korzem-<uid>) and reads one request line per connection.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

inline constexpr const char* kInstanceMarkName = "KorvanZEMMark";

// The private window messages (WM_APP + 0x19E and + 0x19F).
inline constexpr uint32_t kZemExitRequest = 0x819E;
inline constexpr uint32_t kZemRestoreRequest = 0x819F;

enum class TInstanceRequest {
  Restore,  // ZemRestoreRequest: leave the tray, show the window, bring it to the front
  Exit,     // ZemExitRequest: quit as if "Exit" had been chosen from the tray menu
};

inline uint32_t InstanceRequestMessage(TInstanceRequest request) {
  return request == TInstanceRequest::Exit ? kZemExitRequest : kZemRestoreRequest;
}

// The line form of a request on a stream transport: "RESTORE\n" or "EXIT\n".
inline std::string_view InstanceRequestLine(TInstanceRequest request) {
  return request == TInstanceRequest::Exit ? "EXIT\n" : "RESTORE\n";
}

// Reads a line with or without its "\n" (and a "\r" before it); nullopt for anything else.
inline std::optional<TInstanceRequest> ParseInstanceRequestLine(std::string_view line) {
  if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  if (line == "EXIT") return TInstanceRequest::Exit;
  if (line == "RESTORE") return TInstanceRequest::Restore;
  return std::nullopt;
}

class IInstancePoster {
 public:
  virtual ~IInstancePoster() = default;
  // Posts request to the running program's window and returns at once; false when no running
  // program was reached.
  virtual bool PostRequest(TInstanceRequest request) = 0;
};

// The running system's poster.
std::unique_ptr<IInstancePoster> OsCreateInstancePoster();

// Whether a running program holds the mark, found without creating or taking it: a start with
// "/UNINSTALL" asks this first and ends at once when nothing runs, so it leaves no mark behind
// that a start right after it would take for a running program. Windows: OpenMutex of
// kInstanceMarkName succeeds (its handle closed at once). Linux: the running program's socket
// accepts a connection (closed at once without a request).
bool OsInstanceMarkHeld(const std::string& runtimeDir = {});

// The running program's side: the mark itself and the requests that reach it.
class IInstanceMark {
 public:
  virtual ~IInstanceMark() = default;
  // True when this process holds the mark (no other instance runs).
  virtual bool Owned() const = 0;
  // The requests that arrived since the last call, in order; never blocks.
  virtual std::vector<TInstanceRequest> TakeRequests() = 0;
};

// Takes the mark when it is free. Windows: the named mutex "KorvanZEMMark". Linux: an exclusive
// lock on "KorvanZEMMark.lock" in the runtime directory (released by the kernel when the process
// ends, so a crash leaves no stale mark) and the listening socket beside it.
std::unique_ptr<IInstanceMark> OsCreateInstanceMark();
