// Files and paths of the program.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

class IOsFile {
 public:
  virtual ~IOsFile() = default;
  // Writes all bytes; false when the file could not take them all.
  virtual bool Write(std::string_view bytes) = 0;
};

// Creates path, truncating an old file, for exclusive use by this process; with writeThrough each
// Write reaches the disk before it returns. Null when the file cannot be created.
std::unique_ptr<IOsFile> OsCreateFileExclusive(const std::string& path, bool writeThrough);

// Full path of the running executable, and its directory (no trailing separator).
std::string OsExecutablePath();
std::string OsExecutableDirectory();

// The platform's path separator.
char OsPathSeparator();
bool OsFileExists(const std::string& path);
