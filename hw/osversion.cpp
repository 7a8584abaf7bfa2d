#include "hw/osversion.h"

#include "base/trace.h"

namespace {

std::string VersionText(const TOsVersionInfo& version) {
  return std::to_string(version.MajorVersion) + "." + std::to_string(version.MinorVersion);
}

// Name and short-name suffix of an NT system; the Media Center mark is added by the caller.
void NameNtSystem(const TOsVersionInfo& version, const TOsSystemInfo& systemInfo, bool isWow64,
                  std::string& name, std::string& suffix) {
  const bool workstation = version.ProductType == 1;
  const uint32_t minor = version.MinorVersion;
  switch (version.MajorVersion) {
    case 6:
      if (minor == 1) {
        name = workstation ? "Windows 7" : "Windows Server 2009";
        suffix = workstation ? (isWow64 ? "A" : "") : "S";
      } else if (minor == 0) {
        name =
            workstation ? (isWow64 ? "Windows Vista64" : "Windows Vista") : "Windows Server 2008";
        suffix = workstation ? (isWow64 ? "A" : "") : "S";
      }
      break;
    case 5:
      if (minor == 2) {
        const bool xp64 = workstation && systemInfo.ProcessorArchitecture == kArchitectureX64;
        name = xp64 ? "Windows XP64" : "Windows Server 2003";
        suffix = xp64 ? "A" : "S";
      } else if (minor == 1) {
        name = "Windows XP";
      } else if (minor == 0) {
        name = "Windows 2000";
      }
      break;
    default:
      name = "Unknown";
      break;
  }
}

// The driver route for a 32-bit process: native, or under WOW64 on IA-64 or on x64.
int RouteKind(int nativeKind, bool isWow64, const TOsSystemInfo& systemInfo) {
  if (!isWow64) return nativeKind;
  return systemInfo.ProcessorArchitecture == kArchitectureIa64 ? nativeKind + 1 : nativeKind + 2;
}

std::string Name9xSystem(const TOsVersionInfo& version) {
  if (version.MajorVersion != 4) return {};
  switch (version.MinorVersion) {
    case 90:
      return "Windows ME";
    case 10:
    case 11:
      return "Windows 98";
    case 0:
    case 3:
      return "Windows 95";
    default:
      return {};
  }
}

}  // namespace

TOsClassification ClassifyOs(const TOsVersionInfo* version, const TOsSystemInfo& systemInfo,
                             bool isWow64, int mediaCenterMetric) {
  TOsClassification result;
  if (version == nullptr) {
    result.ShortName = "Unknown";
    return result;
  }
  if (version->PlatformId == kPlatformWin32Nt) {
    std::string suffix;
    NameNtSystem(*version, systemInfo, isWow64, result.Name, suffix);
    result.ShortName = "WNT_" + VersionText(*version) + suffix;
    // NT versions other than 5 take the NT 6 route.
    result.OsKind = RouteKind(version->MajorVersion == 5 ? 1 : 4, isWow64, systemInfo);
    result.MediaCenter = mediaCenterMetric != 0;
    if (result.MediaCenter) result.Name += " MCE";
  } else if (version->PlatformId == kPlatformLinux) {
    // Linux reaches the hardware through the in-process driver, as NT 6 does through its driver.
    result.OsKind = RouteKind(4, isWow64, systemInfo);
    result.ShortName = "LNX_" + VersionText(*version);
    result.Name = "Linux " + version->Release;
  } else {
    result.ShortName = "WIN_" + VersionText(*version);
    result.Name = Name9xSystem(*version);
  }
  return result;
}

TOsVersion::TOsVersion(IOsSystem& system) {
  RwDebugLine("Detecting OS");
  if (!system.GetNativeSystemInfo(SystemInfo)) system.GetSystemInfo(SystemInfo);

  TOsVersionInfo version;
  const bool known = system.GetVersionInfo(version);
  if (known) {
    IsWow64 = system.HasIsWow64Process() && system.IsWow64Process();
    RwDebugLine("Major=" + std::to_string(version.MajorVersion) + ", Minor=" +
                std::to_string(version.MinorVersion) + ", 64bit=" + (IsWow64 ? "1" : "0"));
  }
  const bool nt = known && version.PlatformId == kPlatformWin32Nt;
  const int metric = nt ? system.GetSystemMetric(kMediaCenterMetric) : 0;

  TOsClassification classified =
      ClassifyOs(known ? &version : nullptr, SystemInfo, IsWow64, metric);
  OsKind = classified.OsKind;
  ShortName = std::move(classified.ShortName);
  Name = std::move(classified.Name);
  MediaCenter = classified.MediaCenter;
  RwDebugLine("OS = " + std::to_string(OsKind));
}

TPrivilege::TPrivilege(IOsPrivileges& privileges) : Privileges_(privileges) {
  TokenOpen_ = Privileges_.OpenProcessToken();
  if (TokenOpen_ && Privileges_.LookupPrivilege("SeShutdownPrivilege")) {
    Enabled_ = Privileges_.AdjustPrivilege(true);
  }
}

TPrivilege::~TPrivilege() {
  if (Enabled_) Privileges_.AdjustPrivilege(false);
  if (TokenOpen_) Privileges_.CloseToken();
}
