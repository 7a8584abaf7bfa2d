// Operating-system detection and the shutdown privilege.
//
// OsKind decides how the hardware is reached:
//   0  9x family, or the version query failed (direct port access)
//   1  NT 5.x, native 32-bit        2  NT 5.x under WOW64 on IA-64    3  NT 5.x under WOW64 on x64
//   4  NT 6.x and other NT versions, native; also Linux (the driver route of NT 6)
//   5  as 4 under WOW64 on IA-64    6  as 4 under WOW64 on x64
#pragma once

#include <string>

#include "os/sysinfo.h"

constexpr int kMediaCenterMetric = 87;
constexpr uint16_t kArchitectureIa64 = 6;
constexpr uint16_t kArchitectureX64 = 9;

struct TOsClassification {
  int OsKind = 0;
  std::string ShortName;  // "WNT_6.1A", "WIN_4.10", "LNX_6.8", or "Unknown"
  std::string Name;       // "Windows 7", "Windows XP MCE", "Linux 6.8.0-45-generic", ...
  bool MediaCenter = false;
};

// Classifies a system. version is null when the version query failed. The Media Center metric is
// only looked at on the NT family.
TOsClassification ClassifyOs(const TOsVersionInfo* version, const TOsSystemInfo& systemInfo,
                             bool isWow64, int mediaCenterMetric);

class TOsVersion {
 public:
  // Queries the system and classifies it, writing its progress to the register-access debug file.
  explicit TOsVersion(IOsSystem& system);

  TOsSystemInfo SystemInfo;
  int OsKind = 0;
  std::string ShortName;
  bool IsWow64 = false;
  bool MediaCenter = false;
  std::string Name;
};

// Holds "SeShutdownPrivilege" enabled in the process token for the object's lifetime. The
// privileges service must outlive the object.
class TPrivilege {
 public:
  explicit TPrivilege(IOsPrivileges& privileges);
  virtual ~TPrivilege();
  TPrivilege(const TPrivilege&) = delete;
  TPrivilege& operator=(const TPrivilege&) = delete;

  // True when this object enabled the privilege (and so will disable it again).
  bool Enabled() const { return Enabled_; }

 private:
  IOsPrivileges& Privileges_;
  bool TokenOpen_ = false;
  bool Enabled_ = false;
};
