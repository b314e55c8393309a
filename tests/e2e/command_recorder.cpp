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
  SelfPath found;
  if (!FindSelf(found)) return 1;
  const wchar_t* self = found.path;
  const wchar_t* name = found.name;
  const std::wstring line = std::wstring(self) + L"\t" + GetCommandLineW() + L"\n";
  return AppendRunRecord(name, line);
}
