// Starting programs (ShellExecuteExW, CreateProcessW), waiting for them, reading exit codes,
// listing running processes (Toolhelp) and ending them.
#include "platform/processes.h"

#include <cwchar>

#include "platform/win32/areas.h"
#include "platform/win32/support.h"

namespace orvo::platform::win32 {
namespace {

HANDLE Kernel(Handle h) noexcept { return FromHandle<HANDLE>(h); }

// One snapshot entry as the seam gives it: the id, and the executable's name up to its NUL.
ProcessEntry Entry(const PROCESSENTRY32W& entry) {
  const std::size_t length = ::wcsnlen(entry.szExeFile, MAX_PATH);
  return ProcessEntry{static_cast<Dword>(entry.th32ProcessID),
                      Narrow(std::wstring_view(entry.szExeFile, length))};
}

// Process32FirstW and Process32NextW: false with the error (18 after the last entry).
bool SnapshotEntry(BOOL(WINAPI* call)(HANDLE, LPPROCESSENTRY32W), Handle snapshot,
                   ProcessEntry& entry) {
  PROCESSENTRY32W record{};
  record.dwSize = sizeof record;
  if (!call(Kernel(snapshot), &record)) {
    TakeLastError();
    return false;
  }
  entry = Entry(record);
  return true;
}

class Win32Processes final : public IProcesses {
 public:
  // Starts the file through the shell. hInstApp answers > 32 on success and the error number
  // (2 for a missing file) on failure; with SEE_MASK_NOCLOSEPROCESS hProcess is the started
  // process, or 0 when the request went to a program that was already running.
  bool ShellExecuteExW(ShellExecuteInfo& info) override {
    const std::wstring verb = Widen(info.lpVerb);
    const std::wstring file = Widen(info.lpFile);
    const std::wstring parameters = Widen(info.lpParameters);
    const std::wstring directory = Widen(info.lpDirectory.value_or(std::string()));
    SHELLEXECUTEINFOW sei{};
    sei.cbSize = sizeof sei;
    sei.fMask = info.fMask;
    sei.hwnd = FromHandle<HWND>(info.hwnd);
    // No verb is the file type's default verb, and no parameters are none: both pass as null.
    sei.lpVerb = verb.empty() ? nullptr : verb.c_str();
    sei.lpFile = file.c_str();
    sei.lpParameters = parameters.empty() ? nullptr : parameters.c_str();
    sei.lpDirectory = info.lpDirectory ? directory.c_str() : nullptr;
    sei.nShow = info.nShow;
    // ShellExecuteEx may hand the file to a shell extension, which needs COM on the thread.
    const ComApartment apartment;
    const BOOL ok = ::ShellExecuteExW(&sei);
    if (!ok) TakeLastError();
    info.hInstApp = reinterpret_cast<std::uintptr_t>(sei.hInstApp);
    info.hProcess = ToHandle(sei.hProcess);
    return ok != FALSE;
  }

  // Starts the program (or, with no name, the command line's first token) with the window
  // state, no handles inherited; false with the error (2 for a missing program).
  bool CreateProcessW(const std::string& applicationName, const std::string& commandLine,
                      Dword showWindow, ProcessInformation& info) override {
    const std::wstring application = Widen(applicationName);
    // CreateProcessW may write into the command line, so it gets a copy of its own.
    std::wstring line = Widen(commandLine);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(showWindow);
    PROCESS_INFORMATION started{};
    if (!::CreateProcessW(application.empty() ? nullptr : application.c_str(), line.data(), nullptr,
                          nullptr, FALSE, 0, nullptr, nullptr, &startup, &started)) {
      TakeLastError();
      return false;
    }
    info = ProcessInformation{ToHandle(started.hProcess), ToHandle(started.hThread),
                              static_cast<Dword>(started.dwProcessId),
                              static_cast<Dword>(started.dwThreadId)};
    return true;
  }

  // A handle to a running process; 0 with the error (87 for an id no process has).
  Handle OpenProcess(Dword desiredAccess, bool inheritHandle, Dword processId) override {
    HANDLE process = ::OpenProcess(desiredAccess, inheritHandle ? TRUE : FALSE, processId);
    if (process == nullptr) TakeLastError();
    return ToHandle(process);
  }

  // Ends the process with the exit code (the end itself completes a moment later); false with
  // the error (5 for a handle without the terminate right).
  bool TerminateProcess(Handle process, Dword exitCode) override {
    if (::TerminateProcess(Kernel(process), exitCode)) return true;
    TakeLastError();
    return false;
  }

  // A snapshot of what the flags name; 0 with the error. Windows answers INVALID_HANDLE_VALUE
  // for a failure, which must not reach the seam: there it would look like an open handle.
  Handle CreateToolhelp32Snapshot(Dword flags, Dword processId) override {
    HANDLE snapshot = ::CreateToolhelp32Snapshot(flags, processId);
    if (snapshot == INVALID_HANDLE_VALUE) {
      TakeLastError();
      return 0;
    }
    return ToHandle(snapshot);
  }

  bool Process32FirstW(Handle snapshot, ProcessEntry& entry) override {
    return SnapshotEntry(&::Process32FirstW, snapshot, entry);
  }

  bool Process32NextW(Handle snapshot, ProcessEntry& entry) override {
    return SnapshotEntry(&::Process32NextW, snapshot, entry);
  }

  // The exit code, or 259 (STILL_ACTIVE) while the process runs; false with the error for a
  // handle without the query right.
  bool GetExitCodeProcess(Handle process, Dword& exitCode) override {
    DWORD code = 0;
    if (!::GetExitCodeProcess(Kernel(process), &code)) {
      TakeLastError();
      return false;
    }
    exitCode = static_cast<Dword>(code);
    return true;
  }

  // Waits for the process to end or any input to reach this thread's queue.
  Dword MsgWaitForMultipleObjects(Handle process, Dword milliseconds) override {
    const HANDLE handles[] = {Kernel(process)};
    const DWORD answer = ::MsgWaitForMultipleObjects(1, handles, FALSE, milliseconds, QS_ALLINPUT);
    if (answer == WAIT_FAILED) TakeLastError();
    return static_cast<Dword>(answer);
  }

  // Translates and dispatches this thread's pending messages until its queue is empty.
  void PumpMessages() override {
    MSG message{};
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
  }

  // Milliseconds since Windows started, wrapping after 49.7 days (kernel32's, not winmm's: the
  // program may import only DLLs that always load from the system folder).
  Dword GetTickCount() override { return static_cast<Dword>(::GetTickCount()); }

  // Closes a kernel handle; false with 6 for one that is not open.
  bool CloseHandle(Handle h) override {
    if (::CloseHandle(Kernel(h))) return true;
    TakeLastError();
    return false;
  }
};

}  // namespace

IProcesses& ProcessControl() noexcept {
  static Win32Processes instance;
  return instance;
}

}  // namespace orvo::platform::win32
