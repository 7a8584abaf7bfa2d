// In-memory double of the current user's registry, with the same case rules and volatile-key rules
// as the real one. A test may preset Keys, then checks Keys, OpenKeys and Calls afterwards;
// Restart() does what a system restart does to volatile keys.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "os/registry.h"

// Orders texts the way the registry compares key paths and value names: ASCII case folded.
struct TNoCaseLess {
  bool operator()(const std::string& a, const std::string& b) const;
};

class TFakeRegistry : public IOsRegistry {
 public:
  struct TValue {
    bool IsString = false;
    int32_t Integer = 0;
    std::string Text;
  };
  struct TKey {
    bool Volatile = false;
    std::map<std::string, TValue, TNoCaseLess> Values;
  };

  // --- set by the test ---
  bool Available = true;  // false: every open and create fails, as for a key access is denied to

  // --- checked by the test (and settable as the starting state) ---
  // Every key by full path, parents included ("Software", "Software\Korvan", ...).
  std::map<std::string, TKey, TNoCaseLess> Keys;
  int OpenKeys = 0;  // keys handed out and not closed yet
  // One line per call: "open <path>", "create <path> volatile", "write <name>", ...
  std::vector<std::string> Calls;

  // Drops every volatile key, as a system restart does.
  void Restart();
  // The value, or null when the key or the value does not exist.
  const TValue* Find(const std::string& path, const std::string& name) const;

  std::unique_ptr<IOsRegistryKey> OpenKey(const std::string& path) override;
  std::unique_ptr<IOsRegistryKey> CreateKey(const std::string& path, TRegKeyOption option) override;
  bool KeyExists(const std::string& path) override;

 private:
  friend class TFakeRegistryKey;
  std::unique_ptr<IOsRegistryKey> Hand(const std::string& path);
};
