// Reports, in one Wine start, the state of every registry key, service, file and process it is
// asked about, so that a listing of a prefix costs one program start (seconds in the emulated
// machine) rather than one per trace. Arguments: "key:HKLM\path" (the 64-bit view, as reg.exe
// /reg:64 names it), "service:NAME", "file:C:\path" (as a 32-bit program sees it: system32 is
// syswow64) and "process:NAME" (a running executable's file name, matched whole and without
// regard to case). Prints one line per argument, in order:
//   key:HKLM\path present | absent | denied | error N
//   service:NAME RUNNING | STOPPED | ... | absent | error N
//   file:C:\path file,readonly,hidden,... | dir,reparse,... | absent | error N
//   process:NAME running | absent | error N
// A key whose DACL allows nobody is "denied": it is there, but cannot be opened. A file's
// answer is its kind and its attributes as GetFileAttributesW reports them, in one word.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>
// After windows.h, which it needs.
#include <tlhelp32.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <utility>

namespace {

std::wstring KeyState(const wchar_t* path) {
  if (std::wcsncmp(path, L"HKLM\\", 5) != 0) return L"error 87";
  HKEY key = nullptr;
  const LSTATUS status =
      RegOpenKeyExW(HKEY_LOCAL_MACHINE, path + 5, 0, KEY_WOW64_64KEY | KEY_QUERY_VALUE, &key);
  if (status == ERROR_SUCCESS) {
    RegCloseKey(key);
    return L"present";
  }
  if (status == ERROR_FILE_NOT_FOUND) return L"absent";
  if (status == ERROR_ACCESS_DENIED) return L"denied";
  return L"error " + std::to_wstring(status);
}

std::wstring StateName(DWORD state) {
  switch (state) {
    case SERVICE_STOPPED:
      return L"STOPPED";
    case SERVICE_START_PENDING:
      return L"START_PENDING";
    case SERVICE_STOP_PENDING:
      return L"STOP_PENDING";
    case SERVICE_RUNNING:
      return L"RUNNING";
    case SERVICE_CONTINUE_PENDING:
      return L"CONTINUE_PENDING";
    case SERVICE_PAUSE_PENDING:
      return L"PAUSE_PENDING";
    case SERVICE_PAUSED:
      return L"PAUSED";
    default:
      return L"state " + std::to_wstring(state);
  }
}

std::wstring ServiceState(SC_HANDLE manager, const wchar_t* name) {
  if (manager == nullptr) return L"error " + std::to_wstring(GetLastError());
  SC_HANDLE service = OpenServiceW(manager, name, SERVICE_QUERY_STATUS);
  if (service == nullptr) {
    const DWORD error = GetLastError();
    return error == ERROR_SERVICE_DOES_NOT_EXIST ? L"absent" : L"error " + std::to_wstring(error);
  }
  SERVICE_STATUS status{};
  const std::wstring state = QueryServiceStatus(service, &status)
                                 ? StateName(status.dwCurrentState)
                                 : L"error " + std::to_wstring(GetLastError());
  CloseServiceHandle(service);
  return state;
}

std::wstring FileState(const wchar_t* path) {
  const DWORD attributes = GetFileAttributesW(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
               ? L"absent"
               : L"error " + std::to_wstring(error);
  }
  std::wstring state = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? L"dir" : L"file";
  static const std::pair<DWORD, const wchar_t*> kNames[] = {
      {FILE_ATTRIBUTE_READONLY, L"readonly"},     {FILE_ATTRIBUTE_HIDDEN, L"hidden"},
      {FILE_ATTRIBUTE_SYSTEM, L"system"},         {FILE_ATTRIBUTE_ARCHIVE, L"archive"},
      {FILE_ATTRIBUTE_REPARSE_POINT, L"reparse"},
  };
  for (const auto& [bit, name] : kNames) {
    if ((attributes & bit) != 0) state += std::wstring(L",") + name;
  }
  return state;
}

// Toolhelp names a process by its executable's file name; Windows matches names without
// regard to case, and so does this.
std::wstring ProcessState(const wchar_t* name) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return L"error " + std::to_wstring(GetLastError());
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof(entry);
  bool running = false;
  for (BOOL more = Process32FirstW(snapshot, &entry); more && !running;
       more = Process32NextW(snapshot, &entry)) {
    running = CompareStringOrdinal(entry.szExeFile, -1, name, -1, TRUE) == CSTR_EQUAL;
  }
  CloseHandle(snapshot);
  return running ? L"running" : L"absent";
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  SC_HANDLE manager = nullptr;
  int status = 0;
  for (int i = 1; i < argc; ++i) {
    const wchar_t* argument = argv[i];
    std::wstring state;
    if (std::wcsncmp(argument, L"key:", 4) == 0) {
      state = KeyState(argument + 4);
    } else if (std::wcsncmp(argument, L"service:", 8) == 0) {
      if (manager == nullptr) manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
      state = ServiceState(manager, argument + 8);
    } else if (std::wcsncmp(argument, L"file:", 5) == 0) {
      state = FileState(argument + 5);
    } else if (std::wcsncmp(argument, L"process:", 8) == 0) {
      state = ProcessState(argument + 8);
    } else {
      state = L"error 87";
      status = ERROR_INVALID_PARAMETER;
    }
    std::wprintf(L"%ls %ls\n", argument, state.c_str());
  }
  if (manager != nullptr) CloseServiceHandle(manager);
  std::fflush(stdout);
  return status;
}
