// The Windows version record and system metrics.
#pragma once

#include <string>

#include "platform/types.h"

namespace orvo::platform {

// The fields of OSVERSIONINFOEX the system reads. dwOSVersionInfoSize selects the
// record: 156 for the extended one, 148 for the plain one (whose last five
// fields the platform leaves alone).
struct OsVersionInfoEx {
  Dword dwOSVersionInfoSize = 0;
  Dword dwMajorVersion = 0;
  Dword dwMinorVersion = 0;
  Dword dwBuildNumber = 0;
  Dword dwPlatformId = 0;
  std::string szCSDVersion;  // up to 128 characters, as the platform wrote them
  std::uint16_t wServicePackMajor = 0;
  std::uint16_t wServicePackMinor = 0;
  std::uint16_t wSuiteMask = 0;
  std::uint8_t wProductType = 0;
};

inline constexpr Dword kOsVersionInfoExSize = 156;
inline constexpr Dword kOsVersionInfoSize = 148;

class IVersion {
 public:
  virtual ~IVersion() = default;
  // Fills the record for the size it announces; false (last error set) when refused.
  virtual bool GetVersionExA(OsVersionInfoEx& info) = 0;
  virtual int GetSystemMetrics(int index) = 0;
  // The packed version word; its top bit is clear on the NT family.
  virtual Dword GetVersion() = 0;
};

}  // namespace orvo::platform
