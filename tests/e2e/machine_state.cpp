// Reports, in one Wine start, the state of every registry key and service it is asked about,
// so that a listing of a prefix costs one program start (seconds in the emulated machine)
// rather than one per trace. Arguments: "key:HKLM\path" (the 64-bit view, as reg.exe /reg:64
// names it) and "service:NAME". Prints one line per argument, in order:
//   key:HKLM\path present | absent | denied | error N
//   service:NAME RUNNING | STOPPED | ... | absent | error N
// A key whose DACL allows nobody is "denied": it is there, but cannot be opened.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

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
