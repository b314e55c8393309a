// Removal of one Windows service.
#include "cleanup/services.h"

#include "platform/platform.h"

namespace orvo::cleanup {

using platform::Services;
using platform::UniqueServiceHandle;

platform::Dword DeleteNTService(const std::string& serviceName) {
  // Both handles close on every path, the service's before the manager's.
  const UniqueServiceHandle manager(
      Services().OpenSCManagerW(std::nullopt, std::nullopt, platform::kScManagerConnect));
  if (!manager) return platform::GetLastError();

  const UniqueServiceHandle service(
      Services().OpenServiceW(manager.get(), serviceName, platform::kServiceAllAccess));
  if (!service) return platform::GetLastError();

  // The stop request's outcome does not matter: a stopped, refusing or slow service
  // is deleted all the same, and the platform removes it once it has stopped.
  platform::ServiceStatus status;
  Services().ControlService(service.get(), platform::kServiceControlStop, status);

  platform::Dword result = platform::kErrorSuccess;
  if (!Services().DeleteService(service.get())) result = platform::GetLastError();
  return result;
}

}  // namespace orvo::cleanup
