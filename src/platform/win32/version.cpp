// The Windows version (GetVersionExA, GetVersion) and system metrics.
#include "platform/version.h"

#include <cstring>

#include "platform/win32/areas.h"
#include "platform/win32/support.h"

namespace orvo::platform::win32 {
namespace {

static_assert(sizeof(OSVERSIONINFOEXA) == kOsVersionInfoExSize);
static_assert(sizeof(OSVERSIONINFOA) == kOsVersionInfoSize);

class Win32Version final : public IVersion {
 public:
  // Fills the record for the size the caller announces; any other size is handed on, so the
  // refusal (error 122) is the system's own. The plain record leaves the extended fields alone.
  bool GetVersionExA(OsVersionInfoEx& info) override {
    OSVERSIONINFOEXA record{};
    record.dwOSVersionInfoSize = info.dwOSVersionInfoSize;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    const BOOL ok = ::GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&record));
#pragma GCC diagnostic pop
    if (!ok) {
      TakeLastError();
      return false;
    }
    info.dwMajorVersion = record.dwMajorVersion;
    info.dwMinorVersion = record.dwMinorVersion;
    info.dwBuildNumber = record.dwBuildNumber;
    info.dwPlatformId = record.dwPlatformId;
    info.szCSDVersion = AnsiToUtf8(std::string_view(
        record.szCSDVersion, ::strnlen(record.szCSDVersion, sizeof(record.szCSDVersion))));
    if (record.dwOSVersionInfoSize == kOsVersionInfoExSize) {
      info.wServicePackMajor = record.wServicePackMajor;
      info.wServicePackMinor = record.wServicePackMinor;
      info.wSuiteMask = record.wSuiteMask;
      info.wProductType = record.wProductType;
    }
    return true;
  }

  int GetSystemMetrics(int index) override { return ::GetSystemMetrics(index); }

  // Major version in the low byte, minor in the next, the build above them (top bit clear on
  // the NT family); the same version GetVersionExA reports to this program.
  Dword GetVersion() override {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    return static_cast<Dword>(::GetVersion());
#pragma GCC diagnostic pop
  }
};

}  // namespace

IVersion& VersionInfo() noexcept {
  static Win32Version instance;
  return instance;
}

}  // namespace orvo::platform::win32
