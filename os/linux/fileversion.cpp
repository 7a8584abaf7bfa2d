// ELF files have no version resource: every query fails and callers use the build's version.
#include "os/fileversion.h"

bool OsFileVersion(const std::string& /*path*/, TFileVersion& /*version*/) {
  return false;
}

bool OsExecutableFileVersion(TFileVersion& /*version*/) {
  return false;
}
