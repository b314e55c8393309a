// A test double for an outside program (subinacl.exe, reg.exe): appends its own path and the
// command line it was started with to C:\e2e-support\<its file name>.log, and exits 0.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "run_record.h"

int wmain() {
  wchar_t self[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
  if (length == 0 || length == MAX_PATH) return 1;
  const wchar_t* name = std::wcsrchr(self, L'\\');
  name = name != nullptr ? name + 1 : self;
  const std::wstring line = std::wstring(self) + L"\t" + GetCommandLineW() + L"\n";
  return AppendRunRecord(name, line);
}
