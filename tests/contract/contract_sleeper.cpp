// A program for the termination cases: once running it sets the event its second argument
// names, then runs until it is ended, or until the program whose process id its first argument
// gives has ended (so that it never outlives the cases that started it).
#include <cstdlib>

#include "platform/win32/windows_api.h"

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  HANDLE parent = ::OpenProcess(SYNCHRONIZE, FALSE, std::strtoul(argv[1], nullptr, 10));
  HANDLE ready = ::OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[2]);
  if (parent == nullptr || ready == nullptr) return 3;
  ::SetEvent(ready);
  ::CloseHandle(ready);
  ::WaitForSingleObject(parent, INFINITE);
  return 0;
}
