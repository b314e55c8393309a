// Contract of the version record, the environment, the program's path and message texts.
#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "backend.h"
#include "support/strings.h"

namespace orvo::contract {
namespace {

using platform::Dword;
using platform::Env;
using platform::GetLastError;
using platform::OsVersionInfoEx;
using platform::SetLastError;
using platform::Version;

// Every WOW64 case (registry views, shared Classes, redirection) relies on this: the cases
// run as the shipped program does, a 32-bit process on 64-bit Windows, and the system says so
// whatever the environment claims (the program's 64-bit test asks it, not ProgramFiles(x86)).
TEST(VersionContract, TheCasesRunAsA32BitProcessOn64BitWindows) {
  const std::unique_ptr<Machine> machine = Machine::Create();
  EXPECT_TRUE(Env().IsWow64Process());
}

TEST(VersionContract, ExtendedAndPlainRecordsBothDescribeAnNtWindows) {
  const std::unique_ptr<Machine> machine = Machine::Create();
  OsVersionInfoEx extended;
  extended.dwOSVersionInfoSize = platform::kOsVersionInfoExSize;
  ASSERT_TRUE(Version().GetVersionExA(extended)) << GetLastError();
  EXPECT_EQ(extended.dwPlatformId, platform::kVerPlatformWin32Nt);
  EXPECT_GE(extended.dwMajorVersion, 6u);
  EXPECT_GE(extended.wProductType, 1u);

  // The plain record carries the same version and leaves the extended fields as they were.
  OsVersionInfoEx plain;
  plain.dwOSVersionInfoSize = platform::kOsVersionInfoSize;
  plain.wServicePackMajor = 0x5A5A;
  plain.wServicePackMinor = 0x5A5A;
  plain.wSuiteMask = 0x5A5A;
  plain.wProductType = 0x5A;
  ASSERT_TRUE(Version().GetVersionExA(plain)) << GetLastError();
  EXPECT_EQ(plain.dwPlatformId, platform::kVerPlatformWin32Nt);
  EXPECT_EQ(plain.dwMajorVersion, extended.dwMajorVersion);
  EXPECT_EQ(plain.dwMinorVersion, extended.dwMinorVersion);
  EXPECT_EQ(plain.dwBuildNumber, extended.dwBuildNumber);
  EXPECT_EQ(plain.wServicePackMajor, 0x5A5A);
  EXPECT_EQ(plain.wServicePackMinor, 0x5A5A);
  EXPECT_EQ(plain.wSuiteMask, 0x5A5A);
  EXPECT_EQ(plain.wProductType, 0x5A);
}

// The packed word carries the version the record reports: major in the low byte, minor in
// the next, the build above; its top bit is clear on the NT family.
TEST(VersionContract, PackedVersionIsTheRecordsWithTheTopBitClear) {
  const std::unique_ptr<Machine> machine = Machine::Create();
  const Dword packed = Version().GetVersion();
  EXPECT_EQ(packed & 0x80000000u, 0u);
  OsVersionInfoEx record;
  record.dwOSVersionInfoSize = platform::kOsVersionInfoExSize;
  ASSERT_TRUE(Version().GetVersionExA(record)) << GetLastError();
  EXPECT_EQ(packed & 0xFF, record.dwMajorVersion);
  EXPECT_EQ((packed >> 8) & 0xFF, record.dwMinorVersion);
  EXPECT_EQ(packed >> 16, record.dwBuildNumber & 0x7FFF);
}

TEST(VersionContract, AnyOtherRecordSizeIsRefused) {
  const std::unique_ptr<Machine> machine = Machine::Create();
  for (const Dword size : {0u, 100u, 147u, 155u, 157u}) {
    SCOPED_TRACE(size);
    OsVersionInfoEx info;
    info.dwOSVersionInfoSize = size;
    SetLastError(0);
    EXPECT_FALSE(Version().GetVersionExA(info));
    EXPECT_EQ(GetLastError(), platform::kErrorInsufficientBuffer);
  }
}

TEST(VersionContract, NormalBootIsNotCleanBoot) {
  const std::unique_ptr<Machine> machine = Machine::Create();
  EXPECT_EQ(Version().GetSystemMetrics(platform::kSmCleanBoot), 0);
}

TEST(EnvironmentContract, SystemVariablesAreSetAndNamesIgnoreCase) {
  const std::unique_ptr<Machine> machine = Machine::Create();
  for (const char* name : {"SystemRoot", "TEMP", "ProgramFiles(x86)"}) {
    SCOPED_TRACE(name);
    const auto value = Env().GetEnvironmentVariableW(name);
    ASSERT_TRUE(value.has_value()) << GetLastError();
    EXPECT_FALSE(value->empty());
  }
  const auto exact = Env().GetEnvironmentVariableW("SystemRoot");
  EXPECT_EQ(Env().GetEnvironmentVariableW("SYSTEMROOT"), exact);
  EXPECT_EQ(Env().GetEnvironmentVariableW("systemroot"), exact);
}

// The system's folders are the system's: pointing SystemRoot and windir elsewhere (as a
// user's HKCU\Environment can) changes neither.
TEST(EnvironmentContract, SystemFoldersIgnoreTheEnvironment) {
  const std::unique_ptr<Machine> machine = Machine::Create();
  const std::string windows = Env().GetSystemWindowsDirectoryW();
  const std::string system = Env().GetSystemDirectoryW();
  ASSERT_FALSE(windows.empty()) << GetLastError();
  EXPECT_EQ(support::Lower(system), support::Lower(windows + "\\system32"));
  EXPECT_EQ(support::Lower(windows),
            support::Lower(Env().GetEnvironmentVariableW("SystemRoot").value_or("")));
  machine->SetEnv("SystemRoot", machine->Scratch());
  machine->SetEnv("windir", machine->Scratch());
  EXPECT_EQ(Env().GetSystemWindowsDirectoryW(), windows);
  EXPECT_EQ(Env().GetSystemDirectoryW(), system);
}

TEST(EnvironmentContract, UnsetIsNulloptButEmptyIsEmpty) {
  const std::unique_ptr<Machine> machine = Machine::Create();
  SetLastError(0);
  EXPECT_EQ(Env().GetEnvironmentVariableW("ORVO_CONTRACT_NEVER_SET"), std::nullopt);
  EXPECT_EQ(GetLastError(), 203u);  // ERROR_ENVVAR_NOT_FOUND

  machine->SetEnv("ORVO_CONTRACT_EMPTY", "");
  EXPECT_EQ(Env().GetEnvironmentVariableW("ORVO_CONTRACT_EMPTY"), std::string());
}

// Text outside ASCII and values longer than a first buffer survive the UTF-8/UTF-16 seam.
TEST(EnvironmentContract, ValuesRoundTripThroughTheSeam) {
  const std::unique_ptr<Machine> machine = Machine::Create();
  const struct {
    const char* name;
    std::string value;
  } rows[] = {
      {"ORVO_CONTRACT_TEXT", "Z\xC3\xBCrich \xE2\x9C\x93 \xF0\x9F\x93\x81"},
      {"ORVO_CONTRACT_LONG", std::string(5000, 'x')},
      {"ORVO_CONTRACT_\xC3\x89T\xC3\x89", "summer"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    machine->SetEnv(row.name, row.value);
    EXPECT_EQ(Env().GetEnvironmentVariableW(row.name), row.value);
  }
}

TEST(EnvironmentContract, ModuleFileNameIsTheProgramsFullPath) {
  const std::unique_ptr<Machine> machine = Machine::Create();
  const std::string path = Env().GetModuleFileNameW();
  std::string tail(1, '\\');
  tail += machine->ProgramName();
  ASSERT_GT(path.size(), tail.size());
  EXPECT_EQ(path.substr(path.size() - tail.size()), tail) << path;
  EXPECT_EQ(path.substr(1, 2), ":\\") << path;
}

TEST(EnvironmentContract, MessageTextsHaveNoLineBreakAndUnknownCodesNoText) {
  const std::unique_ptr<Machine> machine = Machine::Create();
  for (const Dword code : {platform::kErrorFileNotFound, platform::kErrorAccessDenied,
                           platform::kErrorServiceDoesNotExist}) {
    SCOPED_TRACE(code);
    const std::string text = Env().FormatMessageW(code);
    ASSERT_FALSE(text.empty()) << GetLastError();
    EXPECT_EQ(text.find_last_of("\r\n"), std::string::npos) << text;
    EXPECT_NE(text.back(), ' ') << text;
  }
  // The texts themselves differ: Wine has its own short ones ("File not found.").

  SetLastError(0);
  EXPECT_EQ(Env().FormatMessageW(0x2000ABCD), "");
  EXPECT_EQ(GetLastError(), 317u);  // ERROR_MR_MID_NOT_FOUND
}

// An unsigned program (this one) has no signature, and a file that is not a program is not
// trusted either: neither hands out a signer.
TEST(TrustContract, UnsignedFilesAreNotTrusted) {
  const std::unique_ptr<Machine> machine = Machine::Create();
  std::string signer = "stale";
  EXPECT_EQ(platform::Security().WinVerifyTrust(Env().GetModuleFileNameW(), signer),
            platform::kTrustENoSignature);
  EXPECT_TRUE(signer.empty());
  const std::string text = machine->Scratch() + "\\subinacl.exe";
  machine->AddFile(text, platform::kFileAttributeArchive, "not a program");
  signer = "stale";
  EXPECT_NE(platform::Security().WinVerifyTrust(text, signer), platform::kTrustSuccess);
  EXPECT_TRUE(signer.empty());
}

}  // namespace
}  // namespace orvo::contract
