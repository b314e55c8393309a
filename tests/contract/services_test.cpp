// Contract of the Service Control Manager calls that service removal relies on.
#include <gtest/gtest.h>

#include "backend.h"

namespace orvo::contract {
namespace {

using platform::GetLastError;
using platform::Handle;
using platform::Services;
using platform::ServiceStatus;
using platform::SetLastError;
using platform::UniqueServiceHandle;

constexpr const char* kService = "OrvoContractService";

class ServicesContract : public ::testing::Test {
 protected:
  UniqueServiceHandle Open(const std::string& name) {
    return UniqueServiceHandle(
        Services().OpenServiceW(manager.get(), name, platform::kServiceAllAccess));
  }

  std::unique_ptr<Machine> machine = Machine::Create();
  UniqueServiceHandle manager{
      Services().OpenSCManagerW(std::nullopt, std::nullopt, platform::kScManagerConnect)};
};

TEST_F(ServicesContract, ManagerOpensAndClosesWithTheConnectRight) {
  ASSERT_NE(manager.get(), Handle{0}) << GetLastError();
  EXPECT_TRUE(Services().CloseServiceHandle(manager.release()));
}

TEST_F(ServicesContract, MissingServiceIsNotFound) {
  SetLastError(0);
  EXPECT_EQ(Services().OpenServiceW(manager.get(), "OrvoContractNoSuchService",
                                    platform::kServiceAllAccess),
            Handle{0});
  EXPECT_EQ(GetLastError(), platform::kErrorServiceDoesNotExist);
}

TEST_F(ServicesContract, StoppedServiceRefusesStopAndGoesWhenItsLastHandleCloses) {
  machine->AddService(kService, /*running=*/false);
  UniqueServiceHandle service = Open(kService);
  ASSERT_TRUE(service) << "elevated, all access is granted; error " << GetLastError();

  ServiceStatus status;
  EXPECT_FALSE(Services().ControlService(service.get(), platform::kServiceControlStop, status));
  EXPECT_EQ(GetLastError(), platform::kErrorServiceNotActive);

  EXPECT_TRUE(Services().DeleteService(service.get())) << GetLastError();
  EXPECT_TRUE(machine->HasService(kService)) << "marked only while a handle is open";
  service.reset();
  EXPECT_TRUE(machine->ServiceGoneSoon(kService));
}

TEST_F(ServicesContract, RunningServiceStopsAndGoesOnceStoppedAndClosed) {
  machine->AddService(kService, /*running=*/true);
  UniqueServiceHandle service = Open(kService);
  ASSERT_TRUE(service) << GetLastError();

  ServiceStatus status;
  ASSERT_TRUE(Services().ControlService(service.get(), platform::kServiceControlStop, status))
      << GetLastError();
  EXPECT_TRUE(status.dwCurrentState == platform::kServiceStopPending ||
              status.dwCurrentState == platform::kServiceStopped)
      << status.dwCurrentState;

  EXPECT_TRUE(Services().DeleteService(service.get())) << GetLastError();
  service.reset();
  EXPECT_TRUE(machine->ServiceGoneSoon(kService));
}

TEST_F(ServicesContract, SecondDeleteOnAnOpenHandleSaysMarkedForDeletion) {
  machine->AddService(kService, /*running=*/false);
  UniqueServiceHandle service = Open(kService);
  ASSERT_TRUE(service) << GetLastError();

  EXPECT_TRUE(Services().DeleteService(service.get()));
  EXPECT_FALSE(Services().DeleteService(service.get()));
  EXPECT_EQ(GetLastError(), platform::kErrorServiceMarkedForDelete);
  // A request for no change tells the mark without changing anything.
  EXPECT_FALSE(Services().ChangeServiceConfigW(service.get()));
  EXPECT_EQ(GetLastError(), platform::kErrorServiceMarkedForDelete);
}

// A handle that is not open is refused with 6 by every call, and nothing is touched.
// A service that is not marked takes a request for no change, and is as it was.
TEST_F(ServicesContract, ARequestForNoChangeChangesNothing) {
  machine->AddService(kService, /*running=*/true);
  UniqueServiceHandle service = Open(kService);
  ASSERT_TRUE(service) << GetLastError();
  EXPECT_TRUE(Services().ChangeServiceConfigW(service.get())) << GetLastError();
  EXPECT_TRUE(Services().ChangeServiceConfigW(service.get())) << "and again";
  EXPECT_TRUE(machine->HasService(kService));
}

TEST_F(ServicesContract, HandleThatIsNotOpenIsInvalid) {
  machine->AddService(kService, /*running=*/false);
  const Handle closed = Open(kService).release();
  ASSERT_NE(closed, Handle{0});
  ASSERT_TRUE(Services().CloseServiceHandle(closed));
  const Handle closedManager =
      Services().OpenSCManagerW(std::nullopt, std::nullopt, platform::kScManagerConnect);
  ASSERT_TRUE(Services().CloseServiceHandle(closedManager));

  const struct {
    const char* name;
    Handle handle;
  } rows[] = {{"no handle", 0}, {"closed service handle", closed}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    ServiceStatus status;
    SetLastError(0);
    EXPECT_FALSE(Services().ControlService(row.handle, platform::kServiceControlStop, status));
    EXPECT_EQ(GetLastError(), platform::kErrorInvalidHandle);
    SetLastError(0);
    EXPECT_FALSE(Services().DeleteService(row.handle));
    EXPECT_EQ(GetLastError(), platform::kErrorInvalidHandle);
    SetLastError(0);
    EXPECT_FALSE(Services().CloseServiceHandle(row.handle));
    EXPECT_EQ(GetLastError(), platform::kErrorInvalidHandle);
  }
  SetLastError(0);
  EXPECT_EQ(Services().OpenServiceW(closedManager, kService, platform::kServiceAllAccess),
            Handle{0});
  EXPECT_EQ(GetLastError(), platform::kErrorInvalidHandle);
  EXPECT_TRUE(machine->HasService(kService));
}

}  // namespace
}  // namespace orvo::contract
