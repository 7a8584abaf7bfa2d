// The current user's registry (HKEY_CURRENT_USER): keys named by backslash-separated paths, each
// holding named 32-bit integer and string values. Key paths and value names compare without regard
// to case, as on Windows.
//
// A volatile key lives only until the system restarts. Creating a key creates its missing parents
// with the same option, except a top-level key ("Software"), which always lasts as the hive's
// predefined keys do; a key that exists already keeps its own option; a lasting key cannot be
// created below a volatile one.
//
// Windows uses the real registry. Linux keeps lasting keys in "registry.reg" under
// $XDG_CONFIG_HOME/korzem (default ~/.config/korzem) and volatile keys in "KorZemVolatile.reg" in
// $XDG_RUNTIME_DIR (else /tmp/korzem-<uid>), which the system empties at every boot.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

// An open key; destroying it closes it.
class IOsRegistryKey {
 public:
  virtual ~IOsRegistryKey() = default;

  virtual bool ValueExists(const std::string& name) = 0;
  // False when the value is missing or of the other type.
  virtual bool ReadInteger(const std::string& name, int32_t& value) = 0;
  virtual bool ReadString(const std::string& name, std::string& value) = 0;
  // Writes replace a value of the same name whatever its type; false when the store refused.
  virtual bool WriteInteger(const std::string& name, int32_t value) = 0;
  virtual bool WriteString(const std::string& name, std::string_view value) = 0;
  // False when there is no such value.
  virtual bool DeleteValue(const std::string& name) = 0;
};

enum class TRegKeyOption {
  Lasting,   // REG_OPTION_NON_VOLATILE
  Volatile,  // REG_OPTION_VOLATILE: gone after a restart
};

class IOsRegistry {
 public:
  virtual ~IOsRegistry() = default;

  // Opens an existing key; null when it does not exist or cannot be opened.
  virtual std::unique_ptr<IOsRegistryKey> OpenKey(const std::string& path) = 0;
  // Opens the key, creating it and its missing parents with option first; null on failure.
  virtual std::unique_ptr<IOsRegistryKey> CreateKey(const std::string& path,
                                                    TRegKeyOption option) = 0;
  virtual bool KeyExists(const std::string& path) = 0;
};

// The running system's registry of the current user.
std::unique_ptr<IOsRegistry> OsCreateRegistry();
