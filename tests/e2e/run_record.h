// The record the test doubles keep of their runs: one UTF-8 line per run appended to a log in
// the prefix's support folder, written as bytes (no text-mode translation to depend on).
#pragma once
// The including program includes <windows.h> first (lean, without min/max).
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

// This program's full path and, within it, its file name; false when it cannot be read.
struct SelfPath {
  wchar_t path[MAX_PATH] = {};
  const wchar_t* name = path;
};
inline bool FindSelf(SelfPath& self) {
  const DWORD length = GetModuleFileNameW(nullptr, self.path, MAX_PATH);
  if (length == 0 || length == MAX_PATH) return false;
  const wchar_t* slash = std::wcsrchr(self.path, L'\\');
  self.name = slash != nullptr ? slash + 1 : self.path;
  return true;
}

// Appends the line to C:\e2e-support\<name>.log; 0 when written, 2 when the log cannot be
// opened.
inline int AppendRunRecord(const wchar_t* name, const std::wstring& line) {
  const std::wstring log = std::wstring(L"C:\\e2e-support\\") + name + L".log";
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
