// The fake machine's registry, accounts, INI writes and programs.
#include "platform/fake/FakeMachine.h"

namespace orvo::fake {
namespace {
constexpr Dword kNotImplemented = 120;
}  // namespace

Dword FakeMachine::GetPrivateProfileIntW(const std::string&, const std::string&, int nDefault,
                                         const std::string&) {
  return static_cast<Dword>(nDefault);
}
Dword FakeMachine::GetPrivateProfileSectionW(const std::string&, std::string& out, Dword,
                                             const std::string&) {
  out.clear();
  return 0;
}
bool FakeMachine::WritePrivateProfileStringW(const std::string&, const std::string&,
                                             const std::string&, const std::string&) {
  return false;
}
void FakeMachine::AddKey(const std::string&) {}
bool FakeMachine::KeyExists(const std::string&) const { return false; }
void FakeMachine::SetValue(const std::string&, const std::string&, Dword,
                           std::vector<std::uint8_t>) {}
void FakeMachine::SetStringValue(const std::string&, const std::string&, const std::string&, Dword,
                                 bool) {}
void FakeMachine::SetDwordValue(const std::string&, const std::string&, Dword) {}
std::optional<FakeValue> FakeMachine::GetValue(const std::string&, const std::string&) const {
  return std::nullopt;
}
std::vector<std::string> FakeMachine::SubkeyNames(const std::string&) const { return {}; }
platform::SecurityDescriptor* FakeMachine::KeySecurity(const std::string&) { return nullptr; }
bool FakeMachine::DeleteKeyTree(const std::string&) { return false; }
std::size_t FakeMachine::OpenKeyCount() const noexcept { return 0; }
std::vector<platform::Sid> FakeMachine::TokenGroups() const { return {}; }
void FakeMachine::InstallProgram(const std::string&, ProgramEffect, Dword, Dword) {}
std::size_t FakeMachine::OpenProcessHandleCount() const noexcept { return 0; }
Dword FakeMachine::RegOpenKeyExW(Handle, const std::string&, Dword, Dword, Handle&) {
  return kNotImplemented;
}
Dword FakeMachine::RegCreateKeyExW(Handle, const std::string&, Dword, Dword, Handle&, Dword*) {
  return kNotImplemented;
}
Dword FakeMachine::RegQueryValueExW(Handle, const std::string&, Dword*, std::uint8_t*, Dword*) {
  return kNotImplemented;
}
Dword FakeMachine::RegSetValueExW(Handle, const std::string&, Dword, const std::uint8_t*, Dword) {
  return kNotImplemented;
}
Dword FakeMachine::RegEnumValueW(Handle, Dword, std::string&, Dword*, Dword*) {
  return kNotImplemented;
}
Dword FakeMachine::RegEnumKeyExW(Handle, Dword, std::string&) { return kNotImplemented; }
Dword FakeMachine::RegDeleteKeyExW(Handle, const std::string&, Dword) { return kNotImplemented; }
Dword FakeMachine::RegDeleteValueW(Handle, const std::string&) { return kNotImplemented; }
Dword FakeMachine::RegCloseKey(Handle) { return kNotImplemented; }
Dword FakeMachine::RegGetKeySecurity(Handle, Dword, platform::SecurityDescriptor&) {
  return kNotImplemented;
}
Dword FakeMachine::RegSetKeySecurity(Handle, Dword, const platform::SecurityDescriptor&) {
  return kNotImplemented;
}
std::optional<platform::Sid> FakeMachine::LookupAccountNameW(const std::string&) {
  return std::nullopt;
}
std::optional<platform::Sid> FakeMachine::GetTokenUserSid() { return std::nullopt; }
bool FakeMachine::ShellExecuteExW(platform::ShellExecuteInfo&) { return false; }
bool FakeMachine::CreateProcessW(const std::string&, Dword, platform::ProcessInformation&) {
  return false;
}
Handle FakeMachine::OpenProcess(Dword, bool, Dword) { return 0; }
bool FakeMachine::GetExitCodeProcess(Handle, Dword&) { return false; }
Dword FakeMachine::MsgWaitForMultipleObjects(Handle, Dword) { return platform::kWaitFailed; }
void FakeMachine::PumpMessages() {}
Dword FakeMachine::GetTickCount() { return tickCount; }
bool FakeMachine::CloseHandle(Handle) { return false; }

}  // namespace orvo::fake
