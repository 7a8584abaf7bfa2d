// The saved state of a simulated machine: named entries, each a number, a text or a byte string,
// kept as a versioned text file of "key=value" lines so that a person can read and diff it.
//
//   KorZemSimState 1
//   board=p35-core2
//   clock.ns=0x0000000000000000
//   pci.00:1f.0=86801829...
//
// Every component writes its entries under its own key prefix. A loader reads what it knows and
// the machine rejects the file if anything is left over, so a state file from a different board or
// build fails loudly instead of half applying.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

class TSimState {
 public:
  static constexpr std::string_view Magic = "KorZemSimState";
  static constexpr uint32_t Version = 1;

  void SetText(const std::string& key, std::string_view value);
  void SetNumber(const std::string& key, uint64_t value);
  // Trailing zero bytes are left out of the file; GetBytes restores them.
  void SetBytes(const std::string& key, const uint8_t* data, size_t length);

  bool Has(const std::string& key) const { return Entries_.count(key) != 0; }
  // Each Get marks the entry as used; false (with a message naming the entry) when it is missing
  // or does not hold what the caller expects.
  bool GetText(const std::string& key, std::string* value, std::string* error) const;
  bool GetNumber(const std::string& key, uint64_t* value, std::string* error) const;
  // Exactly length bytes: a stored string may be shorter (zeros follow) but never longer.
  bool GetBytes(const std::string& key, uint8_t* data, size_t length, std::string* error) const;

  // Keys beginning with prefix, in sorted order.
  std::vector<std::string> KeysWithPrefix(std::string_view prefix) const;
  // Keys no Get has used since the state was read.
  std::vector<std::string> UnusedKeys() const;

  std::string ToText() const;
  // Parses a whole file; on failure *error says which line is wrong and why.
  static bool FromText(std::string_view text, TSimState* state, std::string* error);

 private:
  std::map<std::string, std::string> Entries_;
  mutable std::set<std::string> Used_;
};
