// A service program that does nothing but run until the Service Control Manager asks it to
// stop: the contract cases start, stop and delete it.
#include "platform/win32/windows_api.h"

namespace {

SERVICE_STATUS_HANDLE g_statusHandle = nullptr;
HANDLE g_stopRequested = nullptr;

void Report(DWORD state) {
  SERVICE_STATUS status{};
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = state;
  status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
  status.dwWaitHint = state == SERVICE_STOP_PENDING ? 2000 : 0;
  ::SetServiceStatus(g_statusHandle, &status);
}

DWORD WINAPI Handler(DWORD control, DWORD, void*, void*) {
  switch (control) {
    case SERVICE_CONTROL_STOP:
      Report(SERVICE_STOP_PENDING);
      ::SetEvent(g_stopRequested);
      return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
      return NO_ERROR;
    default:
      return ERROR_CALL_NOT_IMPLEMENTED;
  }
}

void WINAPI ServiceMain(DWORD, wchar_t**) {
  g_statusHandle = ::RegisterServiceCtrlHandlerExW(L"", Handler, nullptr);
  if (g_statusHandle == nullptr) return;
  Report(SERVICE_RUNNING);
  ::WaitForSingleObject(g_stopRequested, INFINITE);
  Report(SERVICE_STOPPED);
}

}  // namespace

int main() {
  g_stopRequested = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  // An own-process service ignores the name in the table.
  wchar_t name[] = L"";
  SERVICE_TABLE_ENTRYW table[] = {{name, ServiceMain}, {nullptr, nullptr}};
  return ::StartServiceCtrlDispatcherW(table) ? 0 : 1;
}
