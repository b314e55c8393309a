// The contract cases' machine on the host: a fresh FakeMachine per case.
#include "backend.h"
#include "platform/fake/FakeMachine.h"

namespace orvo::contract {
namespace {

constexpr const char* kScratch = "C:\\users\\root\\Temp\\orvo-contract";

class FakeBackedMachine final : public Machine {
 public:
  FakeBackedMachine() {
    fake_.modulePath = "C:\\Tools\\contract_tests.exe";
    fake_.AddFile(fake_.modulePath);
    fake_.AddDir(kScratch);
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
  void SetEnv(const std::string& name, const std::string& value) override {
    fake_.SetEnv(name, value);
  }

  void AddService(const std::string& name, bool running) override {
    fake_.AddService(name, running ? fake::ServiceState::kRunning : fake::ServiceState::kStopped);
  }
  bool HasService(const std::string& name) override { return fake_.HasService(name); }
  bool ServiceGoneSoon(const std::string& name) override { return !fake_.HasService(name); }

 private:
  fake::FakeMachine fake_;
};

}  // namespace

std::unique_ptr<Machine> Machine::Create() { return std::make_unique<FakeBackedMachine>(); }

}  // namespace orvo::contract
