// Removal of one service: its calls, its results and that every handle is closed.
#include "cleanup/services.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/fake/FakeMachine.h"

namespace orvo::cleanup {
namespace {

using fake::FakeMachine;
using fake::ServiceState;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

const std::vector<std::string> kFullSequence = {
    "OpenSCManagerW(null, null, 0x1)", "OpenServiceW(Orvo_CFSvc, 0xf01ff)",
    "ControlService(Orvo_CFSvc, 1)",   "DeleteService(Orvo_CFSvc)",
    "CloseServiceHandle(Orvo_CFSvc)",  "CloseServiceHandle(SCM)"};

TEST(DeleteNTService, RunningServiceIsStoppedAndRemoved) {
  FakeMachine machine;
  machine.AddService("Orvo_CFSvc", ServiceState::kRunning);
  EXPECT_EQ(DeleteNTService("Orvo_CFSvc"), 0U);
  EXPECT_EQ(machine.calls, kFullSequence);
  EXPECT_FALSE(machine.HasService("Orvo_CFSvc"));
  EXPECT_EQ(machine.OpenHandleCount(), 0U);
  EXPECT_THAT(machine.debugLines, IsEmpty());
}

TEST(DeleteNTService, StoppedOrSlowServiceStillSucceeds) {
  FakeMachine machine;
  machine.AddService("Orvo_CFSvc", ServiceState::kStopped);
  EXPECT_EQ(DeleteNTService("Orvo_CFSvc"), 0U);
  EXPECT_EQ(machine.calls, kFullSequence);  // the refused stop request changes nothing
  EXPECT_FALSE(machine.HasService("Orvo_CFSvc"));

  machine.calls.clear();
  machine.AddService("Orvo_CFSvc", ServiceState::kRunning);
  machine.FindService("Orvo_CFSvc")->stopsSlowly = true;
  EXPECT_EQ(DeleteNTService("Orvo_CFSvc"), 0U);
  // Still stopping when the call returns: marked, and gone once it has stopped.
  ASSERT_TRUE(machine.HasService("Orvo_CFSvc"));
  EXPECT_TRUE(machine.FindService("Orvo_CFSvc")->markedForDelete);
  EXPECT_EQ(machine.OpenHandleCount(), 0U);
}

TEST(DeleteNTService, ServiceThatRefusesToStopIsStillMarked) {
  FakeMachine machine;
  machine.AddService("Orvo_CFSvc", ServiceState::kRunning);
  machine.FindService("Orvo_CFSvc")->acceptsStop = false;
  EXPECT_EQ(DeleteNTService("Orvo_CFSvc"), 0U);
  EXPECT_TRUE(machine.FindService("Orvo_CFSvc")->markedForDelete);
  EXPECT_EQ(machine.OpenHandleCount(), 0U);
}

TEST(DeleteNTService, FailuresReturnTheCodeAndCloseWhatWasOpened) {
  struct Case {
    const char* name;
    bool elevated;
    const char* failCall;
    platform::Dword failCode;
    bool markedBefore;
    platform::Dword expected;
    std::vector<std::string> calls;
  } cases[] = {
      {"missing service",
       true,
       nullptr,
       0,
       false,
       platform::kErrorServiceDoesNotExist,
       {"OpenSCManagerW(null, null, 0x1)", "OpenServiceW(Orvo_CFSvc, 0xf01ff)",
        "CloseServiceHandle(SCM)"}},
      {"not elevated",
       false,
       nullptr,
       0,
       false,
       platform::kErrorAccessDenied,
       {"OpenSCManagerW(null, null, 0x1)", "OpenServiceW(Orvo_CFSvc, 0xf01ff)",
        "CloseServiceHandle(SCM)"}},
      {"manager refused",
       true,
       "OpenSCManagerW",
       platform::kErrorAccessDenied,
       false,
       platform::kErrorAccessDenied,
       {"OpenSCManagerW(null, null, 0x1)"}},
      {"already marked by an earlier run", true, nullptr, 0, true,
       platform::kErrorServiceMarkedForDelete, kFullSequence},
      {"delete refused", true, "DeleteService", platform::kErrorAccessDenied, false,
       platform::kErrorAccessDenied, kFullSequence},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeMachine machine;
    machine.elevated = c.elevated;
    if (std::string(c.name) != "missing service") {
      machine.AddService("Orvo_CFSvc", ServiceState::kRunning);
      machine.FindService("Orvo_CFSvc")->markedForDelete = c.markedBefore;
    }
    if (c.failCall) machine.FailCall(c.failCall, "", c.failCode);
    EXPECT_EQ(DeleteNTService("Orvo_CFSvc"), c.expected);
    EXPECT_EQ(machine.calls, c.calls);
    EXPECT_EQ(machine.OpenHandleCount(), 0U);
    EXPECT_THAT(machine.debugLines, IsEmpty());
    if (!c.elevated) {
      EXPECT_EQ(machine.FindService("Orvo_CFSvc")->state, ServiceState::kRunning);
      EXPECT_FALSE(machine.FindService("Orvo_CFSvc")->markedForDelete);
    }
  }
}

TEST(DeleteNTService, OtherServicesAreLeftAlone) {
  FakeMachine machine;
  machine.AddService("Orvo_CFSvc", ServiceState::kRunning);
  machine.AddService("Orvo_CFSvc2", ServiceState::kRunning);
  EXPECT_EQ(DeleteNTService("orvo_cfsvc"), 0U);  // service names ignore case
  EXPECT_FALSE(machine.HasService("Orvo_CFSvc"));
  ASSERT_TRUE(machine.HasService("Orvo_CFSvc2"));
  EXPECT_EQ(machine.FindService("Orvo_CFSvc2")->state, ServiceState::kRunning);
}

}  // namespace
}  // namespace orvo::cleanup
