// Environment variables, the program's path and system message texts.
#include "platform/environment.h"

#include "platform/win32/areas.h"
#include "platform/win32/support.h"

namespace orvo::platform::win32 {
namespace {

// The longest path the W functions take (with "\\?\"), and so the largest buffer worth growing to.
constexpr DWORD kLongestPath = 32768;

// A system folder from one of the Get*DirectoryW calls, which answer the length they need
// when the buffer is too small; empty (last error set) on failure.
std::string Folder(UINT(WINAPI* call)(LPWSTR, UINT)) {
  std::wstring path(MAX_PATH, L'\0');
  UINT n = call(path.data(), static_cast<UINT>(path.size()));
  if (n >= path.size()) {
    path.resize(n);
    n = call(path.data(), static_cast<UINT>(path.size()));
  }
  if (n == 0) {
    TakeLastError();
    return {};
  }
  if (n >= path.size()) {  // grew again between the two calls
    platform::SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return {};
  }
  path.resize(n);
  return Narrow(path);
}

class Win32Environment final : public IEnvironment {
 public:
  // The variable's value, growing the buffer as needed; nullopt (error 203) when it is unset.
  std::optional<std::string> GetEnvironmentVariableW(const std::string& name) override {
    const std::wstring wideName = Widen(name);
    std::wstring value(256, L'\0');
    for (;;) {
      // A variable set to empty text also answers 0; only the error tells it from an unset one.
      ::SetLastError(ERROR_SUCCESS);
      const DWORD n = ::GetEnvironmentVariableW(wideName.c_str(), value.data(),
                                                static_cast<DWORD>(value.size()));
      if (n == 0) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_SUCCESS) return std::string();
        platform::SetLastError(error);
        return std::nullopt;
      }
      if (n < value.size()) {
        value.resize(n);
        return Narrow(value);
      }
      value.resize(n);  // too small: n is the size needed, terminator included
    }
  }

  std::string GetSystemWindowsDirectoryW() override { return Folder(::GetSystemWindowsDirectoryW); }
  std::string GetSystemDirectoryW() override { return Folder(::GetSystemDirectoryW); }

  bool IsWow64Process() override {
    BOOL wow64 = FALSE;
    if (!::IsWow64Process(::GetCurrentProcess(), &wow64)) {
      TakeLastError();
      return false;
    }
    return wow64 != FALSE;
  }

  // Full path of the program's file, past MAX_PATH if need be; empty (last error set) on failure.
  std::string GetModuleFileNameW() override {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
      const DWORD size = static_cast<DWORD>(path.size());
      const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), size);
      if (n == 0) {
        TakeLastError();
        return {};
      }
      // A cut path answers the full buffer size (with error 122 since Vista, none on XP).
      if (n < size) {
        path.resize(n);
        return Narrow(path);
      }
      if (size >= kLongestPath) {
        platform::SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return {};
      }
      path.resize(size * 2);
    }
  }

  // The system's text for the code without its trailing line break; empty (last error set)
  // when the system has no text for it.
  std::string FormatMessageW(Dword code) override {
    wchar_t* buffer = nullptr;
    const DWORD n = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    if (n == 0 || buffer == nullptr) {
      TakeLastError();
      return {};
    }
    std::wstring text(buffer, n);
    ::LocalFree(buffer);
    const auto end = text.find_last_not_of(L"\r\n \t");
    text.resize(end == std::wstring::npos ? 0 : end + 1);
    return Narrow(text);
  }
};

}  // namespace

IEnvironment& Environment() noexcept {
  static Win32Environment instance;
  return instance;
}

}  // namespace orvo::platform::win32
