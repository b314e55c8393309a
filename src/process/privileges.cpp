// Switching a named privilege of the process token on or off.
#include "process/privileges.h"

#include "platform/platform.h"
#include "support/log.h"
#include "support/strings.h"

namespace orvo::process {
namespace {

using support::DPrint;

void FailedLine(const char* call) {
  DPrint(std::string(call) + " failed with error code " + std::to_string(platform::GetLastError()));
}

}  // namespace

bool ModifyState(const std::string& sPrivilege, bool bEnable) {
  try {
    platform::Handle opened = 0;
    if (!platform::Security().OpenProcessToken(platform::kTokenAdjustPrivileges, opened)) {
      FailedLine("OpenProcessToken");
      return false;
    }
    const platform::UniqueKernelHandle token(opened);
    platform::Luid luid = 0;
    if (!platform::Security().LookupPrivilegeValueW(sPrivilege, luid)) {
      FailedLine("LookupPrivilegeValue");
      return false;
    }
    // The call succeeds for a privilege the token does not hold, and says so in the last error.
    if (platform::Security().AdjustTokenPrivileges(token.get(), luid, bEnable) &&
        platform::GetLastError() == platform::kErrorSuccess) {
      return true;
    }
    FailedLine("AdjustTokenPrivileges");
    return false;
  } catch (...) {
    support::DPrintCaughtError("SetOwnerFS\\ModifyState - VB ERROR: ");
    DPrint("\t- Passed: " + sPrivilege);
    DPrint(std::string("\t- Enabled Privilege? ") + support::TrueFalse(bEnable));
    return false;
  }
}

bool Enable_Privilege(const std::string& sPrivilege) {
  try {
    return ModifyState(sPrivilege, true);
  } catch (...) {
    support::DPrintCaughtError("SetOwnerFS\\Enable_Privilege - VB ERROR: ");
    DPrint("\t- Passed: " + sPrivilege);
    return false;
  }
}

bool Disable_Privilege(const std::string& sPrivilege) {
  try {
    return ModifyState(sPrivilege, false);
  } catch (...) {
    support::DPrintCaughtError("SetOwnerFS\\Disable_Privilege - VB ERROR: ");
    DPrint("\t- Passed: " + sPrivilege);
    return false;
  }
}

}  // namespace orvo::process
