// The Service Control Manager: open, stop, delete, close.
#include "platform/services.h"

#include "platform/win32/areas.h"
#include "platform/win32/support.h"

namespace orvo::platform::win32 {
namespace {

class Win32Services final : public IServices {
 public:
  // A manager handle (nullopt names the local machine and its active database); 0 with the
  // error (5 without the rights asked for).
  Handle OpenSCManagerW(const std::optional<std::string>& machineName,
                        const std::optional<std::string>& databaseName,
                        Dword desiredAccess) override {
    const std::wstring machine = Widen(machineName.value_or(std::string()));
    const std::wstring database = Widen(databaseName.value_or(std::string()));
    SC_HANDLE h = ::OpenSCManagerW(machineName ? machine.c_str() : nullptr,
                                   databaseName ? database.c_str() : nullptr, desiredAccess);
    if (h == nullptr) TakeLastError();
    return ToHandle(h);
  }

  // A service handle; 0 with 1060 when there is no such service, 6 for a bad manager handle.
  Handle OpenServiceW(Handle scManager, const std::string& serviceName,
                      Dword desiredAccess) override {
    SC_HANDLE h =
        ::OpenServiceW(FromHandle<SC_HANDLE>(scManager), Widen(serviceName).c_str(), desiredAccess);
    if (h == nullptr) TakeLastError();
    return ToHandle(h);
  }

  // Sends a control; false with 1062 for a stopped service, 1061 when it cannot take it now.
  bool ControlService(Handle service, Dword control, ServiceStatus& status) override {
    // Windows fills the status on some refusals too (1052, 1061, 1062); starting from the
    // caller's record leaves it as it was wherever Windows writes nothing.
    SERVICE_STATUS s{status.dwServiceType,
                     status.dwCurrentState,
                     status.dwControlsAccepted,
                     status.dwWin32ExitCode,
                     status.dwServiceSpecificExitCode,
                     status.dwCheckPoint,
                     status.dwWaitHint};
    const BOOL ok = ::ControlService(FromHandle<SC_HANDLE>(service), control, &s);
    if (!ok) TakeLastError();
    status = ServiceStatus{s.dwServiceType,
                           s.dwCurrentState,
                           s.dwControlsAccepted,
                           s.dwWin32ExitCode,
                           s.dwServiceSpecificExitCode,
                           s.dwCheckPoint,
                           s.dwWaitHint};
    return ok != FALSE;
  }

  // Marks the service for deletion (it goes once stopped and its last handle is closed);
  // false with 1072 when it is already marked.
  bool DeleteService(Handle service) override {
    if (::DeleteService(FromHandle<SC_HANDLE>(service))) return true;
    TakeLastError();
    return false;
  }

  bool ChangeServiceConfigW(Handle service) override {
    if (::ChangeServiceConfigW(FromHandle<SC_HANDLE>(service), SERVICE_NO_CHANGE, SERVICE_NO_CHANGE,
                               SERVICE_NO_CHANGE, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr)) {
      return true;
    }
    TakeLastError();
    return false;
  }

  // Closes a manager or service handle; false with 6 for one that is not open.
  bool CloseServiceHandle(Handle h) override {
    if (::CloseServiceHandle(FromHandle<SC_HANDLE>(h))) return true;
    TakeLastError();
    return false;
  }
};

}  // namespace

IServices& ServiceManager() noexcept {
  static Win32Services instance;
  return instance;
}

}  // namespace orvo::platform::win32
