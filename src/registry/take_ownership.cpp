// Forcing ownership and full control of a registry key with subinacl.exe.
#include "registry/take_ownership.h"

#include "fs/paths.h"
#include "platform/platform.h"
#include "process/launch.h"
#include "process/signed_tools.h"
#include "registry/keys.h"
#include "support/environment.h"
#include "support/log.h"

namespace orvo::registry {

void TakeOwnRegKey(const std::string& sTopKey, const std::string& sKeyPath, std::string& sOwner,
                   std::string& sGrantee) {
  try {
    const std::string prefix = LongRootPrefix(sTopKey);
    if (prefix.empty()) return;
    const std::string fullPath = prefix + sKeyPath;
    if (LongRootPrefix(sTopKey) == "HKEY_CURRENT_USER\\" && sOwner.empty()) {
      sOwner = support::Environ("username");
    }
    if (sOwner.empty()) sOwner = "administrators";
    if (sGrantee.empty()) {
      sGrantee = support::Environ("username");
      if (sGrantee.empty()) sGrantee = "System";
    }

    const std::string tool = process::LocateSubinacl("modTakeOwn\\TakeOwnRegKey");
    if (tool.empty()) return;

    for (const char* scope : {" /keyreg ", " /subkeyreg "}) {
      std::string sErrMsg;
      // Every argument as the C runtime reads it back: an owner or grantee such as
      // "John Smith" stays one argument.
      process::ShellAndWaitForTermination(process::QuoteArgument(tool, true) + scope +
                                              process::QuoteArgument(fullPath, true) + " " +
                                              process::QuoteArgument("/setowner=" + sOwner) + " " +
                                              process::QuoteArgument("/grant=" + sGrantee + "=f"),
                                          platform::kSwShowNormal, sErrMsg, 2000000000, false);
    }
  } catch (...) {
    // Taking ownership is a best effort: its failures only shorten the ladder.
  }
}

}  // namespace orvo::registry
