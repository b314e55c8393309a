// Starting programs, waiting for them and reading their exit codes.
#pragma once

#include <optional>
#include <string>

#include "platform/types.h"

namespace orvo::platform {

inline constexpr Dword kSeeMaskNoCloseProcess = 0x40;
inline constexpr Dword kProcessQueryInformation = 0x0400;
// Waiting on a process handle needs this right besides the query right.
inline constexpr Dword kSynchronize = 0x00100000;
inline constexpr Dword kInfinite = 0xFFFFFFFF;
inline constexpr Dword kStillActive = 259;
inline constexpr Dword kWaitObject0 = 0;
inline constexpr Dword kWaitTimeout = 258;
inline constexpr Dword kWaitFailed = 0xFFFFFFFF;
inline constexpr Dword kSwHide = 0;
inline constexpr Dword kSwShowNormal = 1;
inline constexpr Dword kSwShowMinimized = 2;
inline constexpr Dword kSwMinimize = 6;

// The fields of SHELLEXECUTEINFO the system fills and reads back.
struct ShellExecuteInfo {
  Dword fMask = 0;
  Handle hwnd = 0;
  std::string lpVerb;
  std::string lpFile;
  std::string lpParameters;
  std::optional<std::string> lpDirectory;
  int nShow = 0;
  // Out: the platform's error number (a value of 32 or less on failure) and, with
  // kSeeMaskNoCloseProcess, the started process (0 when none was started).
  std::uintptr_t hInstApp = 0;
  Handle hProcess = 0;
};

// Process rights and snapshot flags of the termination methods.
inline constexpr Dword kProcessTerminate = 0x0001;
inline constexpr Dword kProcessAllAccess = 0x1F0FFF;
inline constexpr Dword kTh32csSnapProcess = 0x2;

// One entry of a process snapshot: its id and executable name (no folder).
struct ProcessEntry {
  Dword th32ProcessID = 0;
  std::string szExeFile;
};

struct ProcessInformation {
  Handle hProcess = 0;
  Handle hThread = 0;
  Dword dwProcessId = 0;
  Dword dwThreadId = 0;
};

class IProcesses {
 public:
  virtual ~IProcesses() = default;
  virtual bool ShellExecuteExW(ShellExecuteInfo& info) = 0;
  // Starts the program `applicationName` (a full path: nothing is searched for) with the
  // command line and the start-up window state. An empty name leaves the program to the
  // command line's first token and the platform's search (the system itself never does that).
  virtual bool CreateProcessW(const std::string& applicationName, const std::string& commandLine,
                              Dword showWindow, ProcessInformation& info) = 0;
  virtual Handle OpenProcess(Dword desiredAccess, bool inheritHandle, Dword processId) = 0;
  // Ends the process with the exit code; false (last error set) when refused.
  virtual bool TerminateProcess(Handle process, Dword exitCode) = 0;
  // A snapshot of the running processes; 0 (last error set) on failure (the platform's
  // INVALID_HANDLE_VALUE never crosses the seam). Closed with CloseHandle.
  virtual Handle CreateToolhelp32Snapshot(Dword flags, Dword processId) = 0;
  // The first and each next entry; false with 18 after the last.
  virtual bool Process32FirstW(Handle snapshot, ProcessEntry& entry) = 0;
  virtual bool Process32NextW(Handle snapshot, ProcessEntry& entry) = 0;
  virtual bool GetExitCodeProcess(Handle process, Dword& exitCode) = 0;
  // Waits until the process ends, a window message arrives or the time runs out:
  // kWaitObject0 (ended), kWaitObject0 + 1 (a message), kWaitTimeout, kWaitFailed.
  virtual Dword MsgWaitForMultipleObjects(Handle process, Dword milliseconds) = 0;
  // Lets every pending window message of this thread be processed.
  virtual void PumpMessages() = 0;
  virtual Dword GetTickCount() = 0;
  virtual bool CloseHandle(Handle h) = 0;
};

}  // namespace orvo::platform
