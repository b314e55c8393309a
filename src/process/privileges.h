// Switching a named privilege of the process token on or off.
#pragma once

#include <string>

namespace orvo::process {

// True when the privilege is now enabled (respectively disabled); false, with a line, when
// the token cannot be opened, the name is unknown or the token does not hold it.
bool Enable_Privilege(const std::string& sPrivilege);
bool Disable_Privilege(const std::string& sPrivilege);
bool ModifyState(const std::string& sPrivilege, bool bEnable);

}  // namespace orvo::process
