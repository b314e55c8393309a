// A test double for an outside program (subinacl.exe, reg.exe): appends its own path and the
// command line it was started with to C:\e2e-support\<its file name>.log, and exits 0.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

int wmain() {
  wchar_t self[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
  if (length == 0 || length == MAX_PATH) return 1;
  const wchar_t* name = std::wcsrchr(self, L'\\');
  name = name != nullptr ? name + 1 : self;
  const std::wstring log = std::wstring(L"C:\\e2e-support\\") + name + L".log";
  // One UTF-8 line per run, written as bytes (no text-mode translation to depend on).
  const std::wstring line = std::wstring(self) + L"\t" + GetCommandLineW() + L"\n";
  const int size = WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
  WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), bytes.data(), size,
                      nullptr, nullptr);
  FILE* file = _wfopen(log.c_str(), L"ab");
  if (file == nullptr) return 2;
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::fclose(file);
  return 0;
}
