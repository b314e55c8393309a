// A program for the launch cases: ends with the exit code its first argument gives; given the
// name of an event as its second argument, it first waits until that event is set.
#include <cstdlib>

#include "platform/win32/windows_api.h"

int main(int argc, char** argv) {
  if (argc > 2) {
    HANDLE hold = ::OpenEventA(SYNCHRONIZE, FALSE, argv[2]);
    // No such event: a code no case asks for, so that the case fails instead of hanging.
    if (hold == nullptr) return 9999;
    ::WaitForSingleObject(hold, INFINITE);
    ::CloseHandle(hold);
  }
  return argc > 1 ? static_cast<int>(std::strtoul(argv[1], nullptr, 10)) : 0;
}
