#include "winpower/advreg.h"

#include <memory>

std::string RunEntryText(const std::string& programPath) {
  if (programPath.find(' ') == std::string::npos) return programPath;
  return "\"" + programPath + "\"";
}

TAdvReg::TAdvReg(IOsRegistry& registry, std::string programPath)
    : Registry_(registry), ProgramPath_(std::move(programPath)) {}

void TAdvReg::AddRunEntry(const std::string& valueName) {
  std::unique_ptr<IOsRegistryKey> key = Registry_.CreateKey(kRunKey, TRegKeyOption::Lasting);
  if (key) key->WriteString(valueName, RunEntryText(ProgramPath_));
}

void TAdvReg::RemoveRunEntry(const std::string& valueName) {
  std::unique_ptr<IOsRegistryKey> key = Registry_.OpenKey(kRunKey);
  if (key) key->DeleteValue(valueName);
}

int32_t TAdvReg::ReadInteger(const std::string& key, const std::string& name) {
  std::unique_ptr<IOsRegistryKey> open = Registry_.CreateKey(key, TRegKeyOption::Lasting);
  int32_t value = 0;
  if (open && open->ValueExists(name) && open->ReadInteger(name, value)) return value;
  return 0;
}

void TAdvReg::WriteInteger(const std::string& key, const std::string& name, int32_t value) {
  std::unique_ptr<IOsRegistryKey> open = Registry_.CreateKey(key, TRegKeyOption::Lasting);
  if (open) open->WriteInteger(name, value);
}

std::string TAdvReg::ReadString(const std::string& key, const std::string& name) {
  std::unique_ptr<IOsRegistryKey> open = Registry_.CreateKey(key, TRegKeyOption::Lasting);
  std::string text;
  if (open && open->ValueExists(name) && open->ReadString(name, text)) return text;
  return {};
}

bool TAdvReg::WriteVolatileString(const std::string& key, const std::string& name,
                                  const std::string& text) {
  std::unique_ptr<IOsRegistryKey> open = Registry_.CreateKey(key, TRegKeyOption::Volatile);
  if (open) open->WriteString(name, text);
  return true;
}

bool TAdvReg::KeyExists(const std::string& key) {
  return Registry_.KeyExists(key);
}
