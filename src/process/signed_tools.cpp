// Tools found beside the program, run only when Microsoft signed them.
#include "process/signed_tools.h"

#include <cstdio>

#include "fs/paths.h"
#include "platform/platform.h"
#include "support/log.h"

namespace orvo::process {
namespace {

std::string Hex(std::int32_t code) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(code));
  return text;
}

}  // namespace

std::string MicrosoftSignedBesideProgram(const std::string& toolName, const std::string& where) {
  const std::string path = fs::AppPath() + toolName;
  if (!fs::DoesFileExist(path, false)) return {};
  std::string signer;
  const std::int32_t answer = platform::Security().WinVerifyTrust(path, signer);
  if (answer == platform::kTrustSuccess && signer == kMicrosoftSigner) return path;
  support::DPrintInfo(
      where, answer == platform::kTrustSuccess
                 ? "Not run: " + path + " is signed by " + signer + ", not by Microsoft"
                 : "Not run: " + path + " has no valid Microsoft signature (" + Hex(answer) + ")");
  return {};
}

std::string LocateSubinacl(const std::string& where) {
  const std::string root = platform::Env().GetSystemWindowsDirectoryW();
  std::string tool;
  for (const std::string& candidate :
       {root + "\\subinacl.exe", root + "\\System32\\subinacl.exe"}) {
    if (!root.empty() && fs::DoesFileExist(candidate, false)) tool = candidate;
  }
  if (std::string beside = MicrosoftSignedBesideProgram("subinacl.exe", where); !beside.empty()) {
    tool = std::move(beside);
  }
  return tool;
}

}  // namespace orvo::process
