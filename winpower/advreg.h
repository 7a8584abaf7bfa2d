// TAdvReg: the program's access to the current user's registry: the Run entry that starts the
// program at logon on systems before NT 6, small integer settings, and the boot-time backup of
// GPIO states in a volatile key. Every operation opens its key and closes it again; no error
// reaches the user (a key that cannot be opened reads as 0 or empty, and writes do nothing).
#pragma once

#include <cstdint>
#include <string>

#include "os/registry.h"

inline constexpr const char* kRunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr const char* kRunValueName = "KorvanZEM";
inline constexpr const char* kZemSettingsKey = "Software\\Korvan\\ZEM";
inline constexpr const char* kAutoRunValue = "AutoRun";
inline constexpr const char* kZemBackupKey = "Software\\KorvanZEM\\ZEMBackup";

// The Run value's text for a program path: quoted when the path holds a space, so that the shell
// does not cut it there.
std::string RunEntryText(const std::string& programPath);

class TAdvReg {
 public:
  // The registry must outlive the object. programPath is the executable's full path.
  TAdvReg(IOsRegistry& registry, std::string programPath);

  // Writes the program's path under valueName in the Run key, creating the key when missing.
  void AddRunEntry(const std::string& valueName);
  // Deletes valueName from the Run key when the key exists.
  void RemoveRunEntry(const std::string& valueName);

  // The integer value, or 0 when it does not exist; creates the key when missing.
  int32_t ReadInteger(const std::string& key, const std::string& name);
  void WriteInteger(const std::string& key, const std::string& name, int32_t value);
  // The string value, or empty when it does not exist; creates the key when missing.
  std::string ReadString(const std::string& key, const std::string& name);
  // Writes a string into a volatile key (created when missing), which a restart removes. Always
  // true.
  bool WriteVolatileString(const std::string& key, const std::string& name,
                           const std::string& text);
  bool KeyExists(const std::string& key);

 private:
  IOsRegistry& Registry_;
  std::string ProgramPath_;
};
