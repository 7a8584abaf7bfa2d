// The process's trace console: a console window on Windows, standard error on Linux.
#pragma once

#include <memory>
#include <string_view>

class IOsConsole {
 public:
  virtual ~IOsConsole() = default;
  // Writes the bytes as they are (8-bit text); failures are ignored.
  virtual void Write(std::string_view bytes) = 0;
};

// Allocates (Windows) or attaches to (Linux) the process's console; null when there is none.
std::unique_ptr<IOsConsole> OsOpenConsole();
