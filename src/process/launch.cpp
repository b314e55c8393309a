// Starting outside programs by their full path.
#include "process/launch.h"

#include <cctype>
#include <limits>

#include "fs/paths.h"
#include "platform/platform.h"
#include "support/log.h"
#include "support/strings.h"

namespace orvo::process {
namespace {

using fs::DisableFSRedir;
using fs::DoesDirExist;
using fs::DoesFileExist;
using fs::Is64bit;
using fs::RevertFSRedir;
using platform::Dword;
using platform::kInfinite;
using platform::kSynchronize;
using platform::Processes;
using platform::UniqueKernelHandle;
using support::DPrint;
using support::DPrintCaughtError;
using support::DPrintError;
using support::Strip;
using support::StripEndOfString;

constexpr Dword kErrorArithmeticOverflow = 534;

// Waits until the process ends, or at most timeoutMs (kInfinite: no limit), letting window
// messages be processed meanwhile. false (last error set) when the wait itself fails;
// stillRunning tells a process that outlived the limit.
bool WaitForExit(platform::Handle process, Dword timeoutMs, bool& stillRunning) {
  stillRunning = false;
  const Dword start = Processes().GetTickCount();
  for (;;) {
    Dword wait = kInfinite;
    if (timeoutMs != kInfinite) {
      const Dword elapsed = Processes().GetTickCount() - start;  // wraps as the counter does
      if (elapsed >= timeoutMs) {
        stillRunning = true;
        return true;
      }
      wait = timeoutMs - elapsed;
    }
    const Dword answer = Processes().MsgWaitForMultipleObjects(process, wait);
    if (answer == platform::kWaitObject0) return true;
    if (answer == platform::kWaitObject0 + 1) {
      Processes().PumpMessages();
    } else if (answer != platform::kWaitTimeout) {
      return false;
    }
  }
}

bool WaitForExit(platform::Handle process) {
  bool stillRunning = false;
  return WaitForExit(process, kInfinite, stillRunning);
}

// A failure inside a launcher: the prefixed line with number and text, then the command.
void TraceLaunchError(const std::string& routine, Dword number, const std::string& sShell) {
  DPrintError(routine + " VB ERROR: ", number);
  DPrint("\t- sShell=" + sShell);
  RevertFSRedir();
}

// A command line split into its program (the first token, quoted or not) and the rest.
struct CommandLine {
  std::string program;
  std::string arguments;  // with its leading blank, as it stood
};

CommandLine SplitCommandLine(const std::string& line) {
  if (line.rfind('"', 0) == 0) {
    const std::size_t close = line.find('"', 1);
    if (close == std::string::npos) return {line.substr(1), {}};
    return {line.substr(1, close - 1), line.substr(close + 1)};
  }
  const std::size_t blank = line.find_first_of(" \t");
  if (blank == std::string::npos) return {line, {}};
  return {line.substr(0, blank), line.substr(blank)};
}

// Starts a command line by the full path of its program, given as the application name and
// quoted at the head of the command line; a program named without its folder is refused and
// logged (the platform would look for it in the program's own and the current folder).
bool StartByFullPath(const std::string& routine, const std::string& sShell, Dword show,
                     platform::ProcessInformation& started) {
  const CommandLine split = SplitCommandLine(sShell);
  if (!IsFullPath(split.program)) {
    DPrint(routine +
           " - not started: a program is started only by its full path: " + split.program);
    platform::SetLastError(platform::kErrorFileNotFound);
    return false;
  }
  return Processes().CreateProcessW(split.program, "\"" + split.program + "\"" + split.arguments,
                                    show, started);
}

}  // namespace

bool IsFullPath(const std::string& path) {
  if (path.rfind("\\\\", 0) == 0) return true;
  return path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) != 0 &&
         path[1] == ':' && path[2] == '\\';
}

std::string QuoteArgument(const std::string& argument, bool always) {
  if (!always && !argument.empty() && argument.find_first_of(" \t\"") == std::string::npos) {
    return argument;
  }
  // The C runtime's rules: backslashes are literal unless they stand before a quote, so
  // those (and the ones before the closing quote) are doubled, and a quote is escaped.
  std::string quoted = "\"";
  std::size_t backslashes = 0;
  for (const char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    if (c == '"') {
      quoted.append(backslashes * 2 + 1, '\\');
    } else {
      quoted.append(backslashes, '\\');
    }
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, '\\');
  return quoted + "\"";
}

