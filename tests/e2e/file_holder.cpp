// Holds a file open as another program would, so that nothing else can delete it: opened with
// no sharing at all, then kept until the process is ended (or 15 minutes have passed, so that
// a harness that died leaves nothing behind for long). Argument: the file's path. Prints
// "holding <path>" once the file is open; exits 2 when it cannot be opened.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <cstdio>
#include <cwchar>

namespace {

constexpr DWORD kLifetimeMs = 15 * 60 * 1000;

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) return 1;
  const HANDLE file =
      CreateFileW(argv[1], GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    std::fwprintf(stderr, L"cannot open %ls: %lu\n", argv[1], GetLastError());
    return 2;
  }
  std::wprintf(L"holding %ls\n", argv[1]);
  std::fflush(stdout);
  Sleep(kLifetimeMs);
  CloseHandle(file);
  return 0;
}
