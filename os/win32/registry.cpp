// The current user's registry on Windows: HKEY_CURRENT_USER itself, volatile keys through
// REG_OPTION_VOLATILE. Values are REG_DWORD and REG_SZ, texts converted between UTF-8 and UTF-16.
#include "os/registry.h"

#include <windows.h>

#include <vector>

#include "os/win32/wide.h"

namespace {

// A path the registry would read differently from the caller: empty (HKEY_CURRENT_USER itself) or
// with an empty part ("A\\B", "\A", "A\").
bool UsablePath(const std::string& path) {
  if (path.empty() || path.front() == '\\' || path.back() == '\\') return false;
  return path.find("\\\\") == std::string::npos;
}

class TWin32RegistryKey : public IOsRegistryKey {
 public:
  explicit TWin32RegistryKey(HKEY key) : Key_(key) {}
  ~TWin32RegistryKey() override { ::RegCloseKey(Key_); }
  TWin32RegistryKey(const TWin32RegistryKey&) = delete;
  TWin32RegistryKey& operator=(const TWin32RegistryKey&) = delete;

  bool ValueExists(const std::string& name) override {
    return ::RegQueryValueExW(Key_, WideFromUtf8(name).c_str(), nullptr, nullptr, nullptr,
                              nullptr) == ERROR_SUCCESS;
  }

  bool ReadInteger(const std::string& name, int32_t& value) override {
    DWORD type = 0;
    DWORD raw = 0;
    DWORD size = sizeof raw;
    if (::RegQueryValueExW(Key_, WideFromUtf8(name).c_str(), nullptr, &type,
                           reinterpret_cast<BYTE*>(&raw), &size) != ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof raw) {
      return false;
    }
    value = static_cast<int32_t>(raw);
    return true;
  }

  bool ReadString(const std::string& name, std::string& value) override {
    const std::wstring wideName = WideFromUtf8(name);
    DWORD type = 0;
    DWORD size = 0;
    if (::RegQueryValueExW(Key_, wideName.c_str(), nullptr, &type, nullptr, &size) !=
            ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
      return false;
    }
    // The value may change between the two calls; a grown value is asked for again.
    std::vector<wchar_t> buffer;
    LONG result = ERROR_MORE_DATA;
    while (result == ERROR_MORE_DATA) {
      buffer.assign(size / sizeof(wchar_t) + 1, L'\0');
      size = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
      result = ::RegQueryValueExW(Key_, wideName.c_str(), nullptr, &type,
                                  reinterpret_cast<BYTE*>(buffer.data()), &size);
    }
    if (result != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return false;
    // Another writer may have stored the text without its terminator, or with several.
    std::wstring_view text(buffer.data(), size / sizeof(wchar_t));
    text = text.substr(0, text.find(L'\0'));
    value = Utf8FromWide(text);
    return true;
  }

  bool WriteInteger(const std::string& name, int32_t value) override {
    const auto raw = static_cast<DWORD>(value);
    return ::RegSetValueExW(Key_, WideFromUtf8(name).c_str(), 0, REG_DWORD,
                            reinterpret_cast<const BYTE*>(&raw), sizeof raw) == ERROR_SUCCESS;
  }

  bool WriteString(const std::string& name, std::string_view value) override {
    // Stored with its terminator, as readers of REG_SZ expect.
    const std::wstring text = WideFromUtf8(value);
    const auto bytes = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
    return ::RegSetValueExW(Key_, WideFromUtf8(name).c_str(), 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(text.c_str()), bytes) == ERROR_SUCCESS;
  }

  bool DeleteValue(const std::string& name) override {
    return ::RegDeleteValueW(Key_, WideFromUtf8(name).c_str()) == ERROR_SUCCESS;
  }

 private:
  HKEY Key_;
};

class TWin32Registry : public IOsRegistry {
 public:
  std::unique_ptr<IOsRegistryKey> OpenKey(const std::string& path) override {
    if (!UsablePath(path)) return nullptr;
    const std::wstring widePath = WideFromUtf8(path);
    HKEY key = nullptr;
    LONG result = ::RegOpenKeyExW(HKEY_CURRENT_USER, widePath.c_str(), 0,
                                  KEY_QUERY_VALUE | KEY_SET_VALUE, &key);
    // A key the user may read but not change still reads.
    if (result == ERROR_ACCESS_DENIED) {
      result = ::RegOpenKeyExW(HKEY_CURRENT_USER, widePath.c_str(), 0, KEY_QUERY_VALUE, &key);
    }
    if (result != ERROR_SUCCESS) return nullptr;
    return std::make_unique<TWin32RegistryKey>(key);
  }

  std::unique_ptr<IOsRegistryKey> CreateKey(const std::string& path,
                                            TRegKeyOption option) override {
    if (!UsablePath(path)) return nullptr;
    HKEY parent = HKEY_CURRENT_USER;
    std::string rest = path;
    HKEY top = nullptr;
    DWORD options =
        option == TRegKeyOption::Volatile ? REG_OPTION_VOLATILE : REG_OPTION_NON_VOLATILE;
    if (option == TRegKeyOption::Volatile) {
      // A top-level key always lasts, as the hive's predefined keys do: a volatile one would take
      // its lasting children with it at the next restart, and refuse new ones until then.
      const size_t slash = path.find('\\');
      if (slash == std::string::npos) {
        options = REG_OPTION_NON_VOLATILE;
      } else {
        if (!Create(HKEY_CURRENT_USER, path.substr(0, slash), REG_OPTION_NON_VOLATILE, top)) {
          return nullptr;
        }
        parent = top;
        rest = path.substr(slash + 1);
      }
    }
    HKEY key = nullptr;
    const bool created = Create(parent, rest, options, key);
    if (top != nullptr) ::RegCloseKey(top);
    if (!created) return nullptr;
    return std::make_unique<TWin32RegistryKey>(key);
  }

  bool KeyExists(const std::string& path) override {
    if (!UsablePath(path)) return false;
    HKEY key = nullptr;
    const LONG result =
        ::RegOpenKeyExW(HKEY_CURRENT_USER, WideFromUtf8(path).c_str(), 0, KEY_QUERY_VALUE, &key);
    if (result == ERROR_SUCCESS) ::RegCloseKey(key);
    // A key the user may not open is still there.
    return result == ERROR_SUCCESS || result == ERROR_ACCESS_DENIED;
  }

 private:
  // RegCreateKeyEx creates the missing keys of the path with options and opens an existing one
  // as it is; below a volatile key it refuses a lasting one (ERROR_CHILD_MUST_BE_VOLATILE).
  static bool Create(HKEY parent, const std::string& path, DWORD options, HKEY& key) {
    return ::RegCreateKeyExW(parent, WideFromUtf8(path).c_str(), 0, nullptr, options,
                             KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_CREATE_SUB_KEY, nullptr, &key,
                             nullptr) == ERROR_SUCCESS;
  }
};

}  // namespace

std::unique_ptr<IOsRegistry> OsCreateRegistry() {
  return std::make_unique<TWin32Registry>();
}
