// The version resource through the version library: the fixed part (VS_FIXEDFILEINFO) carries the
// file version as four 16-bit numbers.
#include "os/fileversion.h"

#include <windows.h>

#include <vector>

#include "os/win32/wide.h"

bool OsFileVersion(const std::string& path, TFileVersion& version) {
  const std::wstring widePath = WideFromUtf8(path);
  DWORD ignored = 0;
  const DWORD size = ::GetFileVersionInfoSizeW(widePath.c_str(), &ignored);
  if (size == 0) return false;
  std::vector<BYTE> block(size);
  if (!::GetFileVersionInfoW(widePath.c_str(), 0, size, block.data())) return false;
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (!::VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) ||
      fixed == nullptr || length < sizeof *fixed || fixed->dwSignature != VS_FFI_SIGNATURE) {
    return false;
  }
  version.Major = HIWORD(fixed->dwFileVersionMS);
  version.Minor = LOWORD(fixed->dwFileVersionMS);
  version.Release = HIWORD(fixed->dwFileVersionLS);
  version.Build = LOWORD(fixed->dwFileVersionLS);
  return true;
}

bool OsExecutableFileVersion(TFileVersion& version) {
  // Long paths: grow the buffer until the name fits.
  std::vector<wchar_t> name(MAX_PATH);
  while (true) {
    const DWORD length =
        ::GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
    if (length == 0) return false;
    if (length < name.size()) {
      return OsFileVersion(Utf8FromWide(std::wstring_view(name.data(), length)), version);
    }
    name.resize(name.size() * 2);
  }
}
