// The contract cases' machine on the host: a fresh FakeMachine per case.
#include <gtest/gtest.h>

#include <cstdlib>

#include "backend.h"
#include "platform/fake/FakeMachine.h"

namespace orvo::contract {
namespace {

constexpr const char* kScratch = "C:\\users\\root\\Temp\\orvo-contract";
constexpr const char* kExitCodeProgram = "C:\\Tools\\exit_code.exe";
// How long every run of the exit-code program lasts on the machine's clock, which moves only
// while the code waits: a run is still going until the code waits for it, held or not.
constexpr Dword kProgramRunMs = 1000;

// The arguments of a command line after its first token (the program, quoted or not).
std::string Arguments(const std::string& commandLine) {
  std::size_t end =
      commandLine.rfind('"', 0) == 0 ? commandLine.find('"', 1) : commandLine.find(' ');
  if (end == std::string::npos) return {};
  end = commandLine.find_first_not_of(" \"", end);
  return end == std::string::npos ? std::string() : commandLine.substr(end);
}

// The exit-code program: ends with the number its first argument gives.
Dword ExitWithFirstArgument(fake::FakeMachine&, const fake::StartedProgram& run) {
  const std::string arguments =
      run.via == "CreateProcessW" ? Arguments(run.commandLine) : run.parameters;
  return static_cast<Dword>(std::strtoul(arguments.c_str(), nullptr, 10));
}

class FakeBackedMachine final : public Machine {
 public:
  FakeBackedMachine() {
    fake_.modulePath = "C:\\Tools\\contract_tests.exe";
    fake_.AddFile(fake_.modulePath);
    fake_.AddDir(kScratch);
    fake_.AddFile(kExitCodeProgram);
    fake_.InstallProgram(kExitCodeProgram, ExitWithFirstArgument, 0, kProgramRunMs);
  }

  std::string Scratch() const override { return kScratch; }
  std::string ProgramName() const override { return "contract_tests.exe"; }
  bool IsFake() const override { return true; }

  void AddDir(const std::string& path) override { fake_.AddDir(path); }
  void AddFile(const std::string& path, Dword attributes, const std::string& content) override {
    fake_.AddFile(path, attributes, content);
  }
  void LockFile(const std::string& path) override {
    if (fake::FakeFile* file = fake_.FindFile(path)) file->locked = true;
  }
  void AddHardLink(const std::string& path, const std::string& existing) override {
    fake_.AddHardLink(path, existing);
  }
  std::string FolderLink() override {
    const std::string target = std::string(kScratch) + "\\link-target";
    const std::string link = std::string(kScratch) + "\\link";
    fake_.AddDir(target);
    fake_.AddFile(target + "\\inside.txt");
    fake_.AddFolderLink(link, target);
    return link;
  }
  void SetEnv(const std::string& name, const std::string& value) override {
    fake_.SetEnv(name, value);
  }

  void AddService(const std::string& name, bool running) override {
    fake_.AddService(name, running ? fake::ServiceState::kRunning : fake::ServiceState::kStopped);
  }
  bool HasService(const std::string& name) override { return fake_.HasService(name); }
  bool ServiceGoneSoon(const std::string& name) override { return !fake_.HasService(name); }

  void AddKey(const std::string& path) override { fake_.AddKey(path); }
  void SetValue(const std::string& keyPath, const std::string& name, Dword type,
                const std::vector<std::uint8_t>& data) override {
    fake_.SetValue(keyPath, name, type, data);
  }
  bool KeyExists(const std::string& path) override { return fake_.KeyExists(path); }
  void SetKeyDacl(const std::string& path, const platform::Acl& dacl, std::uint16_t control,
                  const std::optional<platform::Sid>& owner) override {
    platform::SecurityDescriptor* security = fake_.KeySecurity(path);
    if (security == nullptr) {
      ADD_FAILURE() << "no key " << path << " to set the DACL of";
      return;
    }
    security->dacl = dacl;
    if (owner) security->owner = owner;
    security->control = static_cast<std::uint16_t>(
        (security->control & ~platform::kSeDaclInheritanceControl) |
        (control & platform::kSeDaclInheritanceControl) | platform::kSeDaclPresent);
  }

  std::string ExitCodeProgram() const override { return kExitCodeProgram; }
  std::string HoldArgument() override { return "hold"; }
  void ReleaseHeldPrograms() override {}

  Dword AddRunningProcess(const std::string& exeName) override {
    return fake_.AddRunningProcess(exeName);
  }
  bool ProcessRunning(Dword processId) override { return fake_.ProcessRunning(processId); }
  bool ProcessEndsSoon(Dword processId) override { return !fake_.ProcessRunning(processId); }
  bool PrivilegeEnabled(const std::string& name) override {
    const auto privilege = fake_.privileges.find(name);
    return privilege != fake_.privileges.end() && privilege->second;
  }
  void RefuseWmiTerminate() override { fake_.wmiCanTerminate = false; }
  void RefuseIgnoreReadOnlyOnDelete() override { fake_.canIgnoreReadOnlyOnDelete = false; }

 private:
  fake::FakeMachine fake_;
};

}  // namespace

std::unique_ptr<Machine> Machine::Create() { return std::make_unique<FakeBackedMachine>(); }

}  // namespace orvo::contract
