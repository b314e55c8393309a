// A process that keeps running, for the checks of which running programs the cleanup ends:
// copied into a prefix under the names it must or must not end (mmc.exe, xmmc.exe, ...), it
// sleeps until it is killed, or ends by itself after 15 minutes so that a harness that died
// leaves nothing behind for long. With any argument it exits at once (0), so a copy can be
// tried without leaving a process.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

namespace {

constexpr DWORD kLifetimeMs = 15 * 60 * 1000;

}  // namespace

int wmain(int argc, wchar_t**) {
  if (argc > 1) return 0;
  Sleep(kLifetimeMs);
  return 0;
}
