// Which Windows the program runs on: a snapshot of the version record taken at creation.
#pragma once

#include <cstdint>
#include <string>

#include "platform/types.h"

namespace orvo::support {

class clsOpSys {
 public:
  // Reads the environment values and the version record (extended record first, the
  // plain one when the platform refuses it) and computes the flags.
  clsOpSys();

  [[nodiscard]] std::int16_t BuildNumber() const noexcept;
  [[nodiscard]] std::string CSDVersion() const;
  [[nodiscard]] platform::Dword MajorVersion() const noexcept { return major_; }
  [[nodiscard]] platform::Dword MinorVersion() const noexcept { return minor_; }
  [[nodiscard]] platform::Dword PlatformID() const noexcept { return platformId_; }
  [[nodiscard]] std::uint8_t ProductType() const noexcept { return productType_; }
  [[nodiscard]] std::uint16_t ServicePackMajor() const noexcept { return spMajor_; }
  [[nodiscard]] std::uint16_t ServicePackMinor() const noexcept { return spMinor_; }
  [[nodiscard]] std::uint16_t SuiteMask() const noexcept { return suiteMask_; }
  [[nodiscard]] int WindowsMode() const noexcept { return windowsMode_; }
  [[nodiscard]] bool HasAS() const noexcept { return Suite(1); }
  [[nodiscard]] bool HasBO() const noexcept { return Suite(2); }
  [[nodiscard]] bool HasDC() const noexcept { return Suite(7); }
  [[nodiscard]] bool HasSBS() const noexcept { return Suite(0); }
  [[nodiscard]] bool HasSBSr() const noexcept { return Suite(5); }
  [[nodiscard]] bool HasTS() const noexcept { return Suite(4); }
  [[nodiscard]] bool IsWin8() const noexcept { return isWin8_; }
  [[nodiscard]] bool IsWin7() const noexcept { return isWin7_; }
  [[nodiscard]] bool Is2003() const noexcept { return is2003_; }
  [[nodiscard]] bool Is2008() const noexcept { return is2008_; }
  [[nodiscard]] bool Is2008R2() const noexcept { return is2008R2_; }
  [[nodiscard]] bool IsVista() const noexcept { return isVista_; }
  [[nodiscard]] std::string VistaSKU() const;
  [[nodiscard]] bool IsWinXP() const noexcept { return isWinXP_; }
  [[nodiscard]] bool IsServer() const noexcept { return productType_ > 1; }
  [[nodiscard]] bool IsWin2K() const noexcept { return isWin2K_; }
  [[nodiscard]] bool IsWinNT() const noexcept { return isWinNT_; }
  [[nodiscard]] bool IsWin9x() const noexcept { return isWin95_ || isWin98_ || isWinME_; }
  [[nodiscard]] bool IsWin95() const noexcept { return isWin95_; }
  [[nodiscard]] bool IsWin98() const noexcept { return isWin98_; }
  [[nodiscard]] bool IsWinME() const noexcept { return isWinME_; }
  [[nodiscard]] std::string Platform() const;
  [[nodiscard]] std::string Version() const;
  [[nodiscard]] std::string ProductTypeName() const;

  // The environment values of the snapshot.
  [[nodiscard]] const std::string& SystemFolder() const noexcept { return systemFolder_; }
  [[nodiscard]] const std::string& WinDir() const noexcept { return windir_; }
  [[nodiscard]] const std::string& SystemRoot() const noexcept { return systemRoot_; }
  [[nodiscard]] const std::string& TempFolder() const noexcept { return temp_; }

 private:
  [[nodiscard]] bool Suite(int bit) const noexcept { return (suiteMask_ >> bit) & 1U; }
  [[nodiscard]] bool AtLeast(platform::Dword major, platform::Dword minor) const noexcept;

  platform::Dword major_ = 0, minor_ = 0, build_ = 0, platformId_ = 0;
  std::string csd_;
  std::uint16_t spMajor_ = 0, spMinor_ = 0, suiteMask_ = 0;
  std::uint8_t productType_ = 0;
  int windowsMode_ = 0;
  bool isWinNT_ = false, isWin2K_ = false, isWinXP_ = false, is2003_ = false, isVista_ = false,
       isWin7_ = false, isWin8_ = false, is2008_ = false, is2008R2_ = false, isWin95_ = false,
       isWin98_ = false, isWinME_ = false;
  std::string systemRoot_, windir_, systemDrive_, homeDrive_, userName_, allUsersProfile_,
      userProfile_, programFiles_, commonProgramFiles_, temp_, tmp_, systemFolder_;
};

// True on Windows Vista and every later release; a fresh snapshot per call.
bool IsVista();
// True on Windows 7 and every later release; a fresh snapshot per call.
bool IsWin7();
// True on 64-bit Windows. The program is 32-bit, so this is the system's own WOW64 answer: the
// environment (ProgramFiles(x86), which the user's HKCU\Environment can set or clear for an
// elevated process too) never decides which registry view or system folder is used.
bool Is64BitWindows();

}  // namespace orvo::support
