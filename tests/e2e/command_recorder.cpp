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
  FILE* file = _wfopen(log.c_str(), L"a, ccs=UTF-8");
  if (file == nullptr) return 2;
  std::fwprintf(file, L"%ls\t%ls\n", self, GetCommandLineW());
  std::fclose(file);
  return 0;
}
