// The Windows version snapshot and the two version tests the system uses.
#include "support/windows_version.h"

#include <memory>

#include "platform/platform.h"
#include "support/log.h"
#include "support/strings.h"

namespace orvo::support {
namespace {

std::string EnvValue(const char* name) {
  return platform::Env().GetEnvironmentVariableW(name).value_or(std::string());
}

}  // namespace

clsOpSys::clsOpSys() {
  systemRoot_ = EnvValue("systemroot");
  windir_ = EnvValue("windir");
  systemDrive_ = EnvValue("systemdrive");
  homeDrive_ = EnvValue("homedrive");
  userName_ = EnvValue("username");
  allUsersProfile_ = EnvValue("allusersprofile");
  userProfile_ = EnvValue("userprofile");
  programFiles_ = EnvValue("programfiles");
  commonProgramFiles_ = EnvValue("commonprogramfiles");
  temp_ = EnvValue("temp");
  tmp_ = EnvValue("tmp");
  systemFolder_ = windir_ + (EnvValue("os") == "Windows_NT" ? "\\System32" : "\\System");

  platform::OsVersionInfoEx info;
  info.dwOSVersionInfoSize = platform::kOsVersionInfoExSize;
  if (!platform::Version().GetVersionExA(info)) {
    info = platform::OsVersionInfoEx{};
    info.dwOSVersionInfoSize = platform::kOsVersionInfoSize;
    platform::Version().GetVersionExA(info);
  }
  major_ = info.dwMajorVersion;
  minor_ = info.dwMinorVersion;
  build_ = info.dwBuildNumber;
  platformId_ = info.dwPlatformId;
  csd_ = info.szCSDVersion.substr(0, info.szCSDVersion.find('\0'));
  spMajor_ = info.wServicePackMajor;
  spMinor_ = info.wServicePackMinor;
  suiteMask_ = info.wSuiteMask;
  productType_ = info.wProductType;
  windowsMode_ = platform::Version().GetSystemMetrics(platform::kSmCleanBoot);

  // Every flag is an at-least test on the ordered pair (major, minor): a release
  // with a higher major and a lower minor (10.0) is still later than 6.1.
  if (platformId_ == platform::kVerPlatformWin32Nt) {
    isWinNT_ = true;
    isWin2K_ = AtLeast(5, 0);
    isWinXP_ = AtLeast(5, 1);
    is2003_ = AtLeast(5, 2);
    isVista_ = AtLeast(6, 0);
    isWin7_ = AtLeast(6, 1);
    isWin8_ = AtLeast(6, 2);
    is2008_ = isVista_ && productType_ > 1;
    is2008R2_ = is2008_ && isWin7_;
  } else if (platformId_ == platform::kVerPlatformWin32Windows) {
    isWin95_ = true;
    isWin98_ = AtLeast(4, 10);
    isWinME_ = (build_ & 0xFFFFU) >= 3000U;
  }
  if (isVista_) isWinXP_ = true;
}

bool clsOpSys::AtLeast(platform::Dword major, platform::Dword minor) const noexcept {
  return major_ > major || (major_ == major && minor_ >= minor);
}

std::int16_t clsOpSys::BuildNumber() const noexcept {
  return static_cast<std::int16_t>(static_cast<std::uint16_t>(build_ & 0xFFFFU));
}

std::string clsOpSys::CSDVersion() const {
  return support::StripTrailingCharacters(support::StripPreceedingCharacters(csd_, " "), " ");
}

std::string clsOpSys::ProductTypeName() const {
  switch (productType_) {
    case 1:
      return "NT Workstation";
    case 2:
      return "Domain Controller";
    case 3:
      return "NT Server";
    default:
      return "Unknown";
  }
}

std::string clsOpSys::Platform() const {
  if (IsWin9x()) {
    if (isWinME_) return "Windows ME";
    return isWin98_ ? "Windows 98" : "Windows 95";
  }
  if (!isWinNT_) return "Unknown";
  const bool server = IsServer();
  if (AtLeast(10, 0)) return server ? "Windows Server 2016 or later" : "Windows 10 or later";
  if (AtLeast(6, 3)) return server ? "Windows Server 2012 R2" : "Windows 8.1";
  if (AtLeast(6, 2)) return server ? "Windows Server 2012" : "Windows 8";
  if (AtLeast(6, 1)) return server ? "Windows Server 2008 R2" : "Windows 7";
  if (AtLeast(6, 0)) return server ? "Windows Server 2008" : "Windows Vista";
  if (AtLeast(5, 2)) return "Windows Server 2003";
  if (AtLeast(5, 1)) return "Windows XP";
  if (AtLeast(5, 0)) return "Windows 2000";
  return "Windows NT";
}

std::string clsOpSys::VistaSKU() const { return isVista_ ? ProductTypeName() : std::string(); }

std::string clsOpSys::Version() const {
  std::string text = Platform();
  const std::string sp = CSDVersion();
  if (!sp.empty()) text += " " + sp;
  text += " (" + std::to_string(major_) + "." + std::to_string(minor_) + ", build " +
          std::to_string(build_ & 0xFFFFU) + ")";
  return text;
}

bool IsVista() {
  const auto os = std::make_unique<clsOpSys>();
  return os->IsVista();
}

bool IsWin7() {
  const auto os = std::make_unique<clsOpSys>();
  return os->IsWin7();
}

bool Is64BitWindows() { return platform::Env().IsWow64Process(); }

}  // namespace orvo::support
