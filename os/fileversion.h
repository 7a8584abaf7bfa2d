// The file version an executable carries in its version resource ("major.minor.release.build"),
// which the about box shows.
#pragma once

#include <cstdint>
#include <string>

struct TFileVersion {
  uint16_t Major = 0;
  uint16_t Minor = 0;
  uint16_t Release = 0;
  uint16_t Build = 0;
  bool operator==(const TFileVersion&) const = default;
};

// The version of the file at path; false when it has no version resource or cannot be read.
// Linux executables carry no version resource: callers fall back to the build's own version.
bool OsFileVersion(const std::string& path, TFileVersion& version);

// The running executable's version.
bool OsExecutableFileVersion(TFileVersion& version);
