// A test double for the toolkit's own installer tool, copied into a prefix as
// TarnwickShellExtensions.exe: appends one line per start to C:\e2e-support\<its file name>.log
// (its own path, its command line, its current folder and what it did to "Installed", separated
// by tabs) and exits 0. When a file named clear-installed lies beside it, it sets the DWORD
// "Installed" of HKLM\Software\Tarnwick\Orvo\Shell Extensions (64-bit view) to 0, as the tool
// does once it has taken the verbs out; otherwise it changes nothing.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "run_record.h"

namespace {

constexpr wchar_t kBookkeepingKey[] = L"Software\\Tarnwick\\Orvo\\Shell Extensions";

// "cleared", "error N" (the key could not be opened or written) or "kept".
std::wstring ClearInstalledIfAsked(const std::wstring& folder) {
  const std::wstring marker = folder + L"clear-installed";
  if (GetFileAttributesW(marker.c_str()) == INVALID_FILE_ATTRIBUTES) return L"kept";
  HKEY key = nullptr;
  LSTATUS status =
      RegOpenKeyExW(HKEY_LOCAL_MACHINE, kBookkeepingKey, 0, KEY_WOW64_64KEY | KEY_SET_VALUE, &key);
  if (status == ERROR_SUCCESS) {
    const DWORD zero = 0;
    status = RegSetValueExW(key, L"Installed", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&zero),
                            sizeof zero);
    RegCloseKey(key);
  }
  return status == ERROR_SUCCESS ? L"cleared" : L"error " + std::to_wstring(status);
}

}  // namespace

int wmain() {
  SelfPath found;
  if (!FindSelf(found)) return 1;
  const wchar_t* self = found.path;
  const wchar_t* name = found.name;
  const std::wstring folder(self, static_cast<std::size_t>(name - self));
  wchar_t current[MAX_PATH];
  const DWORD currentLength = GetCurrentDirectoryW(MAX_PATH, current);
  if (currentLength == 0 || currentLength >= MAX_PATH) return 1;
  const std::wstring installed = ClearInstalledIfAsked(folder);

  const std::wstring line =
      std::wstring(self) + L"\t" + GetCommandLineW() + L"\t" + current + L"\t" + installed + L"\n";
  return AppendRunRecord(name, line);
}
