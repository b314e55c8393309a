// The Service Control Manager.
#pragma once

#include <optional>
#include <string>

#include "platform/types.h"
#include "platform/unique_handle.h"

namespace orvo::platform {

struct ServiceStatus {
  Dword dwServiceType = 0;
  Dword dwCurrentState = 0;
  Dword dwControlsAccepted = 0;
  Dword dwWin32ExitCode = 0;
  Dword dwServiceSpecificExitCode = 0;
  Dword dwCheckPoint = 0;
  Dword dwWaitHint = 0;
};

class IServices {
 public:
  virtual ~IServices() = default;
  // Each returns 0 (last error set) on failure, as Win32 does.
  virtual Handle OpenSCManagerW(const std::optional<std::string>& machineName,
                                const std::optional<std::string>& databaseName,
                                Dword desiredAccess) = 0;
  virtual Handle OpenServiceW(Handle scManager, const std::string& serviceName,
                              Dword desiredAccess) = 0;
  virtual bool ControlService(Handle service, Dword control, ServiceStatus& status) = 0;
  virtual bool DeleteService(Handle service) = 0;
  // ChangeServiceConfigW asking for no change at all (SERVICE_NO_CHANGE and no strings): it
  // changes nothing, and fails with 1072 for a service marked for deletion. Needs the
  // change-configuration right (kServiceChangeConfig).
  virtual bool ChangeServiceConfigW(Handle service) = 0;
  virtual bool CloseServiceHandle(Handle h) = 0;
};

}  // namespace orvo::platform