namespace {

// ShellX's start: the checks, the working folder, the shell call. The started process, when
// the caller asked for it (wantProcess), is handed over in `process`.
bool ShellStart(const std::string& sShell, const std::string& sParams, bool wantProcess,
                std::int32_t nShow, const std::string& sVerb, std::string& sWorkDir,
                UniqueKernelHandle& process) {
  if (!IsFullPath(sShell)) {
    DPrint("CommonModule\\ShellX - not started: a program is started only by its full path: " +
           sShell);
    return false;
  }
  if (!DoesFileExist(sShell, false) && !DoesDirExist(sShell, false)) {
    DPrint("CommonModule\\ShellX FILE / DIR NOT FOUND");
    DPrint("\t- sShell=" + sShell);
    const int answer = platform::Ui().MessageBoxW(
        0, sShell, "File/Dir does not appear to exist, proceed anyway?", platform::kMbYesNo);
    if (answer != platform::kIdYes) return false;
  }
  if (sWorkDir.empty() || !DoesDirExist(sWorkDir, false)) {
    sWorkDir.clear();
    const std::string folder = StripEndOfString(sShell, "\\", false, false, false);
    if (!folder.empty() && DoesDirExist(folder, false)) sWorkDir = folder;
  }

  platform::ShellExecuteInfo info;
  info.fMask = wantProcess ? platform::kSeeMaskNoCloseProcess : 0;
  info.hwnd = platform::Ui().GetDesktopWindow();
  info.lpVerb = sVerb;
  info.lpFile = sShell;
  info.lpParameters = sParams;
  if (!sWorkDir.empty()) info.lpDirectory = sWorkDir;
  info.nShow = nShow;

  DisableFSRedir();
  const bool started = Processes().ShellExecuteExW(info);
  RevertFSRedir();
  // The started process is ours to close, on every path.
  process.reset(info.hProcess);
  if (!started) {
    DPrint("CommonModule\\ShellX ShellExecuteEx Fail: " + std::to_string(info.hInstApp));
    DPrint("\t- sShell=" + sShell);
    return false;
  }
  return true;
}

}  // namespace

bool ShellX(const std::string& sShell, const std::string& sParams, bool bWait, std::int32_t nShow,
            const std::string& sVerb, std::string& sWorkDir, std::int32_t& lExitCode) {
  try {
    if (sShell.rfind("\\\\", 0) == 0) {
      const std::int32_t style = nShow == 0 ? 0 : nShow == 2 ? 6 : 1;
      return ShellXOld(sShell, sParams, bWait, style);
    }
    UniqueKernelHandle process;
    if (!ShellStart(sShell, sParams, bWait, nShow, sVerb, sWorkDir, process)) return false;
    if (!bWait) return true;
    // No process: the request went to a program that was already running.
    if (!process) return false;
    if (!WaitForExit(process.get())) {
      TraceLaunchError("CommonModule\\ShellX", platform::GetLastError(), sShell);
      return false;
    }
    Dword code = 0;
    if (!Processes().GetExitCodeProcess(process.get(), code)) {
      TraceLaunchError("CommonModule\\ShellX", platform::GetLastError(), sShell);
      return false;
    }
    lExitCode = static_cast<std::int32_t>(code);
    return true;
  } catch (...) {
    DPrintCaughtError("CommonModule\\ShellX VB ERROR: ");
    DPrint("\t- sShell=" + sShell);
    RevertFSRedir();
    return false;
  }
}

Started ShellXWithin(const std::string& sShell, const std::string& sParams, std::int32_t nShow,
                     const std::string& sVerb, std::string& sWorkDir, Dword lTimeoutMs) {
  try {
    UniqueKernelHandle process;
    if (!ShellStart(sShell, sParams, true, nShow, sVerb, sWorkDir, process)) {
      return Started::kNotStarted;
    }
    if (!process) return Started::kEnded;
    bool stillRunning = false;
    if (!WaitForExit(process.get(), lTimeoutMs, stillRunning)) {
      TraceLaunchError("CommonModule\\ShellX", platform::GetLastError(), sShell);
      return Started::kStillRunning;
    }
    return stillRunning ? Started::kStillRunning : Started::kEnded;
  } catch (...) {
    DPrintCaughtError("CommonModule\\ShellX VB ERROR: ");
    DPrint("\t- sShell=" + sShell);
    RevertFSRedir();
    return Started::kNotStarted;
  }
}

bool ShellXOld(const std::string& sPathAndFileName, const std::string& sParams, bool bWait,
               std::int32_t lWindowStyle) {
  bool result = false;
  try {
    const std::string path = Strip(sPathAndFileName, "\"");
    if (path.find('\\') != std::string::npos && !DoesFileExist(path, false)) {
      DPrint("CommonModule\\ShellXOld FILE NOT FOUND");
      DPrint("\t- sPathAndFileName=" + path);
      return false;
    }
    std::string commandLine = path.find(' ') != std::string::npos ? "\"" + path + "\"" : path;
    if (!sParams.empty()) commandLine += " " + sParams;
    if (bWait) {
      std::string sErrMsg;
      result = ShellAndWaitForTermination(commandLine, lWindowStyle, sErrMsg, 2000000000, false);
    } else {
      result = ShellNoWait(commandLine, lWindowStyle);
    }
  } catch (...) {
    DPrint("ShellXOld:  " + platform::Env().FormatMessageW(platform::kErrorNotEnoughMemory));
    result = false;
  }
  return result;
}

