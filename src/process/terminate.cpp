// Ending running processes by their executable name.
#include "process/terminate.h"

#include <charconv>
#include <vector>

#include "fs/paths.h"
#include "platform/platform.h"
#include "process/launch.h"
#include "support/log.h"
#include "support/strings.h"

namespace orvo::process {
namespace {

using platform::Dword;
using support::DPrint;

// A whole number in the text, or nothing (the usual case: "mmc.exe").
std::optional<std::int32_t> WholeNumber(const std::string& text) {
  const std::string trimmed = support::Trim(text);
  std::int32_t n = 0;
  const auto [end, ec] = std::from_chars(trimmed.data(), trimmed.data() + trimmed.size(), n);
  if (trimmed.empty() || ec != std::errc() || end != trimmed.data() + trimmed.size()) {
    return std::nullopt;
  }
  return n;
}

// The debug privilege on the open token (NT family only); false when it cannot be switched.
bool SwitchDebugPrivilege(platform::Handle token, platform::Luid luid, bool on) {
  return platform::Security().AdjustTokenPrivileges(token, luid, on);
}

}  // namespace

void KillProcess(const std::string& sProcessName) {
  try {
    if (support::bVerboseTrace) {
      DPrint("CommonModule\\KillProcess: ");
      DPrint("\t- Passed: " + sProcessName);
    }
    const platform::UniqueKernelHandle snapshot(
        platform::Processes().CreateToolhelp32Snapshot(platform::kTh32csSnapProcess, 0));
    if (!snapshot) throw support::ErrorNumber{platform::GetLastError()};
    const std::string wanted = support::Lower(sProcessName);
    platform::ProcessEntry entry;
    for (bool more = platform::Processes().Process32FirstW(snapshot.get(), entry); more;
         more = platform::Processes().Process32NextW(snapshot.get(), entry)) {
      // The whole executable name: a longer name that merely ends the same way
      // ("xmmc.exe") belongs to another program.
      if (support::Lower(entry.szExeFile.substr(0, entry.szExeFile.find('\0'))) != wanted) {
        continue;
      }
      const platform::UniqueKernelHandle process(platform::Processes().OpenProcess(
          platform::kProcessTerminate, false, entry.th32ProcessID));
      if (process) platform::Processes().TerminateProcess(process.get(), 0);
    }
  } catch (...) {
    support::DPrintCaughtError("CommonModule\\KillProcess VB ERROR: ");
    DPrint("\t- sProcessName=" + sProcessName);
  }
}

bool KillProcess2(std::int32_t lProcessId, std::int32_t lExitValue) {
  bool result = false;
  try {
    const bool nt = (platform::Version().GetVersion() & 0x80000000) == 0;
    platform::Handle opened = 0;
    platform::Luid luid = 0;
    if (nt) {
      if (!platform::Security().OpenProcessToken(
              platform::kTokenAdjustPrivileges | platform::kTokenQuery, opened)) {
        return false;
      }
    }
    const platform::UniqueKernelHandle token(opened);
    if (nt && (!platform::Security().LookupPrivilegeValueW("SeDebugPrivilege", luid) ||
               !SwitchDebugPrivilege(token.get(), luid, true))) {
      return false;
    }
    {
      const platform::UniqueKernelHandle process(platform::Processes().OpenProcess(
          platform::kProcessAllAccess, false, static_cast<Dword>(lProcessId)));
      if (process) {
        result =
            platform::Processes().TerminateProcess(process.get(), static_cast<Dword>(lExitValue));
      }
    }
    if (nt) SwitchDebugPrivilege(token.get(), luid, false);
  } catch (...) {
    support::DPrintCaughtError("CommonModule\\KillProcess2 VB ERROR: ");
  }
  return result;
}

void KillProcessViaWMI(const std::string& sProcessName) {
  try {
    if (support::bVerboseTrace) {
      DPrint("CommonModule\\KillProcessViaWMI: ");
      DPrint("\t- Passed: " + sProcessName);
    }
    std::vector<platform::WmiObject> processes;
    const std::int32_t answer = platform::Wmi().ExecQuery("Select * from win32_Process", processes);
    if (answer != 0) {
      // A failure of WMI itself: written as the number it is, a negative HRESULT.
      DPrint("CommonModule\\KillProcessViaWMI VB ERROR: " + std::to_string(answer) + " " +
             platform::Env().FormatMessageW(static_cast<Dword>(answer)));
      DPrint("\t- sProcessName=" + sProcessName);
      return;
    }
    const std::string wanted = support::Upper(sProcessName);
    for (const platform::WmiObject& process : processes) {
      // A platform whose WMI cannot end processes refuses quietly; the other methods run.
      if (support::Upper(process.Name) == wanted) platform::Wmi().Terminate(process);
    }
  } catch (...) {
    support::DPrintCaughtError("CommonModule\\KillProcessViaWMI VB ERROR: ");
    DPrint("\t- sProcessName=" + sProcessName);
  }
}

void KillProcessByName(const std::string& sProcessName, bool bWait) {
  std::string name;
  try {
    name = support::StripPath(sProcessName);
  } catch (...) {
    return;
  }
  try {
    KillProcess(name);
  } catch (...) {
  }
  try {
    if (const std::optional<std::int32_t> id = WholeNumber(name)) KillProcess2(*id, 0);
  } catch (...) {
  }
  try {
    KillProcessViaWMI(name);
  } catch (...) {
  }
  try {
    // tskill through the native command shell, both by full path (the shell would otherwise
    // look for tskill in its current folder and on the user's PATH), started in the system
    // folder. A platform without tskill lets the command fail, quietly.
    const std::string shell = NativeSystemTool("cmd.exe");
    const std::string windows = platform::Env().GetSystemWindowsDirectoryW();
    // A missing shell is skipped: the launcher would ask the user about a path that does
    // not exist.
    if (shell.empty() || windows.empty() || !fs::DoesFileExist(shell, false)) return;
    const std::string tskill = windows + "\\System32\\tskill.exe";
    std::string workDir = windows + "\\System32";
    std::int32_t exitCode = 0;
    ShellX(shell, "/c \"" + QuoteArgument(tskill, true) + " " + QuoteArgument(name) + " /a\"",
           bWait, platform::kSwHide, "open", workDir, exitCode);
  } catch (...) {
  }
}

}  // namespace orvo::process
