// The control for the DLL-planting check: loads each library named on the command line by
// its bare name with the default search order, as a program without the guard would, and
// prints where each one came from. With --guarded first it makes the same call the program
// makes before loading (SetDefaultDllDirectories, system folder only), to show that the
// call keeps the planted copies out.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <cstdio>
#include <cwchar>

int wmain(int argc, wchar_t** argv) {
  int first = 1;
  if (argc > 1 && std::wcscmp(argv[1], L"--guarded") == 0) {
    if (!SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
      std::wprintf(L"SetDefaultDllDirectories failed (%lu)\n", GetLastError());
      return 100;
    }
    first = 2;
  }
  int not_loaded = 0;
  for (int i = first; i < argc; ++i) {
    HMODULE module = LoadLibraryW(argv[i]);
    if (module == nullptr) {
      std::wprintf(L"%ls: not loaded (%lu)\n", argv[i], GetLastError());
      ++not_loaded;
      continue;
    }
    // Wine may map its own library yet report the planted file's path; only the probe
    // exports PlantedProbe, so that tells which code was mapped.
    wchar_t path[MAX_PATH] = L"?";
    GetModuleFileNameW(module, path, MAX_PATH);
    const bool planted = GetProcAddress(module, "PlantedProbe") != nullptr;
    std::wprintf(L"%ls: %ls (%ls)\n", argv[i], path, planted ? L"planted copy" : L"system copy");
  }
  std::fflush(stdout);
  return not_loaded;
}