bool ShellAndWaitForTermination(const std::string& sShell, std::int32_t lWindowStyle,
                                std::string& sErrMsg, std::int32_t lTimeoutMs, bool bUseTimeout) {
  const std::string routine = "CommonModule\\ShellAndWaitForTermination";
  try {
    DPrint("ShellandWaitForTermination:  " + sShell);
    DisableFSRedir();
    platform::ProcessInformation started;
    if (!StartByFullPath(routine, sShell, static_cast<Dword>(lWindowStyle), started)) {
      const Dword error = platform::GetLastError();
      sErrMsg = platform::Env().FormatMessageW(error);
      TraceLaunchError(routine, error, sShell);
      return false;
    }
    const UniqueKernelHandle startedProcess(started.hProcess);
    const UniqueKernelHandle startedThread(started.hThread);
    const UniqueKernelHandle process(Processes().OpenProcess(
        platform::kProcessQueryInformation | kSynchronize, false, started.dwProcessId));
    RevertFSRedir();

    bool result = false;
    if (!process) {
      sErrMsg =
          "This program could not determine whether the process started."
          "Please watch the program and check it completes.";
    } else {
      result = true;
      const Dword start = Processes().GetTickCount();
      for (;;) {
        Dword wait = kInfinite;
        if (bUseTimeout) {
          // The elapsed time as a signed 32-bit difference of the two tick counts.
          const std::int64_t elapsed =
              static_cast<std::int64_t>(static_cast<std::int32_t>(Processes().GetTickCount())) -
              static_cast<std::int32_t>(start);
          if (elapsed > std::numeric_limits<std::int32_t>::max() ||
              elapsed < std::numeric_limits<std::int32_t>::min()) {
            sErrMsg = platform::Env().FormatMessageW(kErrorArithmeticOverflow);
            TraceLaunchError(routine, kErrorArithmeticOverflow, sShell);
            return false;
          }
          if (elapsed > lTimeoutMs) {
            sErrMsg = "The process has timed out.";
            result = false;
            break;
          }
          wait = static_cast<Dword>(static_cast<std::int64_t>(lTimeoutMs) - elapsed + 1);
        }
        const Dword answer = Processes().MsgWaitForMultipleObjects(process.get(), wait);
        if (answer == platform::kWaitObject0) break;
        if (answer == platform::kWaitObject0 + 1) {
          Processes().PumpMessages();
        } else if (answer != platform::kWaitTimeout) {
          const Dword error = platform::GetLastError();
          sErrMsg = platform::Env().FormatMessageW(error);
          TraceLaunchError(routine, error, sShell);
          return false;
        }
      }
    }
    DPrint(std::string("\tSuccess=") + (result ? "True" : "False"));
    return result;
  } catch (...) {
    DPrintCaughtError(routine + " VB ERROR: ");
    DPrint("\t- sShell=" + sShell);
    RevertFSRedir();
    return false;
  }
}

bool ShellNoWait(const std::string& sShell, std::int32_t lWindowStyle) {
  try {
    DisableFSRedir();
    platform::ProcessInformation started;
    if (!StartByFullPath("CommonModule\\ShellNoWait", sShell, static_cast<Dword>(lWindowStyle),
                         started)) {
      TraceLaunchError("CommonModule\\ShellNoWait", platform::GetLastError(), sShell);
      return false;
    }
    const UniqueKernelHandle process(started.hProcess);
    const UniqueKernelHandle thread(started.hThread);
    RevertFSRedir();
    return true;
  } catch (...) {
    DPrintCaughtError("CommonModule\\ShellNoWait VB ERROR: ");
    DPrint("\t- sShell=" + sShell);
    RevertFSRedir();
    return false;
  }
}

// Platform tools are started by their full path: an elevated program that names them
// bare would find a copy in its own folder or the current folder first. The Windows folder
// comes from the system, never from the environment (SystemRoot is the user's to set).
std::string NativeSystemTool(const std::string& sToolName) {
  const std::string root = platform::Env().GetSystemWindowsDirectoryW();
  if (root.empty()) return {};
  return root + (Is64bit("") ? "\\Sysnative\\" : "\\System32\\") + sToolName;
}

}  // namespace orvo::process
