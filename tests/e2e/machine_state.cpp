// Reports, in one Wine start, the state of every registry key, registry value, service, file and
// process it is asked about, so that a listing of a prefix costs one program start (seconds in
// the emulated machine) rather than one per trace. Arguments: "key:HKLM\path" (the 64-bit view,
// as reg.exe /reg:64 names it), "value:HKLM\path|name" (a value of such a key; an empty name is
// the key's default value), "service:NAME", "file:C:\path" (as a 32-bit program sees it:
// system32 is syswow64), "process:NAME" (a running executable's file name, matched whole and
// without regard to case) and "version" (the Windows version this program is told). Prints one
// line per argument, in order: the argument, a tab, and its state:
//   key:HKLM\path       present | absent | denied | error N
//   value:HKLM\path|name REG_SZ:text | REG_EXPAND_SZ:text | REG_DWORD:decimal | REG_BINARY:hex
//     | REG_MULTI_SZ:[first][second]... (each string of the list in brackets)
//                       | TYPE n:hex | absent | denied | error N
//   service:NAME        RUNNING | STOPPED | ... | absent | error N
//   file:C:\path        file,readonly,hidden,... | dir,reparse,... | absent | error N
//   process:NAME        running | absent | error N
//   version             major.minor.build platform P product T
// A key whose DACL allows nobody is "denied": it is there, but cannot be opened. A value is
// "absent" when it or its key is missing. Text shows control characters as \xNN, so that every
// answer stays on its line. A file's answer is its kind and its attributes as
// GetFileAttributesW reports them, in one word. The program carries OrvoCleanup.exe's manifest:
// copied under that name, it is told the Windows version the program is told.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>
// After windows.h, which it needs.
#include <tlhelp32.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <utility>
#include <vector>

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

// Control characters as \xNN, so that a value's text cannot break the one-line answer.
std::wstring Printable(const std::wstring& text) {
  std::wstring out;
  for (const wchar_t c : text) {
    if (c < L' ') {
      wchar_t escaped[8];
      std::swprintf(escaped, 8, L"\\x%02X", static_cast<unsigned>(c));
      out += escaped;
    } else {
      out += c;
    }
  }
  return out;
}

std::wstring Hex(const std::vector<BYTE>& bytes) {
  std::wstring out;
  for (const BYTE b : bytes) {
    wchar_t digits[4];
    std::swprintf(digits, 4, L"%02x", static_cast<unsigned>(b));
    out += digits;
  }
  return out;
}

// "HKLM\path|name": the value `name` of the key (the default value when the name is empty).
std::wstring ValueState(const wchar_t* argument) {
  const std::wstring text = argument;
  const std::size_t bar = text.find(L'|');
  if (text.compare(0, 5, L"HKLM\\") != 0 || bar == std::wstring::npos) return L"error 87";
  const std::wstring path = text.substr(5, bar - 5);
  const std::wstring name = text.substr(bar + 1);
  HKEY key = nullptr;
  LSTATUS status =
      RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_WOW64_64KEY | KEY_QUERY_VALUE, &key);
  if (status == ERROR_FILE_NOT_FOUND) return L"absent";
  if (status == ERROR_ACCESS_DENIED) return L"denied";
  if (status != ERROR_SUCCESS) return L"error " + std::to_wstring(status);
  DWORD type = 0;
  DWORD size = 0;
  const wchar_t* valueName = name.empty() ? nullptr : name.c_str();
  status = RegQueryValueExW(key, valueName, nullptr, &type, nullptr, &size);
  std::vector<BYTE> data(size);
  if (status == ERROR_SUCCESS && size > 0) {
    status = RegQueryValueExW(key, valueName, nullptr, &type, data.data(), &size);
    data.resize(size);
  }
  RegCloseKey(key);
  if (status == ERROR_FILE_NOT_FOUND) return L"absent";
  if (status != ERROR_SUCCESS) return L"error " + std::to_wstring(status);
  switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ: {
      std::wstring value(data.size() / sizeof(wchar_t), L'\0');
      std::memcpy(value.data(), data.data(), value.size() * sizeof(wchar_t));
      // The stored terminator (and any padding after it) is not part of the text.
      while (!value.empty() && value.back() == L'\0') value.pop_back();
      return (type == REG_SZ ? L"REG_SZ:" : L"REG_EXPAND_SZ:") + Printable(value);
    }
    case REG_MULTI_SZ: {
      // Each string of the list in brackets, empty ones too; the list's closing NUL ends it.
      std::wstring value(data.size() / sizeof(wchar_t), L'\0');
      std::memcpy(value.data(), data.data(), value.size() * sizeof(wchar_t));
      if (!value.empty() && value.back() == L'\0') value.pop_back();
      std::wstring shown = L"REG_MULTI_SZ:";
      std::size_t start = 0;
      for (std::size_t end; (end = value.find(L'\0', start)) != std::wstring::npos;
           start = end + 1) {
        shown += L"[" + Printable(value.substr(start, end - start)) + L"]";
      }
      if (start < value.size()) shown += L"[" + Printable(value.substr(start)) + L"]";
      return shown;
    }
    case REG_DWORD:
      if (data.size() == sizeof(DWORD)) {
        DWORD number = 0;
        std::memcpy(&number, data.data(), sizeof number);
        return L"REG_DWORD:" + std::to_wstring(number);
      }
      return L"REG_DWORD size " + std::to_wstring(data.size()) + L":" + Hex(data);
    case REG_BINARY:
      return L"REG_BINARY:" + Hex(data);
    default:
      return L"TYPE " + std::to_wstring(type) + L":" + Hex(data);
  }
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

// What GetVersionExW tells this program: Wine answers by the program's file name (its
// AppDefaults) and by the Windows versions its manifest declares.
std::wstring VersionState() {
  OSVERSIONINFOEXW info{};
  info.dwOSVersionInfoSize = sizeof(info);
  if (!GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info))) {
    return L"error " + std::to_wstring(GetLastError());
  }
  return std::to_wstring(info.dwMajorVersion) + L"." + std::to_wstring(info.dwMinorVersion) + L"." +
         std::to_wstring(info.dwBuildNumber) + L" platform " + std::to_wstring(info.dwPlatformId) +
         L" product " + std::to_wstring(static_cast<unsigned>(info.wProductType));
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
    } else if (std::wcsncmp(argument, L"value:", 6) == 0) {
      state = ValueState(argument + 6);
    } else if (std::wcscmp(argument, L"version") == 0) {
      state = VersionState();
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
    std::wprintf(L"%ls\t%ls\n", argument, state.c_str());
  }
  if (manager != nullptr) CloseServiceHandle(manager);
  std::fflush(stdout);
  return status;
}
