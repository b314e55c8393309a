// Contract of the WMI calls the termination relies on: the process objects a query answers,
// and their Terminate method.
#include <gtest/gtest.h>

#include <vector>

#include "backend.h"

namespace orvo::contract {
namespace {

using platform::Dword;
using platform::Wmi;
using platform::WmiObject;

constexpr const char* kSleeperName = "OrvoContractWmiSleeper.exe";

class WmiContract : public ::testing::Test {
 protected:
  // The query's objects of that name.
  static std::vector<WmiObject> Named(const std::string& name) {
    std::vector<WmiObject> objects;
    const std::int32_t answer = Wmi().ExecQuery("Select * from win32_Process", objects);
    EXPECT_EQ(answer, 0) << std::hex << answer;
    std::vector<WmiObject> named;
    for (const WmiObject& object : objects) {
      if (object.Name == name) named.push_back(object);
    }
    return named;
  }

  // The one object of the process the machine runs under kSleeperName.
  static WmiObject Sleeper() {
    const std::vector<WmiObject> named = Named(kSleeperName);
    EXPECT_EQ(named.size(), 1u);
    return named.empty() ? WmiObject{} : named.front();
  }

  std::unique_ptr<Machine> machine = Machine::Create();
};

// Names are the executable's file name, spelt as on disk; the path names the object by its
// process id, which is how a method is called on that one process.
TEST_F(WmiContract, ProcessQueryListsThisProgramAndARunningProcessByName) {
  EXPECT_EQ(Named(machine->ProgramName()).size(), 1u);

  const Dword id = machine->AddRunningProcess(kSleeperName);
  const WmiObject sleeper = Sleeper();
  const std::string key = ":Win32_Process.Handle=\"" + std::to_string(id) + "\"";
  ASSERT_GE(sleeper.Path.size(), key.size()) << sleeper.Path;
  EXPECT_EQ(sleeper.Path.substr(sleeper.Path.size() - key.size()), key) << sleeper.Path;
}

// A refused Terminate answers nonzero and leaves the process running. Wine's Win32_Process has
// no Terminate method, so there it is always refused (its answer is checked below); the fake
// is told to refuse.
TEST_F(WmiContract, RefusedTerminateAnswersNonzeroAndTheProcessRuns) {
  machine->RefuseWmiTerminate();
  const Dword id = machine->AddRunningProcess(kSleeperName);
  const std::int32_t answer = Wmi().Terminate(Sleeper());
  EXPECT_NE(answer, 0);
  if (!machine->IsFake()) {
    // Wine's answer: WBEM_E_INVALID_METHOD.
    EXPECT_EQ(static_cast<std::uint32_t>(answer), 0x8004102Eu) << std::hex << answer;
  }
  EXPECT_TRUE(machine->ProcessRunning(id));
}

// Windows ends the process and answers 0, as the fake does; Wine cannot (see above).
TEST_F(WmiContract, TerminateEndsTheProcess) {
  if (!machine->IsFake()) GTEST_SKIP() << "Wine's Win32_Process has no Terminate method";
  const Dword id = machine->AddRunningProcess(kSleeperName);
  EXPECT_EQ(Wmi().Terminate(Sleeper()), 0);
  EXPECT_TRUE(machine->ProcessEndsSoon(id));
}

}  // namespace
}  // namespace orvo::contract
