// A DLL planted beside a program under a system library's name: when a process
// loads it, DllMain leaves a marker file C:\planted\<library>-by-<program>.loaded
// so the test can tell which process picked up the planted copy.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <cwchar>

namespace {

// The file name of a module without its folder and extension, e.g. "dwmapi".
void BaseName(HMODULE module, wchar_t* out, size_t size) {
  wchar_t path[MAX_PATH] = L"";
  GetModuleFileNameW(module, path, MAX_PATH);
  const wchar_t* name = path;
  for (const wchar_t* p = path; *p != L'\0'; ++p) {
    if (*p == L'\\' || *p == L'/') name = p + 1;
  }
  std::swprintf(out, size, L"%ls", name);
  if (wchar_t* dot = std::wcsrchr(out, L'.')) *dot = L'\0';
}

// Only kernel32 is called here: it is safe to use while the loader lock is held.
void LeaveMarker(HINSTANCE self) {
  wchar_t library[MAX_PATH];
  wchar_t program[MAX_PATH];
  wchar_t marker[3 * MAX_PATH];
  BaseName(self, library, MAX_PATH);
  BaseName(nullptr, program, MAX_PATH);
  std::swprintf(marker, 3 * MAX_PATH, L"C:\\planted\\%ls-by-%ls.loaded", library, program);
  CreateDirectoryW(L"C:\\planted", nullptr);
  HANDLE file =
      CreateFileW(marker, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, void*) {
  if (reason == DLL_PROCESS_ATTACH) LeaveMarker(self);
  return TRUE;
}

// One export so that every loader treats the file as an ordinary library.
extern "C" __declspec(dllexport) int PlantedProbe() { return 1; }
